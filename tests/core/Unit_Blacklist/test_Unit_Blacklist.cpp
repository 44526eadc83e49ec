// The blacklist without the window: its file, its membership test, the
// screening of found addresses and its path rule.
#include <sys/resource.h>

#include <QDir>
#include <QFileInfo>
#include <csignal>

#include "Sandbox.h"
#include "Unit_Blacklist.h"

namespace {

class Blacklist : public SandboxTest {
 protected:
  QString Path(const std::string& name) const { return QString::fromStdString(PathOf(name)); }
  TBlacklist Loaded(const std::string& bytes) {
    WriteFile("黑名单.txt", bytes);
    TBlacklist blacklist;
    QString failure;
    EXPECT_TRUE(blacklist.Load(Path("黑名单.txt"), failure)) << failure.toStdString();
    return blacklist;
  }
  std::string Saved(const TBlacklist& blacklist) {
    QString failure;
    EXPECT_TRUE(blacklist.Save(Path("黑名单.txt"), failure)) << failure.toStdString();
    return ReadFile("黑名单.txt");
  }
};

}  // namespace

TEST_F(Blacklist, FileLineEndsNulAndEncoding) {
  const char raw[] = "lf\ncr\rcrlf\r\n\r\nafter empty\n\0hidden\n";
  EXPECT_EQ(Loaded(std::string(raw, sizeof raw - 1)).Entries(),
            (QStringList{"lf", "cr", "crlf", "", "after empty"}));
  // An old GBK file is read as such and saved as UTF-8, CR LF after each.
  const TBlacklist old = Loaded("http://h/\xD6\xD0\xCE\xC4.jpg\r\nb");
  EXPECT_EQ(old.Entries(), (QStringList{"http://h/中文.jpg", "b"}));
  EXPECT_EQ(Saved(old), "http://h/中文.jpg\r\nb\r\n");
  EXPECT_EQ(Saved(TBlacklist()), "");
}

TEST_F(Blacklist, MembershipIgnoresOnlyAsciiCaseAndFollowsAddAndRemove) {
  TBlacklist blacklist({"http://H/A.jpg", "http://h/ä.jpg"});
  EXPECT_TRUE(blacklist.Contains("HTTP://h/a.JPG"));
  EXPECT_TRUE(blacklist.Contains("http://h/ä.jpg"));
  EXPECT_FALSE(blacklist.Contains("http://h/Ä.jpg"));   // no fold beyond A-Z
  EXPECT_FALSE(blacklist.Contains("http://h/a.jpg "));  // whole entries only

  blacklist.Add("http://h/a.JPG");  // a repeat in other case
  blacklist.RemoveAt(0);
  EXPECT_TRUE(blacklist.Contains("http://h/a.jpg")) << "the repeat still holds it";
  blacklist.RemoveAt(1);
  EXPECT_FALSE(blacklist.Contains("http://h/a.jpg"));
  EXPECT_EQ(blacklist.Entries(), QStringList{"http://h/ä.jpg"});
  blacklist.Clear();
  EXPECT_FALSE(blacklist.Contains("http://h/ä.jpg"));
}

TEST_F(Blacklist, ScreenKeepsTheFirstOfEachAndDropsTheListed) {
  const TBlacklist blacklist({"http://h/AD.gif"});
  const QStringList found = {"http://h/1.jpg", "http://h/ad.gif", "HTTP://H/1.JPG",
                             "http://h/2.jpg", "http://h/1.jpg"};
  EXPECT_EQ(blacklist.Screen(found), (QStringList{"http://h/1.jpg", "http://h/2.jpg"}));
  EXPECT_EQ(blacklist.ScreenedIndexes(found), (std::vector<qsizetype>{0, 3}));
}

TEST_F(Blacklist, ALoadThatFailsKeepsTheEntriesAndSaysWhy) {
  TBlacklist blacklist({"kept"});
  QString failure;
  EXPECT_FALSE(blacklist.Load(Path("missing.txt"), failure));
  EXPECT_FALSE(failure.isEmpty());
  QDir().mkpath(Path("folder.txt"));
  failure.clear();
  EXPECT_FALSE(blacklist.Load(Path("folder.txt"), failure));
  EXPECT_FALSE(failure.isEmpty());
  EXPECT_EQ(blacklist.Entries(), QStringList{"kept"});
}

TEST_F(Blacklist, AFailedSaveLeavesTheOldFileWholeAndSaysWhy) {
  WriteFile("黑名单.txt", "old entry\r\n");
  TBlacklist blacklist;
  for (int i = 0; i < 200; ++i) blacklist.Add(QStringLiteral("http://h/%1.jpg").arg(i));

  // Files of this process may not grow past 64 bytes for a moment: the write
  // fails half-way, as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  QString failure;
  const bool written = blacklist.Save(Path("黑名单.txt"), failure);
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_FALSE(written);
  EXPECT_FALSE(failure.isEmpty());
  EXPECT_EQ(ReadFile("黑名单.txt"), "old entry\r\n");
  EXPECT_EQ(QDir(QString::fromStdString(Dir())).entryList(QDir::Files).size(), 1)
      << "no half-written file beside it";
  std::string expected;  // with room again the save goes through
  for (const QString& entry : blacklist.Entries()) expected += entry.toStdString() + "\r\n";
  EXPECT_EQ(Saved(blacklist), expected);
}

TEST_F(Blacklist, PathIsBesideTheProgramElseInTheUserDataFolder) {
  const QByteArray savedData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(PathOf("data")));
  const QString bin = Path("bin/");
  QDir().mkpath(bin);
  EXPECT_EQ(BlacklistPath(bin), bin + "黑名单.txt");
  EXPECT_EQ(BlacklistReadPath(bin), bin + "黑名单.txt");
  // A program folder that is not a writable folder: the user's data folder,
  // the same for every Pixvane program; a save creates it.
  const QString user = Path("data/Pixvane/黑名单.txt");
  EXPECT_EQ(BlacklistPath(Path("gone/")), user);
  QString failure;
  EXPECT_TRUE(TBlacklist({"a"}).Save(BlacklistPath(Path("gone/")), failure));
  EXPECT_EQ(ReadFile("data/Pixvane/黑名单.txt"), "a\r\n");
  // An installed program's folder, even where this process may write it.
  for (const char* system : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    EXPECT_FALSE(ProgramFolderHoldsUserFiles(system)) << system;
    EXPECT_EQ(BlacklistPath(system), user) << system;
  }
  EXPECT_TRUE(ProgramFolderHoldsUserFiles(bin));
  if (savedData.isEmpty())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", savedData);
}
