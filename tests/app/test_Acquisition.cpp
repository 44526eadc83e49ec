// Batch acquisition from a page served on 127.0.0.1, the clipboard sniffer of
// the manual mode, and the paste button.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

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

class Acquisition : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    server_->Get("/dir/page.htm", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(TwelveImagePage(), "text/html");
    });
    server_->Get("/gbk.htm", [](const httplib::Request&, httplib::Response& res) {
      // "中文" in GBK: bytes that are not UTF-8.
      res.set_content("<img src='\xD6\xD0\xCE\xC4/pic.gif'>", "text/html");
    });
    ASSERT_TRUE(server_.Start());
    CreateWindow();
  }

  QString PageUrl() const { return QString::fromStdString(server_.Url("/dir/page.htm")); }
  QString Photo(int i) const {
    return QString::fromStdString(server_.Url("/dir/pics/photo")) +
           QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
  }

  testnet::LocalServer server_;
};

}  // namespace

TEST_F(Acquisition, FillsTheListWithoutBlacklistedAddresses) {
  Form->ListBox_imgheimingdan->addItems({Photo(2), Photo(5), Photo(9).toUpper()});
  Form->Url->setText(PageUrl());
  Form->ButtonGetPicUrlList->click();

  EXPECT_EQ(Form->StatusText(), "读取完成. 连接总数: 12");
  EXPECT_EQ(MemoLines(Form->Memo1).size(), 12);
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
  Form->Url->setText(PageUrl());
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

TEST_F(Acquisition, AnAddressThatCannotBeFetchedGivesAnEmptyList) {
  Form->ListBox_imglist->addItem("http://kept.example/a.jpg");
  Form->Url->setText("HTTP://");  // not the preset: it is fetched, and yields nothing
  Form->ButtonGetPicUrlList->click();
  EXPECT_EQ(Form->StatusText(), "读取完成. 连接总数: 0");
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
  EXPECT_TRUE(Seam.Messages.isEmpty());
}

TEST_F(Acquisition, AddressesOfAGbkPageEnterTheListsAsUtf8) {
  Form->Url->setText(QString::fromStdString(server_.Url("/gbk.htm")));
  Form->ButtonGetPicUrlList->click();
  ASSERT_EQ(Form->ListBox_imglist->count(), 1);
  EXPECT_EQ(Form->ListBox_imglist->item(0)->text(),
            QString::fromStdString(server_.Url("/")) + "中文/pic.gif");
}

using ClipboardSniffer = WindowTest;

TEST_F(ClipboardSniffer, TakesCopiedAddressesInTheManualModeOnly) {
  CreateWindow();
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText("http://batch.example/ignored.jpg");  // batch mode: nothing
  Form->RadioButton2->setChecked(true);
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);  // switching picks nothing up

  Form->ListBox_imgheimingdan->addItem("http://black.example/listed.jpg");
  clipboard->setText("HTTP://CAPS.EXAMPLE/PIC.JPG");
  clipboard->setText("https://secure.example/p.png");
  clipboard->setText("http://caps.example/pic.JPG");  // already listed
  clipboard->setText("ftp://other.example/x.jpg");
  clipboard->setText("http://a.example/1.jpg\nhttp://a.example/2.jpg");
  clipboard->setText("http://black.example/listed.jpg");  // the sniffer ignores the blacklist
  clipboard->setText("http://");
  clipboard->clear();
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist),
            (QStringList{"http://caps.example/pic.jpg", "https://secure.example/p.png",
                         "http://a.example/1.jpg\nhttp://a.example/2.jpg",
                         "http://black.example/listed.jpg", "http://"}));

  // Gone with the window: a change after it is destroyed reaches nothing.
  DestroyWindow();
  clipboard->setText("http://after.example/x.jpg");
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
