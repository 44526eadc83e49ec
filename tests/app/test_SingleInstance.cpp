// The real program started twice: the second start ends at once and the
// first keeps running; a killed first instance does not block the next.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("XDG_RUNTIME_DIR", dir_.path() + "/run");
    env_.insert("XDG_DESKTOP_DIR", dir_.path() + "/Desktop");
    QDir().mkpath(dir_.path() + "/run");
    QDir().mkpath(dir_.path() + "/Desktop");
  }

  std::unique_ptr<QProcess> Start() {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env_);
    p->setProgram(QStringLiteral(PIXVANE_BINARY));
    p->start();
    EXPECT_TRUE(p->waitForStarted(5000));
    return p;
  }

  // True when the process is still running after ms milliseconds.
  static bool StillRunningAfter(QProcess& p, int ms) { return !p.waitForFinished(ms); }

  QTemporaryDir dir_;
  QProcessEnvironment env_;
};

}  // namespace

TEST_F(ProgramRun, SecondStartEndsAtOnceAndTheFirstGoesOn) {
  auto first = Start();
  ASSERT_TRUE(StillRunningAfter(*first, 1500));  // up, with its window

  QElapsedTimer clock;
  clock.start();
  auto second = Start();
  ASSERT_TRUE(second->waitForFinished(2000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_TRUE(second->readAllStandardOutput().isEmpty());

  EXPECT_TRUE(StillRunningAfter(*first, 300));

  // Killed without any chance to clean up, the first leaves no guard behind.
  first->kill();
  ASSERT_TRUE(first->waitForFinished(5000));
  auto third = Start();
  EXPECT_TRUE(StillRunningAfter(*third, 1500));
  third->kill();
  third->waitForFinished(5000);
}
