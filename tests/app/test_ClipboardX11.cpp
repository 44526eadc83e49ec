// Under a real X display: another program (xclip) owns the clipboard, and the
// running window's sniffer picks the copied address up.
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>

#include "WindowFixture.h"

using ClipboardFromAnotherProgram = WindowTest;

TEST_F(ClipboardFromAnotherProgram, ReachesThePreProcessingList) {
  if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs an X display";
  CreateWindow();
  Form->RadioButton2->setChecked(true);

  QProcess xclip;
  xclip.start("xclip", {"-quiet", "-selection", "clipboard"});
  ASSERT_TRUE(xclip.waitForStarted(5000));
  xclip.write("HTTP://X11.EXAMPLE/Shared/Pic.JPG");
  xclip.closeWriteChannel();

  EXPECT_TRUE(WaitUntil([&] { return Form->ListBox_imglist->count() == 1; }, 10000));
  if (Form->ListBox_imglist->count() == 1) {
    EXPECT_EQ(Form->ListBox_imglist->item(0)->text(), "http://x11.example/shared/pic.jpg");
  }
  xclip.kill();
  xclip.waitForFinished(5000);
}
