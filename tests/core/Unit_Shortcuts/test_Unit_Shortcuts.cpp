#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

#include "Sandbox.h"
#include "Unit_Shortcuts.h"

namespace {

class CreateShortcutTest : public SandboxTest {
 protected:
  void SetUp() override {
    saved_ = qgetenv("XDG_DESKTOP_DIR");
    QDir().mkpath(QString::fromStdString(PathOf("Desktop")));
    qputenv("XDG_DESKTOP_DIR", QByteArray::fromStdString(PathOf("Desktop")));
    WriteFile("Tools/x.bin", "program");
    target_ = PathOf("Tools/x.bin");
  }
  void TearDown() override {
    if (saved_.isEmpty())
      qunsetenv("XDG_DESKTOP_DIR");
    else
      qputenv("XDG_DESKTOP_DIR", saved_);
  }
  std::string target_;
  QByteArray saved_;
};

}  // namespace

TEST_F(CreateShortcutTest, DesktopLauncherStartsTheTargetInItsFolder) {
  ASSERT_TRUE(CreateShortcut(target_, "Pixvane", "", -1));
  const std::string text = ReadFile("Desktop/Pixvane.desktop");
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  EXPECT_NE(text.find("Exec=\"" + target_ + "\"\n"), std::string::npos);
  EXPECT_NE(text.find("Path=" + PathOf("Tools/") + "\n"), std::string::npos);
  EXPECT_NE(text.find("Icon=pixvane\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(PathOf("Desktop/Pixvane.desktop").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  // Replaced whole at the next start, and no temporary file is left.
  WriteFile("Desktop/Pixvane.desktop", "changed by the user");
  ASSERT_TRUE(CreateShortcut(target_, "Pixvane", "", 0));
  EXPECT_EQ(ReadFile("Desktop/Pixvane.desktop"), text);
  EXPECT_EQ(QDir(QString::fromStdString(PathOf("Desktop"))).entryList(QDir::Files).size(), 1);
}

TEST_F(CreateShortcutTest, MissingTargetOrFolderWritesNothing) {
  EXPECT_FALSE(CreateShortcut(PathOf("Tools/missing.bin"), "Pixvane", "", -1));
  EXPECT_FALSE(CreateShortcut(PathOf("Tools"), "Pixvane", "", -1));  // a folder is no target
  EXPECT_FALSE(CreateShortcut(target_, "Pixvane", PathOf("NoSuchFolder"), -1));
  EXPECT_TRUE(QDir(QString::fromStdString(PathOf("Desktop"))).isEmpty());
  EXPECT_FALSE(CreateShortcut(target_, "Pixvane", "", 7));  // no such special folder
}

TEST_F(CreateShortcutTest, EmptyNameTakesTheTargetsBaseName) {
  ASSERT_TRUE(CreateShortcut(target_, "", "", -1));
  EXPECT_TRUE(Exists("Desktop/x.desktop"));
}

TEST_F(CreateShortcutTest, GivenFolderWithTrailingSlash) {
  QDir().mkpath(QString::fromStdString(PathOf("Links")));
  ASSERT_TRUE(CreateShortcut(target_, "A", PathOf("Links/"), -1));
  EXPECT_TRUE(Exists("Links/A.desktop"));
  EXPECT_FALSE(Exists("Desktop/A.desktop"));
}

TEST_F(CreateShortcutTest, UnwritableFolderFails) {
  // /proc exists as a folder, but nobody, not even root, can create files in it.
  EXPECT_FALSE(CreateShortcut(target_, "Pixvane", "/proc", -1));
}

TEST(DesktopEntryText, QuotesAndEscapesTheProgramPath) {
  const std::string text = DesktopEntryText("/opt/my apps/p$x\"100%.bin", "Pix");
  EXPECT_NE(text.find("Exec=\"/opt/my apps/p\\\\$x\\\\\"100%%.bin\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Path=/opt/my apps/\n"), std::string::npos);
}
