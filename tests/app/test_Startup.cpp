// The startup sequence and the program folder.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <stdexcept>

#include "CommandLine.h"
#include "WindowFixture.h"

using Startup = WindowTest;

TEST_F(Startup, CaptionFoldersMemosAndLauncher) {
  QApplication::clipboard()->setText("http://before.example/start.jpg");
  CreateWindow();
  EXPECT_EQ(Form->windowTitle(), "Pixvane1.3.2010.10.27");
  EXPECT_EQ(Form->AppDir.toStdString(), ProgramDir());
  EXPECT_EQ(Form->SavePath->text(), Form->AppDir);
  EXPECT_TRUE(Form->Memo1->toPlainText().isEmpty());
  EXPECT_TRUE(Form->Memo2->toPlainText().isEmpty());
  // Text copied before the start stays on the clipboard and is remembered.
  EXPECT_EQ(QApplication::clipboard()->text(), "http://before.example/start.jpg");
  EXPECT_EQ(Form->StartupClipboardText, "http://before.example/start.jpg");
  // The launcher is named by the caption as designed, without the version.
  const std::string launcher = ReadFile("Desktop/Pixvane.desktop");
  EXPECT_NE(launcher.find("Name=Pixvane\n"), std::string::npos);
  EXPECT_NE(launcher.find("Exec=\"" + PathOf("bin/pixvane") + "\"\n"), std::string::npos);
  EXPECT_TRUE(Seam.Errors.isEmpty());
}

TEST_F(Startup, LauncherIsWrittenAgainAtEveryStart) {
  CreateWindow();
  DestroyWindow();
  ASSERT_TRUE(QFile::remove(QString::fromStdString(PathOf("Desktop/Pixvane.desktop"))));
  CreateWindow();
  EXPECT_TRUE(Exists("Desktop/Pixvane.desktop"));
}

TEST_F(Startup, AFailingStepIsReportedAndTheLaterStepsStillRun) {
  CreateWindow([](int step) {
    if (step == 1) throw std::runtime_error("the launcher cannot be written");
    if (step == 6) throw std::runtime_error("剪贴板被占用");
  });
  ASSERT_EQ(Seam.Errors.size(), 2);
  EXPECT_EQ(Seam.Errors[0], "the launcher cannot be written.");
  EXPECT_EQ(Seam.Errors[1], "剪贴板被占用.");
  EXPECT_FALSE(Exists("Desktop/Pixvane.desktop"));
  EXPECT_EQ(Form->windowTitle(), "Pixvane1.3.2010.10.27");
  EXPECT_EQ(Form->SavePath->text().toStdString(), ProgramDir());
  EXPECT_TRUE(Form->Memo1->toPlainText().isEmpty());
}

TEST(AppDir, IsTheProgramFolderWithOneSlash) {
  EXPECT_EQ(AppDirOf("/opt/pixvane/pixvane"), "/opt/pixvane/");
  EXPECT_EQ(AppDirOf("/pixvane"), "//");
}

TEST(ErrorReport, AppendsAFullStopAfterACharacterThatSortsAfterIt) {
  EXPECT_EQ(ErrorReportText("Access denied"), "Access denied.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorReportText("磁盘已满"), "磁盘已满.");
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST_F(Startup, AnErrorEscapingAHandlerIsReportedAndTheWindowGoesOn) {
  CreateWindow();
  Form->Guarded([] { throw std::runtime_error("Disk full"); });
  EXPECT_EQ(Seam.Errors, QStringList{"Disk full."});
  Form->Guarded([] {});
  EXPECT_EQ(Seam.Errors.size(), 1);
}

TEST(WindowCommandLine, ReadsOneAddressAndPrintsHelpOrVersionFirst) {
  using A = TWindowCommandLine::Action;
  const struct {
    QStringList arguments;
    A what;
    QString address;
  } cases[] = {
      {{"pixvane"}, A::Open, ""},
      {{"pixvane", "http://h/page.htm"}, A::Open, "http://h/page.htm"},
      // Before the toolkit has taken its own options out.
      {{"pixvane", "-platform", "offscreen", "--version"}, A::Version, ""},
      {{"pixvane", "http://h/", "-h"}, A::Help, ""},
      {{"pixvane", "--bogus"}, A::BadUsage, ""},
      {{"pixvane", "http://h/a", "http://h/b"}, A::BadUsage, ""},
  };
  for (const auto& c : cases) {
    const TWindowCommandLine command = ParseWindowCommandLine(c.arguments);
    EXPECT_EQ(command.What, c.what) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(command.Address, c.address) << c.arguments.join(' ').toStdString();
  }
  EXPECT_EQ(ParseWindowCommandLine({"pixvane", "-v"}).Text, "pixvane 1.3.2010.10.27");
}

TEST_F(Startup, TheCommandLinesAddressAndASecondStartsFillTheAddressBox) {
  CreateWindowFor("http://h/first.htm");
  EXPECT_EQ(Form->Url->text(), "http://h/first.htm");

  Form->PageControl1->setCurrentWidget(Form->TabSheet5);
  Form->BringToFront("");  // no address: only to the front
  EXPECT_EQ(Form->Url->text(), "http://h/first.htm");
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet5);
  Form->BringToFront("http://h/second.htm");
  EXPECT_EQ(Form->Url->text(), "http://h/second.htm");
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet2);
  EXPECT_TRUE(Form->isVisible());
}

// The save folder chosen or typed and the page read last come back at the
// next start; the defaults show until then; the command line's address wins.
TEST_F(Startup, TheSaveFolderAndThePageReadLastAreRemembered) {
  CreateWindow();
  EXPECT_EQ(Form->Url->text(), "http://");
  DestroyWindow();
  CreateWindow();
  EXPECT_EQ(Form->SavePath->text(), Form->AppDir) << "the preset is never stored";

  Seam.BrowseResult = QString::fromStdString(PathOf("pics"));
  Form->Button13->click();
  // A page that cannot be read is remembered all the same; its reason shows
  // in the window's language.
  Form->Url->setText("http://127.0.0.1:1/gallery.htm");
  Form->ButtonGetPicUrlList->click();
  EXPECT_EQ(Form->StatusText(), "网页读取失败: 无法连接到服务器 127.0.0.1 (端口 1)");
  Form->Url->setText("http://half.typed/");
  DestroyWindow();
  CreateWindow();
  EXPECT_EQ(Form->SavePath->text().toStdString(), PathOf("pics/"));
  EXPECT_EQ(Form->Url->text(), "http://127.0.0.1:1/gallery.htm");

  // Typed, and the window closed with the focus still in the box.
  Form->SavePath->clear();
  QTest::keyClicks(Form->SavePath, "/srv/typed/");
  DestroyWindow();
  CreateWindowFor("http://h/given.htm");
  EXPECT_EQ(Form->SavePath->text(), "/srv/typed/");
  EXPECT_EQ(Form->Url->text(), "http://h/given.htm");
  EXPECT_TRUE(Seam.Errors.isEmpty());
}
