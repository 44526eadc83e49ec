// The download page: import, batch start, progress, completion monitor and
// save folder, and the whole road of a batch against a local server.
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "FileOrigin.h"
#include "HTTPGet.h"
#include "HTTPGetTestHooks.h"
#include "ListText.h"
#include "LocalServer.h"
#include "WindowFixture.h"

using testnet::LocalServer;
using testnet::PatternBytes;

namespace {

class DownloadPage : public OpenWindowTest {
 protected:
  void SetDownloads(const QStringList& addresses) { SetItems(Form->ListBox_Download, addresses); }
};

}  // namespace

TEST_F(DownloadPage, ImportCopiesEveryLineAndShowsTheDownloadPage) {
  Form->show();
  Form->activateWindow();
  Form->Memo2->clear();
  Form->ListBox_imglist->addItem("kept");
  SetDownloads({"old"});
  Form->Button5->click();
  EXPECT_EQ(Seam.Messages, QStringList{"已处理图片列表不能为空."});
  EXPECT_EQ(Form->ListBox_imglist->count(), 1);
  EXPECT_EQ(ItemTexts(Form->ListBox_Download), QStringList{"old"});
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet2);

  const QString longLine = "http://h/" + QString(5000, 'x');
  Form->Memo2->setPlainText("http://h/a.jpg\n\nhttp://h/a.jpg\n" + longLine + "\n");
  Form->Button5->click();
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
  const QStringList items = ItemTexts(Form->ListBox_Download);
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0], "http://h/a.jpg");
  EXPECT_EQ(items[1], "");
  EXPECT_EQ(items[2], "http://h/a.jpg");
  EXPECT_EQ(items[3].size(), 4096);
  // Each address has its own file name, chosen in list order and shown.
  const QListWidget* list = Form->ListBox_Download;
  EXPECT_EQ(DownloadNameOf(list->item(0)), "a.jpg");
  EXPECT_EQ(DownloadNameOf(list->item(1)), "download");
  EXPECT_EQ(DownloadNameOf(list->item(2)), "a (2).jpg");
  EXPECT_EQ(list->item(2)->toolTip(), "文件名: a (2).jpg");
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet5);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Seam.OpenedAddresses.isEmpty());  // filling and showing the list opens nothing

  Form->PageControl1->setCurrentWidget(Form->TabSheet2);
  Form->Button15->click();
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet5);
}

TEST_F(DownloadPage, StartRefusesAnEmptyFolderName) {
  Form->FileName->setText("");
  Form->Button14->click();
  EXPECT_EQ(Seam.Messages, QStringList{"文件夹名不能为空."});
  EXPECT_FALSE(Form->Timer_CheckDownFile->isActive());
  EXPECT_EQ(Form->StatusText(), "");
}

TEST_F(DownloadPage, AnEmptyListIsReportedCompleteAtTheFirstTick) {
  // A save folder that does not exist yet, typed without its "/".
  Form->SavePath->setText(QString::fromStdString(PathOf("fresh/Pictures")));
  Form->FileName->setText("empty");
  Form->PageControl1->setCurrentWidget(Form->TabSheet5);
  Form->Button14->click();
  EXPECT_TRUE(QFileInfo(QString::fromStdString(PathOf("fresh/Pictures/empty"))).isDir());
  EXPECT_EQ(Form->StatusText(), "请稍候正在批量下载图片...");
  ASSERT_TRUE(Form->Timer_CheckDownFile->isActive());
  Seam.OnMessage = [&](const QString&) {
    EXPECT_FALSE(Form->Timer_CheckDownFile->isActive());  // off before the message
  };
  ASSERT_TRUE(WaitUntil([&] { return !Seam.Messages.isEmpty(); }, 5000));
  EXPECT_EQ(Seam.Messages, QStringList{"下载任务完成"});
  EXPECT_EQ(Form->StatusText(), "下载任务完成: 0 个图片, 0.0 MB");
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet2);
}

TEST_F(DownloadPage, AnUnknownSizeShowsAnEmptyBar) {
  Form->HTTPGetProgress(nullptr, 0, 5000);
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 0);
  EXPECT_GT(Form->DownLoadProgressBar->maximum(), Form->DownLoadProgressBar->minimum());
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "4");
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "0");
  // A report within 40 ms of the last one shown waits for that time; the
  // display then shows the latest report.
  Form->HTTPGetProgress(nullptr, 1000, 500);
  Form->HTTPGetProgress(nullptr, 1000, 1000);
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "4");
  ASSERT_TRUE(WaitUntil([&] { return Form->DownLoadProgressBar->value() == 1000; }, 2000));
  EXPECT_EQ(Form->DownLoadProgressBar->minimum(), 0);
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "0");
  EXPECT_EQ(Form->StatusText(), "");  // the status bar shows the batch, not one download
}

TEST_F(DownloadPage, ProgressShowsWholeKilobytes) {
  Form->HTTPGetProgress(nullptr, 1500, 1023);
  EXPECT_EQ(Form->DownLoadProgressBar->maximum(), 1500);
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 1023);
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "0");
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "1");
}

TEST_F(DownloadPage, TargetPathsFollowTheTextsAndTheForceFlag) {
  Form->FileName->setText("cats");
  // The batch folder is joined to the save folder, with or without its "/".
  for (const char* save : {"/data/img", "/data/img/"}) {
    Form->SavePath->setText(save);
    EXPECT_EQ(Form->TargetPathOf("pic"), "/data/img/cats/pic") << save;
  }
  Form->SavePath->setText("");
  EXPECT_EQ(Form->TargetPathOf("show.php?id=3"), "cats/show.php?id=3");
  Form->SavePath->setText("/");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  EXPECT_EQ(Form->TargetPathOf("pic"), "/cats/pic.jpg");
  EXPECT_EQ(Form->TargetPathOf("a.gif"), "/cats/a.gif.jpg");
}

TEST_F(DownloadPage, SelectingAnAddressOpensIt) {
  SetDownloads({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"});
  Form->ListBox_Download->setCurrentRow(1);
  Form->ListBox_Download->setCurrentRow(0);
  EXPECT_EQ(Seam.OpenedAddresses, (QStringList{"http://h/b.jpg", "http://h/a.jpg"}));
}

TEST_F(DownloadPage, EveryClickOnAnAddressOpensIt) {
  SetDownloads({"http://h/a.jpg", "http://h/b.jpg"});
  Form->show();
  QWidget* view = Form->ListBox_Download->viewport();
  const QPoint first =
      Form->ListBox_Download->visualItemRect(Form->ListBox_Download->item(0)).center();
  QTest::mouseClick(view, Qt::LeftButton, {}, first);
  QTest::mouseClick(view, Qt::LeftButton, {}, first);  // already selected: opens again
  EXPECT_EQ(Seam.OpenedAddresses, (QStringList{"http://h/a.jpg", "http://h/a.jpg"}));
}

TEST_F(DownloadPage, SaveFolderBrowseViewAndSelect) {
  const QString before = Form->SavePath->text();
  Form->Button13->click();  // cancelled
  EXPECT_EQ(Form->SavePath->text(), before);
  Seam.BrowseResult = "/";
  Form->Button13->click();
  EXPECT_EQ(Form->SavePath->text(), "/");
  Seam.BrowseResult = QString::fromStdString(PathOf("pics"));
  Form->Button13->click();
  EXPECT_EQ(Form->SavePath->text().toStdString(), PathOf("pics/"));

  Form->FileName->setText("cats");
  Form->Button2->click();
  WriteFile("pics/cats", "a file, not a folder");
  Form->Button2->click();
  EXPECT_EQ(Seam.Messages, (QStringList{"该目录还不存在", "该目录还不存在"}));
  QFile::remove(QString::fromStdString(PathOf("pics/cats")));
  QDir().mkpath(QString::fromStdString(PathOf("pics/cats")));
  Form->Button2->click();
  EXPECT_EQ(Seam.OpenedFolders, QStringList{QString::fromStdString(PathOf("pics/cats"))});

  Form->FileNameDblClick(Form->FileName);
  EXPECT_EQ(Form->FileName->selectedText(), "cats");
}

// ---- The whole road ---------------------------------------------------------

namespace {

const QString kComplete = QStringLiteral("下载任务完成");

// The message of a batch in which some downloads failed.
QString FailureMessage(int failed) {
  return QStringLiteral(
             "下载任务结束: %1 个图片下载失败, 其地址仍在下载列表中(鼠标指向地址可查看原因), "
             "再次点击\"开始下载\"可重试.")
      .arg(failed);
}

// Compares two bodies without printing them.
bool SameBytes(const std::string& saved, const std::string& served) {
  if (saved == served) return true;
  std::size_t at = 0;
  while (at < saved.size() && at < served.size() && saved[at] == served[at]) ++at;
  std::printf("saved %zu bytes, served %zu, first difference at %zu\n", saved.size(), served.size(),
              at);
  return false;
}

constexpr std::size_t kNone = std::string::npos;

struct Image {
  std::string body;
  int status = 200;
  std::size_t cutAfter = kNone;   // the first plain answer drops the line here
  std::size_t holdAfter = kNone;  // the first plain answer stalls here until released
};

class WholeRoad : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    images_["/g/photo01.jpg"] = {PatternBytes(40000, 1)};
    images_["/g/PHOTO02.JPG"] = {PatternBytes(25000, 2)};  // requested in its case
    images_["/g/anim.gif"] = {PatternBytes(3000, 3)};
    images_["/g/buttonicon.png"] = {PatternBytes(5000, 4)};
    images_["/g/noextension"] = {PatternBytes(7000, 5)};
    images_["/g/listed.jpg"] = {PatternBytes(1000, 6)};
    images_["/g/show.php"] = {PatternBytes(9000, 7)};
    images_["/g/missing.jpg"] = {"<html>not found</html>", 404};
    images_["/g/big.jpg"] = {PatternBytes(300000, 8), 200, 120000};
    for (int i = 0; i < 4; ++i)
      images_["/g/more" + std::to_string(i) + ".jpg"] = {PatternBytes(2000 + i, 9)};

    server_->Get("/g/page.htm", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<img src='photo01.jpg'><IMG SRC=\"PHOTO02.JPG\"><img src=\"/g/anim.gif\">"
          "<input type=image src='buttonicon.png'><img src='noextension'>x<img src='listed.jpg'>"
          "<img src=\"show.php?id=3\"><img src='missing.jpg'><img src='more0.jpg'>"
          "<img src='more1.jpg'><img src='more2.jpg'><img src='more3.jpg'>",
          "text/html");
    });
    server_->Get(R"(/.*)",
                 [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
    ASSERT_TRUE(server_.Start());
  }

  void TearDown() override {
    release_ = true;
    WindowTest::TearDown();
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 30000));
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    std::string range;
    bool first = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::string query;
      for (const auto& [key, value] : req.params)
        query += (query.empty() ? "" : "&") + key + "=" + value;
      queries_[req.path].push_back(query);
      if (req.has_header("Range")) range = req.get_header_value("Range");
      ranges_[req.path].push_back(range);
      first = range.empty() && answered_.insert(req.path).second;
    }
    auto found = images_.find(req.path);
    std::string path = req.path;
    std::transform(path.begin(), path.end(), path.begin(), ::tolower);
    if (found == images_.end()) found = images_.find(path);
    if (found == images_.end() || found->second.status != 200) {
      res.status = 404;
      res.set_content("<html>not found</html>", "text/html");
      return;
    }
    const Image image = found->second;
    res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
    const std::string body = image.body;
    // A ranged request is answered by the server library itself: 206 and
    // the asked part of the body, its length that of the part.
    if (!range.empty()) return res.set_content(body, "image/jpeg");
    const std::size_t stopAt = std::min(first ? image.cutAfter : kNone, body.size());
    const std::size_t holdAt = first ? image.holdAfter : kNone;
    res.set_content_provider(body.size(), "image/jpeg",
                             [this, body, stopAt, holdAt](std::size_t offset, std::size_t length,
                                                          httplib::DataSink& sink) {
                               if (offset >= stopAt) return false;  // the line drops mid-body
                               for (int i = 0; offset >= holdAt && !release_ && i < 6000; ++i)
                                 std::this_thread::sleep_for(std::chrono::milliseconds(5));
                               const std::size_t end =
                                   std::min(stopAt, holdAt > offset ? holdAt : kNone);
                               sink.write(body.data() + offset, std::min(length, end - offset));
                               return true;
                             });
  }

  std::vector<std::string> Ranges(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ranges_[path];
  }
  std::vector<std::string> Queries(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_[path];
  }
  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }
  std::string Saved(const std::string& name) const { return ReadFile("bin/batch/" + name); }
  bool SavedWhole(const std::string& name, const std::string& path) {
    return SameBytes(Saved(name), images_[path].body);
  }
  void Import(const QStringList& addresses) {
    Form->Memo2->setPlainText(addresses.join('\n'));
    Form->Button5->click();
  }
  // Starts the batch and waits for the message that ends it.
  bool StartAndWaitForTheEnd(int timeoutMs = 30000) {
    const qsizetype before = Seam.Messages.size();
    Form->Button14->click();
    return WaitUntil([&] { return Seam.Messages.size() > before; }, timeoutMs);
  }
  QStringList BatchFiles() const {
    return QDir(QString::fromStdString(PathOf("bin/batch"))).entryList(QDir::Files, QDir::Name);
  }

  std::map<std::string, Image> images_;
  std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> ranges_, queries_;
  std::set<std::string> answered_;  // paths that got their first plain answer
  std::atomic<bool> release_{false};
  LocalServer server_;  // last: stopped before what its handlers use
};

}  // namespace

TEST_F(WholeRoad, FromPageAddressToFilesInTheBatchFolder) {
  CreateWindow();
  Form->ListBox_imgheimingdan->addItem(Url("/g/LISTED.JPG"));
  int ticks = 0;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
  heartbeat.start(10);

  Form->Url->setText(Url("/g/page.htm"));
  Form->ButtonGetPicUrlList->click();
  EXPECT_EQ(Form->StatusText(), "读取完成. 连接总数: 12");
  ASSERT_EQ(Form->ListBox_imglist->count(), 11);
  Form->Button6->click();
  Form->Button5->click();
  ASSERT_EQ(Form->ListBox_Download->count(), 11);
  Form->FileName->setText("batch");
  ASSERT_TRUE(StartAndWaitForTheEnd());

  // Everything but the 404 leaves the list; its address stays, with the
  // reason, and the batch ends saying so.
  EXPECT_EQ(Seam.Messages, QStringList{FailureMessage(1)});
  EXPECT_FALSE(Form->Timer_CheckDownFile->isActive());
  ASSERT_EQ(ItemTexts(Form->ListBox_Download), QStringList{Url("/g/missing.jpg")});
  QListWidgetItem* missing = Form->ListBox_Download->item(0);
  EXPECT_EQ(missing->toolTip(), "下载失败: 服务器回答 404 Not Found\n文件名: missing.jpg");
  EXPECT_EQ(missing->foreground().color(), QColor(Qt::red));
  EXPECT_FALSE(missing->icon().isNull());
  Form->ListBox_Download->setCurrentRow(0);
  EXPECT_EQ(Form->StatusText(), "下载失败: 服务器回答 404 Not Found");
  for (const char* name : {"photo01.jpg", "PHOTO02.JPG", "anim.gif", "buttonicon.png",
                           "noextension", "more0.jpg", "more1.jpg", "more2.jpg", "more3.jpg"})
    EXPECT_TRUE(SavedWhole(name, std::string("/g/") + name)) << name;
  EXPECT_TRUE(SavedWhole("show.php?id=3", "/g/show.php"));
  EXPECT_FALSE(Exists("bin/batch/missing.jpg"));
  EXPECT_FALSE(Exists("bin/batch/listed.jpg"));
  for (const QString& f : BatchFiles()) EXPECT_FALSE(f.endsWith(".log")) << f.toStdString();
  // Each component was released when its download ended.
  EXPECT_TRUE(WaitUntil([&] { return Form->findChildren<THTTPGet*>().isEmpty(); }, 5000));

  // Every request carried the date tag; after a query it is one more parameter.
  const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
  EXPECT_EQ(Queries("/g/photo01.jpg"), std::vector<std::string>{today + "="});
  EXPECT_EQ(Queries("/g/show.php"), std::vector<std::string>{today + "=&id=3"});
  EXPECT_GE(ticks, 5) << "the window kept answering events";
}

TEST_F(WholeRoad, ACutTransferIsNotCompleteAndTheNextStartResumesIt) {
  CreateWindow();
  Form->FileName->setText("batch");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  Import({Url("/g/noextension"), Url("/g/anim.gif"), Url("/g/big.jpg")});
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages, QStringList{FailureMessage(1)});
  ASSERT_EQ(ItemTexts(Form->ListBox_Download), QStringList{Url("/g/big.jpg")});
  EXPECT_TRUE(Form->ListBox_Download->item(0)->toolTip().contains("after 120000 of 300000 bytes"));
  EXPECT_TRUE(SavedWhole("noextension.jpg", "/g/noextension"));
  EXPECT_TRUE(SavedWhole("anim.gif.jpg", "/g/anim.gif"));
  EXPECT_EQ(Saved("big.jpg.jpg").size(), 120000u);
  EXPECT_TRUE(Exists("bin/batch/big.jpg.jpg.log"));

  // The next start retries exactly that address and asks only for the
  // missing bytes.
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages.back(), kComplete);
  EXPECT_EQ(Form->ListBox_Download->count(), 0);
  EXPECT_EQ(Ranges("/g/big.jpg"), (std::vector<std::string>{"", "", "bytes=120000-300000"}));
  EXPECT_EQ(Ranges("/g/anim.gif").size(), 1u);
  EXPECT_TRUE(SavedWhole("big.jpg.jpg", "/g/big.jpg"));
  EXPECT_FALSE(Exists("bin/batch/big.jpg.jpg.log"));
}

TEST_F(WholeRoad, EveryAddressGetsAFileOfItsOwnUnderASafeName) {
  // Same last segments with the same Last-Modified, adjacent and far apart,
  // a name and its sidecar's name, and names that cannot be files as they are.
  const std::string longName = "/g/" + std::string(300, 'n') + ".jpg";
  const std::vector<std::string> paths = {"/a/1.jpg", "/b/1.jpg", "/g/photo01.jpg",
                                          "/c/1.jpg", "/g/a.jpg", "/g/a.jpg.log",
                                          longName,   "/g/",      "/g/tab\tname.jpg"};
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (!images_.contains(paths[i])) images_[paths[i]] = {PatternBytes(5000 + 3000 * i, 30 + i)};
  CreateWindow();
  QStringList addresses;
  for (const std::string& path : paths) addresses << Url(path);
  Import(addresses);
  const std::string host = "127.0.0.1:" + std::to_string(server_.Port()) + "_g";
  const std::string shortened = std::string(243, 'n') + ".jpg";
  EXPECT_EQ(Form->ListBox_Download->item(6)->toolTip().toStdString(), "文件名: " + shortened);

  // The batch folder cannot be made (a file stands in its way): every
  // download fails with the file error, and every address stays.
  WriteFile("bin/blocker", "");
  Form->FileName->setText("blocker/inner");
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages.back(), FailureMessage(static_cast<int>(paths.size())));
  EXPECT_TRUE(Form->ListBox_Download->item(0)->toolTip().startsWith("下载失败: 无法创建文件 "));

  Form->FileName->setText("batch");
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages.back(), kComplete);
  const std::vector<std::pair<std::string, std::string>> files = {
      {"1.jpg", "/a/1.jpg"},
      {"1 (2).jpg", "/b/1.jpg"},
      {"photo01.jpg", "/g/photo01.jpg"},
      {"1 (3).jpg", "/c/1.jpg"},
      {"a.jpg", "/g/a.jpg"},
      {"a.jpg (2).log", "/g/a.jpg.log"},
      {shortened, longName},
      {host, "/g/"},
      {"tab_name.jpg", "/g/tab\tname.jpg"}};
  QStringList expected;
  for (const auto& [name, path] : files) {
    EXPECT_TRUE(SavedWhole(name, path)) << name;
    expected << QString::fromStdString(name);
  }
  expected.sort();
  EXPECT_EQ(BatchFiles(), expected);  // no sidecar left, nothing else written
  EXPECT_TRUE(Seam.Errors.isEmpty());
}

TEST_F(WholeRoad, ATickDuringALargeStartSkipsNothing) {
  constexpr int kCount = 300;
  images_["/slow/held.jpg"] = {PatternBytes(50000, 40), 200, kNone, 2000};
  QStringList addresses;
  for (int i = 0; i < kCount; ++i) {
    const std::string path = "/n/" + std::to_string(i) + ".jpg";
    images_[path] = {PatternBytes(100 + i, i)};
    addresses << Url(path);
  }
  CreateWindow();
  Form->FileName->setText("batch");
  // The monitor is on from an earlier start whose download still runs.
  Import({Url("/slow/held.jpg")});
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return Saved("held.jpg").size() == 2000; }));
  Form->Timer_CheckDownFile->setInterval(1);
  int ticks = 0;
  QObject::connect(Form->Timer_CheckDownFile, &QTimer::timeout, [&] { ++ticks; });
  Import(addresses);
  Form->Button14->click();
  EXPECT_GT(ticks, 0) << "no tick came during the start";
  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return !Seam.Messages.isEmpty(); }, 60000));
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_EQ(Form->ListBox_Download->count(), 0);
  for (int i = 0; i < kCount; ++i) {
    const std::string name = std::to_string(i) + ".jpg";
    ASSERT_EQ(Queries("/n/" + name).size(), 1u) << name;
    ASSERT_TRUE(SavedWhole(name, "/n/" + name)) << name;
  }
}

TEST_F(WholeRoad, TheMonitorLeavesSelectionAndCaretAloneUnlessItRemovesThem) {
  images_["/slow/held.jpg"] = {PatternBytes(50000, 41), 200, kNone, 2000};
  CreateWindow();
  Form->FileName->setText("batch");
  Form->Timer_CheckDownFile->setInterval(3600000);  // ticks by hand only
  Import({Url("/g/anim.gif"), Url("/slow/held.jpg"), Url("/g/noextension")});
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 1; }));
  QListWidget* list = Form->ListBox_Download;
  list->setCurrentRow(0);
  Seam.OpenedAddresses.clear();

  // The selected address leaves: nothing else is picked in its place, and
  // the user's next selection opens its address.
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(ItemTexts(list), QStringList{Url("/slow/held.jpg")});
  EXPECT_EQ(list->currentRow(), -1);
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_TRUE(Seam.OpenedAddresses.isEmpty());
  list->setCurrentRow(0);
  EXPECT_EQ(Seam.OpenedAddresses, QStringList{Url("/slow/held.jpg")});
  // A tick that removes nothing leaves selection and caret where they are.
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_TRUE(list->item(0)->isSelected());
  EXPECT_TRUE(Seam.Messages.isEmpty());

  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }));
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_TRUE(SavedWhole("held.jpg", "/slow/held.jpg"));
}

TEST_F(WholeRoad, ABatchKilledMidwayIsResumedByteExactFromTheSameList) {
  images_["/k/1.jpg"] = {PatternBytes(60000, 21), 200, kNone, 20000};
  images_["/m/1.jpg"] = {PatternBytes(50000, 22), 200, kNone, 7000};
  images_["/k/whole.jpg"] = {PatternBytes(9000, 23)};
  images_["/k/big.jpg"] = {PatternBytes(300000, 24), 200, kNone, 100000};
  const QStringList list = {Url("/k/1.jpg"), Url("/m/1.jpg"), Url("/k/whole.jpg"),
                            Url("/k/big.jpg")};
  WriteFile("list.txt", list.join('\n').toStdString());
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  child.start(PIXVANE_BATCH_CHILD, {QString::fromStdString(ProgramDir()), "batch",
                                    QString::fromStdString(PathOf("list.txt"))});
  const auto size = [&](const std::string& name) { return Saved(name).size(); };
  ASSERT_TRUE(WaitUntil(
      [&] {
        return size("1.jpg") == 20000 && size("1 (2).jpg") == 7000 && size("big.jpg") == 100000 &&
               size("whole.jpg") == 9000;
      },
      30000));
  child.kill();  // SIGKILL: nothing of the program runs any more
  ASSERT_TRUE(child.waitForFinished(10000));
  release_ = true;
  for (const char* name : {"1.jpg.log", "1 (2).jpg.log", "big.jpg.log"})
    EXPECT_TRUE(Exists(std::string("bin/batch/") + name)) << name;

  // The same list again, in a new window: the same names, every partial
  // file resumed from its size.
  CreateWindow();
  Form->FileName->setText("batch");
  Import(list);
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_EQ(Ranges("/k/1.jpg").back(), "bytes=20000-60000");
  EXPECT_EQ(Ranges("/m/1.jpg").back(), "bytes=7000-50000");
  EXPECT_EQ(Ranges("/k/big.jpg").back(), "bytes=100000-300000");
  EXPECT_TRUE(SavedWhole("1.jpg", "/k/1.jpg"));
  EXPECT_TRUE(SavedWhole("1 (2).jpg", "/m/1.jpg"));
  EXPECT_TRUE(SavedWhole("whole.jpg", "/k/whole.jpg"));
  EXPECT_TRUE(SavedWhole("big.jpg", "/k/big.jpg"));
  EXPECT_EQ(BatchFiles(), (QStringList{"1 (2).jpg", "1.jpg", "big.jpg", "whole.jpg"}));
}

TEST_F(WholeRoad, ClosingTheWindowWithDownloadsRunningIsSafe) {
  images_["/g/slow.jpg"] = {PatternBytes(2000000, 10)};
  CreateWindow();
  QStringList many;
  for (int i = 0; i < 60; ++i) many << Url("/g/slow.jpg") + QString("?n=%1").arg(i);
  Form->Memo2->setPlainText(many.join('\n'));
  Form->Button5->click();
  Form->FileName->setText("batch");
  Form->Button14->click();
  DestroyWindow();  // no wait, no crash; the workers end on their own
  EXPECT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }, 30000));
}

TEST_F(WholeRoad, AReimportWhileABatchRunsSweepsItsDownloadsAndClaimsNothing) {
  images_["/slow/held.jpg"] = {PatternBytes(50000, 42), 200, kNone, 2000};
  CreateWindow();
  Form->FileName->setText("batch");
  Form->Timer_CheckDownFile->setInterval(10);
  Import({Url("/slow/held.jpg"), Url("/g/anim.gif")});
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return Saved("held.jpg").size() == 2000; }));
  // A new list while the first batch runs; its address is not started.
  Import({Url("/g/noextension")});
  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }));
  QTest::qWait(200);
  // The old downloads lost their sidecars although no longer listed, and no
  // message claimed that the new list was done.
  EXPECT_TRUE(SavedWhole("held.jpg", "/slow/held.jpg"));
  EXPECT_EQ(BatchFiles(), (QStringList{"anim.gif", "held.jpg"}));
  EXPECT_TRUE(Seam.Messages.isEmpty());
  EXPECT_TRUE(Form->Timer_CheckDownFile->isActive());
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_TRUE(SavedWhole("noextension", "/g/noextension"));
}

TEST_F(WholeRoad, AFileOfAnotherAddressIsNeverWrittenOver) {
  WriteFile("bin/batch/photo01.jpg", "someone else's photo");
  CreateWindow();
  Form->FileName->setText("batch");
  Import({Url("/g/photo01.jpg")});
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_EQ(Saved("photo01.jpg"), "someone else's photo");
  EXPECT_TRUE(SavedWhole("photo01 (2).jpg", "/g/photo01.jpg"));
  if (FileOriginOf(PathOf("bin/batch/photo01 (2).jpg")).empty())
    GTEST_SKIP() << "this file system keeps no origin";
  // The same address again writes over its own file.
  Import({Url("/g/photo01.jpg")});
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(BatchFiles(), (QStringList{"photo01 (2).jpg", "photo01.jpg"}));
  EXPECT_EQ(Queries("/g/photo01.jpg").size(), 2u);
}

TEST_F(WholeRoad, TheEndIsSeenAtOnceAndTheStatusBarFollowsTheBatch) {
  images_["/slow/held.jpg"] = {PatternBytes(50000, 43), 200, kNone, 2000};
  CreateWindow();
  Form->FileName->setText("batch");
  Form->Timer_CheckDownFile->setInterval(3600000);  // no tick comes by chance
  Import({Url("/g/anim.gif"), Url("/slow/held.jpg")});
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return Form->StatusText().startsWith("已完成 1/2 个, "); }));
  EXPECT_TRUE(Form->StatusText().endsWith(" MB/s, 失败 0")) << Form->StatusText().toStdString();
  EXPECT_EQ(Form->ListBox_Download->count(), 1);  // anim.gif left the list at its end
  EXPECT_FALSE(Form->Edit_DownLoadSize_A->text().isEmpty());

  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return Saved("held.jpg").size() == 50000; }));
  QElapsedTimer sinceTheLastFile;
  sinceTheLastFile.start();
  ASSERT_TRUE(WaitUntil([&] { return !Seam.Messages.isEmpty(); }, 5000));
  EXPECT_LT(sinceTheLastFile.elapsed(), 300);
  EXPECT_EQ(Seam.Messages, QStringList{kComplete});
  EXPECT_EQ(Form->StatusText(), "下载任务完成: 2 个图片, 0.1 MB");

  // A new import empties the progress boxes.
  Import({Url("/g/noextension")});
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "");
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "");
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 0);
}

TEST_F(WholeRoad, AThreadThatCannotStartFailsItsAddressAndTheBatchGoesOn) {
  CreateWindow();
  Form->FileName->setText("batch");
  Import({Url("/g/anim.gif"), Url("/g/noextension")});
  httpget::testing::FailThreadStarts(1);
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages, QStringList{FailureMessage(1)});
  ASSERT_EQ(ItemTexts(Form->ListBox_Download), QStringList{Url("/g/anim.gif")});
  EXPECT_TRUE(
      Form->ListBox_Download->item(0)->toolTip().contains("无法启动下载线程: "));
  EXPECT_TRUE(SavedWhole("noextension", "/g/noextension"));
  ASSERT_TRUE(StartAndWaitForTheEnd());
  EXPECT_EQ(Seam.Messages.back(), kComplete);
  EXPECT_TRUE(SavedWhole("anim.gif", "/g/anim.gif"));
}
