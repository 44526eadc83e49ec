// The real program started twice: the second start hands its address to the
// first through the local socket beside the lock and ends at once, and the
// first keeps running; a killed first instance does not block the next.
// Without a runtime folder the guard lives in a private folder of the
// temporary folder, and without any lock at all the program still starts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>

#include "InstanceChannel.h"
#include "SingleInstance.h"

namespace {

class ProgramRun : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("XDG_RUNTIME_DIR", dir_.path() + "/run");
    env_.insert("TMPDIR", dir_.path());
    env_.insert("XDG_DESKTOP_DIR", dir_.path() + "/Desktop");
    QDir().mkpath(dir_.path() + "/run");
    QDir().mkpath(dir_.path() + "/Desktop");
  }

  std::unique_ptr<QProcess> Start(const QStringList& arguments = {}) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env_);
    p->setProgram(QStringLiteral(PIXVANE_BINARY));
    p->setArguments(arguments);
    p->start();
    EXPECT_TRUE(p->waitForStarted(5000));
    return p;
  }

  // True when the process is still running after ms milliseconds.
  static bool StillRunningAfter(QProcess& p, int ms) { return !p.waitForFinished(ms); }

  static void Stop(QProcess& p) {
    p.kill();
    p.waitForFinished(5000);
  }

  QTemporaryDir dir_;
  QProcessEnvironment env_;
};

// Mode bits of a path, links not followed.
mode_t ModeOf(const QString& path) {
  struct stat info {};
  if (::lstat(path.toLocal8Bit().constData(), &info) != 0) return 0;
  return info.st_mode & 07777;
}

}  // namespace

TEST_F(ProgramRun, SecondStartEndsAtOnceAndTheFirstGoesOn) {
  auto first = Start();
  ASSERT_TRUE(StillRunningAfter(*first, 1500));  // up, with its window

  QElapsedTimer clock;
  clock.start();
  auto second = Start({"http://h/page.htm"});
  ASSERT_TRUE(second->waitForFinished(2000));
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
  EXPECT_TRUE(second->readAllStandardOutput().isEmpty());

  EXPECT_TRUE(StillRunningAfter(*first, 300));
  // The first answers at the socket beside its lock once its window took
  // the address.
  QString reason;
  EXPECT_TRUE(TInstanceChannel::HandOver(dir_.path() + "/run/Pixvane.socket", "http://h/", reason))
      << reason.toStdString();

  // Killed without any chance to clean up, the first leaves no guard behind.
  first->kill();
  ASSERT_TRUE(first->waitForFinished(5000));
  auto third = Start();
  EXPECT_TRUE(StillRunningAfter(*third, 1500));
  Stop(*third);
}

TEST_F(ProgramRun, HelpAndVersionNeedNoDisplay) {
  env_.remove("QT_QPA_PLATFORM");
  env_.remove("DISPLAY");
  env_.remove("WAYLAND_DISPLAY");
  auto version = Start({"--version"});
  ASSERT_TRUE(version->waitForFinished(5000));
  EXPECT_EQ(version->exitCode(), 0);
  EXPECT_EQ(version->readAllStandardOutput(), "pixvane 1.3.2010.10.27\n");
  auto help = Start({"--help"});
  ASSERT_TRUE(help->waitForFinished(5000));
  EXPECT_EQ(help->exitCode(), 0);
  EXPECT_TRUE(help->readAllStandardOutput().startsWith("Usage: pixvane [URL]\n"));
}

TEST_F(ProgramRun, WithoutRuntimeFolderThePrivateFallbackStillGuards) {
  env_.insert("XDG_RUNTIME_DIR", dir_.path() + "/missing");
  auto first = Start();
  ASSERT_TRUE(StillRunningAfter(*first, 1500));
  const QString folder = dir_.path() + "/Pixvane-" + QString::number(::geteuid());
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(ModeOf(folder + "/Pixvane.lock"), 0600u);
  // Even when the runtime folder has appeared since, the first holds the guard.
  QDir().mkpath(dir_.path() + "/missing");
  auto second = Start();
  EXPECT_TRUE(second->waitForFinished(2000));
  EXPECT_FALSE(second->readAllStandardError().contains("single-instance"));
  Stop(*first);
}

TEST_F(ProgramRun, WithoutAnyLockTheProgramStartsAndSaysWhyOnce) {
  QFile file(dir_.path() + "/plain-file");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  env_.insert("XDG_RUNTIME_DIR", file.fileName() + "/run");
  env_.insert("TMPDIR", file.fileName());  // no folder can be made in it
  auto first = Start();
  EXPECT_TRUE(StillRunningAfter(*first, 1500));
  Stop(*first);
  const QList<QByteArray> lines = first->readAllStandardError().split('\n');
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const QByteArray& l) { return l.contains("single-instance"); }),
            1);
}

TEST(SingleInstanceGuard, RefusesAFallbackThatIsNotPrivateToTheUser) {
  QTemporaryDir dir;
  const QByteArray tmp = dir.path().toLocal8Bit();
  const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray savedTmp = qgetenv("TMPDIR");
  qputenv("XDG_RUNTIME_DIR", tmp + "/missing");
  qputenv("TMPDIR", tmp);
  const std::string uid = std::to_string(::geteuid());
  const auto folderOf = [&](const char* name) {
    return tmp.toStdString() + "/" + name + "-" + uid;
  };

  TSingleInstanceGuard open;  // a folder others may enter
  ::mkdir(folderOf("Open").c_str(), 0755);
  ::chmod(folderOf("Open").c_str(), 0755);
  EXPECT_EQ(open.Acquire("Open"), TSingleInstanceGuard::Result::Failed);
  TSingleInstanceGuard link;  // a link to a folder
  ::mkdir((tmp + "/elsewhere").constData(), 0700);
  ::symlink((tmp + "/elsewhere").constData(), folderOf("Link").c_str());
  EXPECT_EQ(link.Acquire("Link"), TSingleInstanceGuard::Result::Failed);
  TSingleInstanceGuard trap;  // a lock file that is a link
  ::mkdir(folderOf("Trap").c_str(), 0700);
  ::symlink((tmp + "/elsewhere/target").constData(), (folderOf("Trap") + "/Trap.lock").c_str());
  EXPECT_EQ(trap.Acquire("Trap"), TSingleInstanceGuard::Result::Failed);
  EXPECT_FALSE(QFile::exists(dir.path() + "/elsewhere/target"));
  EXPECT_NE(trap.FailureReason().find("Trap.lock"), std::string::npos) << trap.FailureReason();
  if (::geteuid() == 0) {  // a folder of another user
    TSingleInstanceGuard foreign;
    ::mkdir(folderOf("Foreign").c_str(), 0700);
    ASSERT_EQ(::chown(folderOf("Foreign").c_str(), 65534, 65534), 0);
    EXPECT_EQ(foreign.Acquire("Foreign"), TSingleInstanceGuard::Result::Failed);
  }
  TSingleInstanceGuard good;
  EXPECT_EQ(good.Acquire("Good"), TSingleInstanceGuard::Result::Acquired);
  EXPECT_EQ(good.LockPath(), folderOf("Good") + "/Good.lock");

  qputenv("XDG_RUNTIME_DIR", savedRuntime);
  qputenv("TMPDIR", savedTmp);
  if (savedRuntime.isNull()) qunsetenv("XDG_RUNTIME_DIR");
  if (savedTmp.isNull()) qunsetenv("TMPDIR");
}
