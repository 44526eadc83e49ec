// Renders the main window headless into PNG files for the README:
//   screenshot <out-folder>
// writes acquisition.png (the first page after acquiring a page),
// preview.png (the preview page with each image's size), progress.png (the
// download page while the batch runs, its progress in the status bar),
// downloads.png (the download page after a batch), blacklist.png and
// changelog.png. The page and its images are served from 127.0.0.1 by an
// in-process server, so the pictures show a real run of the program.
#include <httplib.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "Inet.h"
#include "LocalServer.h"
#include "Seam.h"
#include "Unit1.h"

namespace {

template <typename Pred>
bool Wait(Pred pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return pred();
}

// A photo-like picture of the given size, as JPEG.
std::string Photo(int width, int height, int hue) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0, QColor::fromHsv(hue, 160, 240));
  gradient.setColorAt(1, QColor::fromHsv((hue + 60) % 360, 200, 90));
  painter.fillRect(image.rect(), gradient);
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 95);
  return bytes.toStdString();
}

bool Grab(TForm1& form, QWidget* page, const QString& file) {
  form.PageControl1->setCurrentWidget(page);
  QApplication::processEvents();
  return form.grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  inet::Library internetClient;
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  // A page with twelve images of different sizes, one of them missing on
  // the server.
  testnet::LocalServer server;
  std::string page;
  std::map<std::string, std::string> photos;
  const int sizes[][2] = {{1920, 1080}, {640, 480},   {1024, 768}, {320, 240},
                          {1600, 1200}, {800, 800},   {0, 0},      {1280, 720},
                          {480, 640},   {2048, 1365}, {160, 120},  {1024, 1024}};
  for (int i = 1; i <= 12; ++i) {
    const std::string name = "photo" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                             (i % 4 == 0 ? ".gif" : ".jpg");
    page += "<img src=\"photos/" + name + "\">\n";
    if (sizes[i - 1][0] > 0) photos[name] = Photo(sizes[i - 1][0], sizes[i - 1][1], i * 29);
  }
  server->Get("/gallery/index.html", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html");
  });
  // The preview's probes (ranged) are answered at once; the downloads come
  // slowly, so that the batch can be seen running.
  server->Get(R"(/gallery/photos/(.*))", [&](const httplib::Request& req, httplib::Response& res) {
    const auto found = photos.find(req.matches[1]);
    if (found == photos.end()) {
      res.status = 404;
      return;
    }
    res.set_header("Last-Modified", "Wed, 27 Oct 2010 08:00:00 GMT");
    if (req.has_header("Range")) {
      res.set_content(found->second, "image/jpeg");
      return;
    }
    const std::string& body = found->second;
    res.set_content_provider(body.size(), "image/jpeg",
                             [&body](size_t offset, size_t length, httplib::DataSink& sink) {
                               std::this_thread::sleep_for(std::chrono::milliseconds(40));
                               sink.write(body.data() + offset, std::min<size_t>(length, 4096));
                               return true;
                             });
  });
  if (!server.Start()) {
    std::fprintf(stderr, "pixvane_screenshot: the local server on 127.0.0.1 did not start\n");
    return 1;
  }
  const int port = server.Port();

  // The program lives in a throw-away folder; its launcher goes there too.
  QTemporaryDir home;
  qputenv("XDG_DESKTOP_DIR", home.path().toLocal8Bit());
  TSilentShellSeam seam;
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = home.path() + "/pixvane";
  TForm1 form(options);
  form.show();

  const QString base = QStringLiteral("http://127.0.0.1:%1/gallery/").arg(port);
  form.ListBox_imgheimingdan->addItem(base + "photos/photo12.gif");
  form.Url->setText(base + "index.html");
  form.ButtonGetPicUrlList->click();
  form.Button8->click();  // jpg
  form.ListBox_imglist->item(1)->setSelected(true);
  form.ListBox_imglist->setCurrentRow(1);
  bool ok = Grab(form, form.TabSheet2, out + "/acquisition.png");

  // The preview probes by itself once shown; every entry gets its size or
  // its reason.
  form.PageControl1->setCurrentWidget(form.TabSheet_Preview);
  Wait(
      [&] {
        for (int i = 0; i < form.ListView_Preview->count(); ++i)
          if (form.ListView_Preview->item(i)->text() == QStringLiteral("读取中...")) return false;
        return form.ListView_Preview->count() > 0;
      },
      20000);
  Wait([] { return false; }, 300);  // a moment for the thumbnails to paint
  QApplication::processEvents();
  form.ListView_Preview->verticalScrollBar()->setValue(0);
  ok = Grab(form, form.TabSheet_Preview, out + "/preview.png") && ok;

  form.Button5->click();
  form.FileName->setText(QStringLiteral("猫的照片"));
  form.Button14->click();
  // Midway: some images done, the rest still coming.
  Wait(
      [&] {
        const QString status = form.StatusText();
        return status.startsWith(QStringLiteral("已完成 ")) &&
               !status.startsWith(QStringLiteral("已完成 0/")) &&
               !status.startsWith(QStringLiteral("已完成 1/"));
      },
      20000);
  ok = Grab(form, form.TabSheet5, out + "/progress.png") && ok;
  // The monitor stops by itself once every download has ended.
  Wait([&] { return !form.Timer_CheckDownFile->isActive(); }, 20000);
  QApplication::processEvents();
  ok = Grab(form, form.TabSheet5, out + "/downloads.png") && ok;
  ok = Grab(form, form.TabSheet3, out + "/blacklist.png") && ok;
  ok = Grab(form, form.TabSheet1, out + "/changelog.png") && ok;
  server.Stop();
  return ok ? 0 : 1;
}
