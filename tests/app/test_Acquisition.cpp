// Batch acquisition from pages served on 127.0.0.1, the clipboard sniffer of
// the manual mode, and the paste button.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "DeepScanPages.h"
#include "HTTPGet.h"
#include "ListText.h"
#include "LocalServer.h"
#include "WindowFixture.h"

namespace {

// A page at /dir/page.htm with twelve image addresses.
std::string TwelveImagePage() {
  std::string page = "<html><body>";
  for (int i = 1; i <= 12; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "pics/photo%02d.jpg", i);
    page += std::string("<IMG SRC=\"") + name + "\" alt=x>\n";
  }
  return page + "</body></html>";
}

// Pages by their path (as the server decodes it) and content type; /broken/N
// answers with status N, /huge sends without end; every other path answers
// with a one-byte image. The raw request target of every request is recorded.
class Acquisition : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Serve("/dir/page.htm", TwelveImagePage());
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      targets_.push_back(req.target);
      const auto page = pages_.find(req.path);
      if (req.path.starts_with("/broken/")) {
        res.status = std::stoi(req.path.substr(8));
        res.set_content("<img src='on/the/error/page.jpg'>", "text/html");
      } else if (req.path == "/huge") {
        res.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
          static const std::string block(1 << 16, 'x');
          return sink.is_writable() && sink.write(block.data(), block.size());
        });
      } else if (page == pages_.end()) {
        res.set_content("x", "image/gif");
      } else {
        res.set_content(page->second.first, page->second.second);
      }
    });
    ASSERT_TRUE(server_.Start());
    CreateWindow();
  }

  void Serve(const std::string& path, const std::string& body,
             const std::string& type = "text/html") {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_[path] = {body, type};
  }
  std::vector<std::string> Targets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return targets_;
  }
  void Acquire(const QString& pageUrl) {
    Form->Url->setText(pageUrl);
    Form->ButtonGetPicUrlList->click();
  }

  QString Site() const { return QString::fromStdString(server_.Url("/")); }
  QString Photo(int i) const {
    return Site() + QStringLiteral("dir/pics/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
  }

  testnet::LocalServer server_;
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> pages_;
  std::vector<std::string> targets_;
};

}  // namespace

TEST_F(Acquisition, FillsTheListWithoutBlacklistedAddresses) {
  Form->ListBox_imgheimingdan->addItems({Photo(2), Photo(5), Photo(9).toUpper()});
  Acquire(Site() + "dir/page.htm");

  EXPECT_EQ(Form->StatusText(), "读取完成. 连接总数: 12");
  EXPECT_EQ(Form->RawLinks.size(), 12);
  const QStringList items = ItemTexts(Form->ListBox_imglist);
  ASSERT_EQ(items.size(), 9);
  EXPECT_EQ(items.front(), Photo(1));
  EXPECT_FALSE(items.contains(Photo(9)));  // blacklisted in capitals

  // A second run rebuilds the list; it does not grow.
  Form->ListBox_imglist->addItem("http://sniffed.example/extra.png");
  Form->ButtonGetPicUrlList->click();
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), items);
  EXPECT_TRUE(Seam.Messages.isEmpty());
}

TEST_F(Acquisition, RefusesTheManualModeAndAMissingAddress) {
  Form->ListBox_imglist->addItem("http://kept.example/a.jpg");
  Form->SetStatusText("before");
  Form->RadioButton2->setChecked(true);
  Form->Url->setText(Site() + "dir/page.htm");
  Form->ButtonGetPicUrlList->click();
  Form->RadioButton1->setChecked(true);
  Form->Url->setText("");
  Form->ButtonGetPicUrlList->click();
  Form->Url->setText("http://");
  Form->ButtonGetPicUrlList->click();
  EXPECT_EQ(Seam.Messages, (QStringList{"请选中批量模式.", "请填写网络链接.", "请填写网络链接."}));
  EXPECT_EQ(Form->StatusText(), "before");
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), QStringList{"http://kept.example/a.jpg"});
}

// A page that does not come says why, in the status bar and in a message,
// and leaves every list as it was.
TEST_F(Acquisition, APageThatCannotBeFetchedSaysWhyAndKeepsTheLists) {
  Acquire(Site() + "dir/page.htm");
  const QStringList listed = ItemTexts(Form->ListBox_imglist);
  const std::pair<QString, QString> cases[] = {
      {Site() + "broken/404", "网页读取失败: 服务器回答 404 Not Found"},
      {Site() + "broken/500", "网页读取失败: 服务器回答 500 Internal Server Error"},
      {Site() + "huge", "网页读取失败: 网页超过 64 MB"},
      {"HTTP://", "网页读取失败: "},  // not the preset: it is fetched, and fails
  };
  for (const auto& [page, failure] : cases) {
    Seam.Messages.clear();
    Acquire(page);
    EXPECT_TRUE(Form->StatusText().startsWith(failure)) << Form->StatusText().toStdString();
    EXPECT_EQ(Seam.Messages, QStringList{Form->StatusText()});
    EXPECT_EQ(ItemTexts(Form->ListBox_imglist), listed);
    EXPECT_EQ(Form->RawLinks.size(), 12);
  }
}

TEST_F(Acquisition, ListAndCountHoldTheExtractorsEntriesExactly) {
  const std::string longPath = "pics/" + std::string(5000, 'q') + ".jpg";
  Serve("/exact.htm",
        "<img src='pics/No\u00A0Break.jpg'><img src='pics/Line\u2028Break.jpg'>"
        "<img src='pics/Para\u2029Break.JPG'><img src='" +
            longPath + "'>");
  Acquire(Site() + "exact.htm");

  const QStringList entries = {
      Site() + "pics/No\u00A0Break.jpg", Site() + "pics/Line\u2028Break.jpg",
      Site() + "pics/Para\u2029Break.JPG", Site() + QString::fromStdString(longPath)};
  EXPECT_EQ(Form->RawLinks, entries);
  EXPECT_EQ(Form->StatusText(), "读取完成. 连接总数: 4");
  const QStringList items = ItemTexts(Form->ListBox_imglist);
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items.mid(0, 3), entries.mid(0, 3));
  EXPECT_EQ(items[3], entries[3].left(4096));  // a list line holds 4096 bytes
}

TEST_F(Acquisition, RequestsReachTheServerAsTheBytesABrowserSends) {
  // A GBK page without a declared charset: "中文" (D6 D0 CE C4) is not UTF-8,
  // "模" (C4 A3) happens to be, the page as a whole is read as GBK; FF does
  // not decode and stays %FF. A UTF-8 page declared in its header.
  Serve("/图库/gbk.htm",
        "<img src='\xD6\xD0\xCE\xC4/pic.gif'><IMG SRC=\"\xC4\xA3/Mixed.GIF\">"
        "<img src='odd\xFF/z.gif'><img src='show.asp?name=\xD6\xD0\xCE\xC4.jpg'>");
  Serve("/图库/utf8.htm", "<img src='图片/Photo.JPG'><img src=\"/Images/Logo.GIF\">",
        "text/html; charset=utf-8");

  const QString gallery = Site() + "图库/";
  Acquire(gallery + "gbk.htm");
  QStringList shown = ItemTexts(Form->ListBox_imglist);
  Acquire(gallery + "utf8.htm");
  shown += ItemTexts(Form->ListBox_imglist);
  EXPECT_EQ(shown, (QStringList{gallery + "中文/pic.gif", gallery + "模/Mixed.GIF",
                                gallery + "odd%FF/z.gif", gallery + "show.asp?name=中文.jpg",
                                gallery + "图片/Photo.JPG", Site() + "Images/Logo.GIF"}));

  // The whole road: every address of both pages is downloaded.
  Form->Memo2->setPlainText(shown.join('\n'));
  Form->Button5->click();
  Form->FileName->setText("batch");
  Form->Button14->click();
  ASSERT_TRUE(
      WaitUntil([&] { return Targets().size() == 8 && THTTPGetThread::LiveCount() == 0; }, 20000));

  // The images come in any order, each with its date tag.
  // The query of the GBK page's address goes out in GBK, its path in UTF-8.
  std::set<std::string> paths;
  for (const std::string& target : Targets()) paths.insert(target.substr(0, target.find('?')));
  const std::string encoded = "/%E5%9B%BE%E5%BA%93/";  // "图库"
  const std::vector<std::string> targets = Targets();
  EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                          [&](const std::string& target) {
                            return target.starts_with(encoded + "show.asp?name=%D6%D0%CE%C4.jpg&");
                          }),
            1);
  EXPECT_EQ(Targets().front(), encoded + "gbk.htm");
  EXPECT_EQ(paths,
            (std::set<std::string>{encoded + "gbk.htm", encoded + "utf8.htm",
                                   encoded + "%E4%B8%AD%E6%96%87/pic.gif", encoded + "show.asp",
                                   encoded + "%E6%A8%A1/Mixed.GIF", encoded + "odd%FF/z.gif",
                                   encoded + "%E5%9B%BE%E7%89%87/Photo.JPG", "/Images/Logo.GIF"}));
}

TEST_F(Acquisition, ValuesResolveAsABrowserResolvesThem) {
  // On a secure page, "//" takes "https:" (shown with the extractor's tests).
  const std::string path150(150, 'r');
  Serve("/dir/rules.htm", "<img src='//cdn.example.org/a.jpg'><img src='/" + path150 +
                              "'><img src=/a/b/c.jpg alt=x><img src='img.php?u=http://x/y.jpg'>");
  Acquire(Site() + "dir/rules.htm");
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist),
            (QStringList{"http://cdn.example.org/a.jpg", Site() + QString::fromStdString(path150),
                         Site() + "a/b/c.jpg", Site() + "dir/img.php?u=http://x/y.jpg"}));
}

// ---- The deep scan ---------------------------------------------------------

TEST_F(Acquisition, TheDeepScanListsEachFixturePageExactly) {
  for (const deepscanpages::TPage& page : deepscanpages::Pages())
    Serve("/pages/" + page.Name.toStdString() + ".htm", page.Html);
  Form->CheckBox_DeepScan->click();
  std::string site = server_.Url("/");
  site.pop_back();
  for (const deepscanpages::TPage& page : deepscanpages::Pages()) {
    Acquire(Site() + "pages/" + page.Name + ".htm");
    QStringList expected;
    for (const std::string& address : page.ListFor(site))
      expected << QString::fromStdString(address);
    EXPECT_EQ(ItemTexts(Form->ListBox_imglist), expected) << page.Name.toStdString();
  }
  // Unticked, the scan reads the page as text again, script templates too.
  Form->CheckBox_DeepScan->click();
  Acquire(Site() + "pages/template.htm");
  EXPECT_TRUE(ItemTexts(Form->ListBox_imglist).contains(Site() + "tpl/never-2.jpg"));
  EXPECT_TRUE(Seam.Messages.isEmpty());
}

using DeepScanChoice = WindowTest;

TEST_F(DeepScanChoice, IsOffAtFirstAndRememberedAcrossStarts) {
  CreateWindow();
  Form->show();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Form->CheckBox_DeepScan->isChecked());
  EXPECT_FALSE(Form->CheckBox_DeepScan->toolTip().isEmpty());
  // Beside the two modes, covering none of the frame's controls.
  const QRect box = Form->CheckBox_DeepScan->geometry();
  EXPECT_EQ(Form->CheckBox_DeepScan->parentWidget(), Form->GroupBox2);
  for (QWidget* other :
       QList<QWidget*>{Form->RadioButton1, Form->Label1, Form->Url, Form->ButtonGetPicUrlList,
                       Form->Button16, Form->RadioButton2})
    EXPECT_FALSE(box.intersects(other->geometry())) << other->objectName().toStdString();
  Form->CheckBox_DeepScan->click();
  DestroyWindow();
  CreateWindow();
  EXPECT_TRUE(Form->CheckBox_DeepScan->isChecked());
  Form->CheckBox_DeepScan->click();
  DestroyWindow();
  CreateWindow();
  EXPECT_FALSE(Form->CheckBox_DeepScan->isChecked());
}

TEST_F(DeepScanChoice, ASettingsFileThatCannotBeUsedStopsNothing) {
  // The config folder is a file: nothing can be read or written there.
  WriteFile("config", "not a folder");
  CreateWindow();
  EXPECT_FALSE(Form->CheckBox_DeepScan->isChecked());
  Form->CheckBox_DeepScan->click();
  EXPECT_TRUE(Form->CheckBox_DeepScan->isChecked());
  EXPECT_TRUE(Form->StatusText().startsWith("设置无法保存: ")) << Form->StatusText().toStdString();
  Form->SetStatusText({});
  Seam.BrowseResult = QString::fromStdString(PathOf("pics"));
  Form->Button13->click();
  EXPECT_TRUE(Form->StatusText().startsWith("设置无法保存: ")) << Form->StatusText().toStdString();
  EXPECT_TRUE(Seam.Errors.isEmpty());
  // A file of garbage reads as the defaults.
  DestroyWindow();
  QFile::remove(QString::fromStdString(PathOf("config")));
  WriteFile("config/Pixvane/Pixvane.conf", std::string("\xFF\0[[[=\n", 8));
  CreateWindow();
  EXPECT_FALSE(Form->CheckBox_DeepScan->isChecked());
}

using ClipboardSniffer = WindowTest;

TEST_F(ClipboardSniffer, TakesEachCopiedAddressInTheManualModeOnly) {
  CreateWindow();
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText("http://batch.example/ignored.jpg");  // batch mode: nothing
  Form->RadioButton2->setChecked(true);
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);  // switching picks nothing up

  Form->ListBox_imgheimingdan->addItem("http://black.example/listed.jpg");
  clipboard->setText("HTTP://CAPS.EXAMPLE/Pic.JPG");
  clipboard->setText("https://secure.example/p.png");
  clipboard->setText("http://caps.example/pic.jpg");  // already listed
  clipboard->setText("ftp://other.example/x.jpg");
  clipboard->setText(
      "http://a.example/1.jpg\r\nnot an address\n  "
      "https://a.example/2.jpg\t\rHTTP://A.EXAMPLE/1.JPG");
  clipboard->setText("http://BLACK.example/listed.jpg");  // blacklisted
  clipboard->setText("http://");
  clipboard->clear();
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist),
            (QStringList{"HTTP://CAPS.EXAMPLE/Pic.JPG", "https://secure.example/p.png",
                         "http://a.example/1.jpg", "https://a.example/2.jpg"}));

  // Gone with the window: a change after it is destroyed reaches nothing.
  DestroyWindow();
  clipboard->setText("http://after.example/x.jpg");
}

TEST_F(ClipboardSniffer, TheTextCopiedBeforeTheStartIsNoNewCopy) {
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText("http://before.example/Start.jpg");
  CreateWindow();
  Form->RadioButton2->setChecked(true);
  Form->ClipboardChanged();  // a notification that still carries it
  clipboard->setText("http://before.example/Start.jpg");
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
  // Once the clipboard held something else, copying it again is a copy.
  clipboard->setText("http://other.example/a.jpg");
  clipboard->setText("http://before.example/Start.jpg");
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist),
            (QStringList{"http://other.example/a.jpg", "http://before.example/Start.jpg"}));
}

TEST_F(ClipboardSniffer, PasteReplacesTheAddressAndDoubleClickSelectsIt) {
  CreateWindow();
  QApplication::clipboard()->setText("http://pasted.example/page.htm");
  Form->Button16->click();
  EXPECT_EQ(Form->Url->text(), "http://pasted.example/page.htm");
  QApplication::clipboard()->clear();
  Form->Button16->click();
  EXPECT_EQ(Form->Url->text(), "");
  Form->Url->setText("http://x.example/");
  Form->UrlDblClick(Form->Url);
  EXPECT_EQ(Form->Url->selectedText(), "http://x.example/");
}
