// The download page: import, batch start, progress, completion monitor and
// save folder, and the whole road of a batch against a local server.
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTest>
#include <mutex>

#include "HTTPGet.h"
#include "LocalServer.h"
#include "WindowFixture.h"

using testnet::LocalServer;
using testnet::PatternBytes;

namespace {

class DownloadPage : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    CreateWindow();
  }
  void SetDownloads(const QStringList& addresses) {
    Form->ListBox_Download->clear();
    Form->ListBox_Download->addItems(addresses);
  }
  QString Batch() const { return Form->SavePath->text() + Form->FileName->text(); }
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
  Form->FileName->setText("empty");
  Form->PageControl1->setCurrentWidget(Form->TabSheet5);
  Form->Button14->click();
  EXPECT_TRUE(QFileInfo(Batch()).isDir());
  EXPECT_EQ(Form->StatusText(), "请稍候正在批量下载图片...");
  ASSERT_TRUE(Form->Timer_CheckDownFile->isActive());
  Seam.OnMessage = [&](const QString&) {
    EXPECT_FALSE(Form->Timer_CheckDownFile->isActive());  // off before the message
  };
  ASSERT_TRUE(WaitUntil([&] { return !Seam.Messages.isEmpty(); }, 5000));
  EXPECT_EQ(Seam.Messages, QStringList{"下载任务完成"});
  EXPECT_EQ(Form->StatusText(), "...");
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet2);
}

TEST_F(DownloadPage, AnUnknownSizeShowsAnEmptyBar) {
  Form->HTTPGetProgress(nullptr, 0, 5000);
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 0);
  EXPECT_GT(Form->DownLoadProgressBar->maximum(), Form->DownLoadProgressBar->minimum());
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "4");
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "0");
  Form->HTTPGetProgress(nullptr, 1000, 1000);
  EXPECT_EQ(Form->DownLoadProgressBar->minimum(), 0);
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 1000);
}

TEST_F(DownloadPage, ProgressShowsWholeKilobytes) {
  Form->HTTPGetProgress(nullptr, 1500, 1023);
  EXPECT_EQ(Form->DownLoadProgressBar->maximum(), 1500);
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 1023);
  EXPECT_EQ(Form->Edit_DownLoadSize_A->text(), "0");
  EXPECT_EQ(Form->Edit_DownLoadSize_B->text(), "1");
  EXPECT_EQ(Form->StatusText(), "正在下载数据请稍候...1023");
}

TEST_F(DownloadPage, TargetPathsFollowTheTextsAndTheForceFlag) {
  Form->SavePath->setText("/data/img");  // no trailing "/": the name is glued on
  Form->FileName->setText("cats");
  EXPECT_EQ(Form->TargetPathOf("http://h/p/pic"), "/data/imgcats/pic");
  EXPECT_EQ(Form->TargetPathOf("http://h/p/"), "/data/imgcats/");
  EXPECT_EQ(Form->TargetPathOf("http://h/show.php?id=3"), "/data/imgcats/show.php?id=3");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  EXPECT_EQ(Form->TargetPathOf("http://h/p/pic"), "/data/imgcats/pic.jpg");
  EXPECT_EQ(Form->TargetPathOf("http://h/p/a.gif"), "/data/imgcats/a.gif.jpg");
}

TEST_F(DownloadPage, MonitorRemovesEveryFinishedAddressInOneTick) {
  Form->FileName->setText("set");
  QDir().mkpath(Batch());
  SetDownloads({"http://h/a.jpg", "http://h/b.jpg", "http://h/dir.jpg", "http://h/c.jpg"});
  WriteFile("bin/set/a.jpg", "A");
  WriteFile("bin/set/a.jpg.log", "stamp\r\n");
  WriteFile("bin/set/b.jpg", "B");
  QDir().mkpath(QString::fromStdString(PathOf("bin/set/dir.jpg")));  // a folder does not count
  Form->ListBox_Download->setCurrentRow(0);
  Seam.OpenedAddresses.clear();

  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(ItemTexts(Form->ListBox_Download), (QStringList{"http://h/dir.jpg", "http://h/c.jpg"}));
  EXPECT_FALSE(Exists("bin/set/a.jpg.log"));
  EXPECT_TRUE(Exists("bin/set/a.jpg"));
  EXPECT_TRUE(Seam.Messages.isEmpty());
  EXPECT_TRUE(Seam.OpenedAddresses.isEmpty());  // the monitor's removals open nothing

  // With the force flag the monitor looks for other names.
  WriteFile("bin/set/c.jpg", "C");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(Form->ListBox_Download->count(), 2);
  Form->CheckBox_QiangZhiXiaZai->setChecked(false);
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(ItemTexts(Form->ListBox_Download), QStringList{"http://h/dir.jpg"});
}

TEST_F(DownloadPage, SelectingAnAddressOpensIt) {
  Form->FileName->setText("set");
  SetDownloads({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"});
  Form->ListBox_Download->setCurrentRow(1);
  Form->ListBox_Download->setCurrentRow(0);
  EXPECT_EQ(Seam.OpenedAddresses, (QStringList{"http://h/b.jpg", "http://h/a.jpg"}));
  // The monitor takes the selected address away; a click on its neighbour
  // still opens the neighbour.
  WriteFile("bin/set/a.jpg", "A");
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  Form->ListBox_Download->setCurrentRow(0);
  EXPECT_EQ(Seam.OpenedAddresses.back(), "http://h/b.jpg");
  EXPECT_EQ(Seam.OpenedAddresses.size(), 3);
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

// Compares two bodies without printing them.
bool SameBytes(const std::string& saved, const std::string& served) {
  if (saved == served) return true;
  std::size_t at = 0;
  while (at < saved.size() && at < served.size() && saved[at] == served[at]) ++at;
  std::printf("saved %zu bytes, served %zu, first difference at %zu\n", saved.size(), served.size(),
              at);
  return false;
}

struct Image {
  std::string body;
  int status = 200;
  std::size_t cutAfter = std::string::npos;  // first answer drops the line here
};

class WholeRoad : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    images_["/g/photo01.jpg"] = {PatternBytes(40000, 1)};
    images_["/g/photo02.jpg"] = {PatternBytes(25000, 2)};
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
    server_->Get(R"(/g/[^/]+)",
                 [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
    ASSERT_TRUE(server_.Start());
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    std::string range;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::string query;
      for (const auto& [key, value] : req.params)
        query += (query.empty() ? "" : "&") + key + "=" + value;
      queries_[req.path].push_back(query);
      if (req.has_header("Range")) range = req.get_header_value("Range");
      ranges_[req.path].push_back(range);
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
    // A ranged request is answered by the server library itself (206 and
    // the asked part of the body).
    const bool cut = image.cutAfter != std::string::npos && cutsLeft_ > 0 && range.empty();
    if (cut) --cutsLeft_;
    const std::string body = image.body;
    const std::size_t stopAt = cut ? image.cutAfter : body.size();
    res.set_content_provider(
        body.size(), "image/jpeg",
        [body, stopAt](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          if (offset >= stopAt) return false;  // the line drops mid-body
          sink.write(body.data() + offset, std::min(length, stopAt - offset));
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

  LocalServer server_;
  std::map<std::string, Image> images_;
  std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> ranges_, queries_;
  int cutsLeft_ = 1;
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
  Form->Button14->click();
  EXPECT_TRUE(Form->Timer_CheckDownFile->isActive());

  // Everything but the 404 leaves the list; its address stays.
  ASSERT_TRUE(WaitUntil(
      [&] { return Form->ListBox_Download->count() == 1 && THTTPGetThread::LiveCount() == 0; },
      30000));
  EXPECT_EQ(ItemTexts(Form->ListBox_Download), QStringList{Url("/g/missing.jpg")});
  EXPECT_TRUE(Seam.Messages.isEmpty());
  EXPECT_TRUE(Form->StatusText().startsWith("正在下载数据请稍候..."));
  EXPECT_TRUE(SameBytes(Saved("photo01.jpg"), images_["/g/photo01.jpg"].body)) << "photo01.jpg";
  EXPECT_TRUE(SameBytes(Saved("photo02.jpg"), images_["/g/photo02.jpg"].body)) << "photo02.jpg";
  EXPECT_TRUE(SameBytes(Saved("anim.gif"), images_["/g/anim.gif"].body)) << "anim.gif";
  EXPECT_TRUE(SameBytes(Saved("buttonicon.png"), images_["/g/buttonicon.png"].body))
      << "buttonicon.png";
  EXPECT_TRUE(SameBytes(Saved("noextension"), images_["/g/noextension"].body)) << "noextension";
  EXPECT_TRUE(SameBytes(Saved("show.php?id=3"), images_["/g/show.php"].body)) << "show.php?id=3";
  for (int i = 0; i < 4; ++i) {
    const std::string name = "more" + std::to_string(i) + ".jpg";
    EXPECT_TRUE(SameBytes(Saved(name), images_["/g/" + name].body)) << name;
  }
  EXPECT_FALSE(Exists("bin/batch/missing.jpg"));
  EXPECT_FALSE(Exists("bin/batch/missing.jpg.log"));
  EXPECT_FALSE(Exists("bin/batch/listed.jpg"));
  const QStringList files =
      QDir(QString::fromStdString(PathOf("bin/batch"))).entryList(QDir::Files);
  for (const QString& f : files) EXPECT_FALSE(f.endsWith(".log")) << f.toStdString();

  // Every request carried the date tag; after a query it is one more parameter.
  const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
  EXPECT_EQ(Queries("/g/photo01.jpg"), std::vector<std::string>{today + "="});
  EXPECT_EQ(Queries("/g/show.php"), std::vector<std::string>{today + "=&id=3"});
  EXPECT_GE(ticks, 5) << "the window kept answering events";
}

TEST_F(WholeRoad, ForcedNamesAndAResumeAfterACutTransfer) {
  CreateWindow();
  Form->FileName->setText("batch");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  Form->Memo2->setPlainText(Url("/g/noextension") + "\n" + Url("/g/anim.gif") + "\n" +
                            Url("/g/big.jpg"));
  Form->Button5->click();
  Form->Button14->click();
  // The program is closed before the monitor looks: the cut transfer leaves
  // its partial file and sidecar behind.
  Form->Timer_CheckDownFile->stop();
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }, 20000));
  EXPECT_TRUE(SameBytes(Saved("noextension.jpg"), images_["/g/noextension"].body))
      << "noextension.jpg";
  EXPECT_TRUE(SameBytes(Saved("anim.gif.jpg"), images_["/g/anim.gif"].body)) << "anim.gif.jpg";
  const std::string partial = Saved("big.jpg.jpg");
  ASSERT_EQ(partial.size(), 120000u);
  ASSERT_TRUE(Exists("bin/batch/big.jpg.jpg.log"));
  DestroyWindow();

  // The next run asks only for the missing bytes and completes the file.
  CreateWindow();
  Form->FileName->setText("batch");
  Form->CheckBox_QiangZhiXiaZai->setChecked(true);
  Form->Memo2->setPlainText(Url("/g/big.jpg"));
  Form->Button5->click();
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return !Seam.Messages.isEmpty(); }, 20000));
  EXPECT_EQ(Seam.Messages, QStringList{"下载任务完成"});
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }, 20000));
  EXPECT_EQ(Ranges("/g/big.jpg"), (std::vector<std::string>{"", "", "bytes=120000-300000"}));
  EXPECT_TRUE(SameBytes(Saved("big.jpg.jpg"), images_["/g/big.jpg"].body)) << "big.jpg.jpg";
  EXPECT_FALSE(Exists("bin/batch/big.jpg.jpg.log"));
}

TEST_F(WholeRoad, NamesThatCannotBeWrittenStayInTheList) {
  const std::string longName = "/g/" + std::string(300, 'n') + ".jpg";  // too long for a file name
  images_[longName] = {PatternBytes(3000, 11)};
  CreateWindow();
  Form->Memo2->setPlainText(Url(longName) + "\n" + Url("/g/photo01.jpg") + "\n" + Url("/g/"));
  Form->Button5->click();
  Form->FileName->setText("outer/inner");  // one level only: "outer" does not exist
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }, 20000));
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(Form->ListBox_Download->count(), 3);
  EXPECT_FALSE(Exists("bin/outer"));
  Form->FileName->setText("batch");
  Form->Button14->click();
  ASSERT_TRUE(WaitUntil([&] { return THTTPGetThread::LiveCount() == 0; }, 20000));
  Form->Timer_CheckDownFileTimer(Form->Timer_CheckDownFile);
  EXPECT_EQ(ItemTexts(Form->ListBox_Download), (QStringList{Url(longName), Url("/g/")}));
  EXPECT_EQ(QDir(QString::fromStdString(PathOf("bin/batch"))).entryList(QDir::Files),
            QStringList{"photo01.jpg"});
  EXPECT_TRUE(Seam.Messages.isEmpty());
  EXPECT_TRUE(Seam.Errors.isEmpty());
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
