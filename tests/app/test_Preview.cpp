// The preview page: each image of the processed list with its size and file
// size, learned from its first bytes; the size filter; the probes' cache and
// their stop when the list changes.
#include <QImageWriter>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <atomic>
#include <vector>

#include "ListText.h"
#include "LocalServer.h"
#include "TestImages.h"
#include "WindowFixture.h"

namespace {

using testimages::Encoded;
using testimages::Picture;

// Qt writes no GIF: a GIF89a header of width x height whose picture data
// ends at once, which is all the size is read from.
std::string GifOf(int width, int height) {
  std::string gif = "GIF89a";
  const auto word = [&gif](int v) {
    gif += static_cast<char>(v & 0xFF);
    gif += static_cast<char>(v >> 8);
  };
  word(width);
  word(height);
  gif += std::string("\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 9);  // two colours
  gif += ',';
  word(0);
  word(0);
  word(width);
  word(height);
  gif += std::string("\x00\x02\x01\x2C\x00\x3B", 6);  // clear, end, trailer
  return gif;
}

class Preview : public OpenWindowTest {
 protected:
  void Serve(const std::string& path, const std::string& bytes, const char* type) {
    server_->Get(path, [this, bytes, type](const httplib::Request&, httplib::Response& res) {
      ++requests_;
      res.set_content(bytes, type);
    });
  }
  void StartServer() {
    server_->Get("/missing.png", [this](const httplib::Request&, httplib::Response& res) {
      ++requests_;
      res.status = 404;
    });
    ASSERT_TRUE(server_.Start());
  }
  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }

  void ShowPreview(const QStringList& lines) {
    SetMemoLines(Form->Memo2, lines);
    Form->PageControl1->setCurrentWidget(Form->TabSheet_Preview);
  }
  // The entry's text, once its answer has come.
  QString Answered(int row) const {
    QListWidgetItem* item = Form->ListView_Preview->item(row);
    return item == nullptr || item->text() == "读取中..." ? QString() : item->text();
  }
  bool AllAnswered() const {
    for (int row = 0; row < Form->ListView_Preview->count(); ++row)
      if (Answered(row).isEmpty()) return false;
    return true;
  }

  testnet::LocalServer server_;
  std::atomic<int> requests_{0};
};

}  // namespace

TEST_F(Preview, ShowsTheSizeOfEveryFormatAndTheReasonOfAFailure) {
  ASSERT_TRUE(QImageWriter::supportedImageFormats().contains("webp"))
      << "the WebP reader comes with qt6-image-formats-plugins (scripts/deps)";
  const std::string large = Encoded(Picture(300, 200, true), "PNG");  // beyond the first range
  ASSERT_GT(large.size(), 65536u);
  const struct {
    std::string path, bytes;
    const char* type;
    QString size;
    bool thumbnail;
  } images[] = {
      {"/a.png", Encoded(Picture(40, 30), "PNG"), "image/png", "40×30", true},
      {"/b.jpg", Encoded(Picture(64, 48), "JPEG"), "image/jpeg", "64×48", true},
      {"/c.gif", GifOf(20, 10), "image/gif", "20×10", false},
      {"/d.webp", Encoded(Picture(33, 17), "WEBP"), "image/webp", "33×17", true},
      {"/large.png", large, "image/png", "300×200", false},
  };
  for (const auto& image : images) Serve(image.path, image.bytes, image.type);
  StartServer();
  QStringList lines;
  for (const auto& image : images) lines << Url(image.path);
  lines << Url("/missing.png");
  EXPECT_EQ(Form->Button_SizeFilter->text(), "按尺寸筛选");

  ShowPreview(lines);
  ASSERT_EQ(Form->ListView_Preview->count(), lines.size());
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(); }));
  for (int row = 0; row < 5; ++row) {
    const auto& image = images[row];
    const QStringList caption = Answered(row).split('\n');
    EXPECT_EQ(caption.value(0), image.size) << image.path;
    EXPECT_TRUE(caption.value(1).endsWith(" B") || caption.value(1).endsWith(" KB"))
        << image.path << " " << caption.value(1).toStdString();
    if (image.thumbnail) {
      EXPECT_FALSE(Form->ListView_Preview->item(row)->icon().isNull()) << image.path;
    }
  }
  // The large file's size is the whole file's, not the range's.
  EXPECT_EQ(Answered(4).split('\n').value(1),
            QStringLiteral("%1 KB").arg(large.size() / 1024.0, 0, 'f', 1));
  EXPECT_EQ(Answered(5), "服务器回答 404 Not Found");
}

TEST_F(Preview, SizeFilterTakesOutOnlyWhatIsKnownToBeSmaller) {
  Serve("/small.png", Encoded(Picture(20, 80), "PNG"), "image/png");
  Serve("/wide.png", Encoded(Picture(200, 40), "PNG"), "image/png");
  Serve("/big.png", Encoded(Picture(200, 100), "PNG"), "image/png");
  Serve("/page.html", "<html>no image</html>", "text/html");
  StartServer();
  const QStringList lines = {Url("/small.png"), Url("/wide.png"), Url("/big.png"),
                             Url("/page.html"), Url("/missing.png")};
  ShowPreview(lines);
  ASSERT_TRUE(WaitUntil([&] { return AllAnswered(); }));
  const int probed = requests_;
  EXPECT_EQ(probed, 5);

  Form->Edit_MinWidth->setText("100");
  Form->Edit_MinHeight->setText("50");
  Form->Button_SizeFilter->click();
  // Too narrow, too low: out. Unknown sizes stay.
  EXPECT_EQ(MemoLines(Form->Memo2),
            (QStringList{Url("/big.png"), Url("/page.html"), Url("/missing.png")}));
  EXPECT_EQ(Form->GroupBox4->title(), "[已处理]图片列表 共3张图片");
  ASSERT_TRUE(WaitUntil([&] { return Form->ListView_Preview->count() == 3 && AllAnswered(); }));

  // Shown again, nothing is asked twice while the window is open.
  Form->PageControl1->setCurrentWidget(Form->TabSheet2);
  Form->PageControl1->setCurrentWidget(Form->TabSheet_Preview);
  EXPECT_TRUE(AllAnswered());
  EXPECT_EQ(requests_, probed);
}

TEST_F(Preview, ProbesOfAddressesThatLeftTheListStop) {
  // Silent servers hold every thread of the probes until they stop.
  testnet::SilentListener silent;
  Serve("/a.png", Encoded(Picture(40, 30), "PNG"), "image/png");
  StartServer();
  QStringList lines;
  for (int i = 0; i < 6; ++i) lines << QString::fromStdString(silent.Url("/s" + std::to_string(i)));
  lines << Url("/a.png");
  ShowPreview(lines);
  ASSERT_FALSE(WaitUntil([&] { return !Answered(6).isEmpty(); }, 500));

  SetMemoLines(Form->Memo2, {lines[0], Url("/a.png")});
  ASSERT_TRUE(WaitUntil([&] { return Answered(1).startsWith("40×30"); }, 5000));
  EXPECT_TRUE(Answered(0).isEmpty());  // still waiting; the window's end stops it
}
