// Under a real X display, with another program (xclip) owning the clipboard:
// the running window's sniffer picks a copied address up, and what was copied
// before the start is still on the clipboard after it.
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>

#include "WindowFixture.h"

namespace {

class ClipboardFromAnotherProgram : public WindowTest {
 protected:
  void SetUp() override {
    if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs an X display";
    WindowTest::SetUp();
  }
  void TearDown() override {
    if (owner_.state() != QProcess::NotRunning) {
      owner_.kill();
      owner_.waitForFinished(5000);
    }
    WindowTest::TearDown();
  }

  // xclip takes the clipboard with text and stays, owning it.
  void Copy(const QByteArray& text) {
    owner_.start("xclip", {"-quiet", "-selection", "clipboard"});
    ASSERT_TRUE(owner_.waitForStarted(5000));
    owner_.write(text);
    owner_.closeWriteChannel();
  }

  // The clipboard's text as another program reads it.
  static QByteArray Paste() {
    QProcess reader;
    reader.start("xclip", {"-o", "-selection", "clipboard"});
    if (!reader.waitForFinished(5000)) return "(no answer)";
    return reader.readAllStandardOutput();
  }

  QProcess owner_;
};

}  // namespace

TEST_F(ClipboardFromAnotherProgram, ReachesThePreProcessingList) {
  CreateWindow();
  Form->RadioButton2->setChecked(true);
  Copy("HTTP://X11.EXAMPLE/Shared/Pic.JPG");
  EXPECT_TRUE(WaitUntil([&] { return Form->ListBox_imglist->count() == 1; }, 10000));
  if (Form->ListBox_imglist->count() == 1) {
    EXPECT_EQ(Form->ListBox_imglist->item(0)->text(), "HTTP://X11.EXAMPLE/Shared/Pic.JPG");
  }
}

TEST_F(ClipboardFromAnotherProgram, TextCopiedBeforeTheStartIsStillThereAfterIt) {
  Copy("http://before.example/Kept.jpg");
  ASSERT_TRUE(WaitUntil([] { return Paste() == "http://before.example/Kept.jpg"; }, 10000));
  CreateWindow();
  Form->RadioButton2->setChecked(true);
  WaitUntil([] { return false; }, 500);  // let any notification of the start arrive
  EXPECT_EQ(Paste(), "http://before.example/Kept.jpg");
  EXPECT_EQ(Form->StartupClipboardText, "http://before.example/Kept.jpg");
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
}
