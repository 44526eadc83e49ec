// Renders the main window headless into PNG files for the README:
//   screenshot <out-folder>
// writes acquisition.png (the first page after acquiring a page),
// downloads.png (the download page after a batch), blacklist.png and
// changelog.png. The page and its images are served from 127.0.0.1 by an
// in-process server, so the pictures show a real run of the program.
#include <httplib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <thread>

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

bool Grab(TForm1& form, QWidget* page, const QString& file) {
  form.PageControl1->setCurrentWidget(page);
  QApplication::processEvents();
  return form.grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  // A page with twelve images, one of them missing on the server.
  testnet::LocalServer server;
  std::string page;
  for (int i = 1; i <= 12; ++i)
    page += "<img src=\"photos/photo" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
            (i % 4 == 0 ? ".gif" : ".jpg") + "\">\n";
  server->Get("/gallery/index.html", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html");
  });
  server->Get(R"(/gallery/photos/(.*))", [](const httplib::Request& req, httplib::Response& res) {
    if (req.matches[1] == "photo07.jpg") {
      res.status = 404;
      return;
    }
    res.set_header("Last-Modified", "Wed, 27 Oct 2010 08:00:00 GMT");
    res.set_content(std::string(180000 + req.path.size() * 1000, 'x'), "image/jpeg");
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

  form.Button5->click();
  form.FileName->setText(QStringLiteral("猫的照片"));
  form.Button14->click();
  // The monitor stops by itself once every download has ended.
  Wait([&] { return !form.Timer_CheckDownFile->isActive(); }, 20000);
  QApplication::processEvents();
  ok = Grab(form, form.TabSheet5, out + "/downloads.png") && ok;
  ok = Grab(form, form.TabSheet3, out + "/blacklist.png") && ok;
  ok = Grab(form, form.TabSheet1, out + "/changelog.png") && ok;
  server.Stop();
  return ok ? 0 : 1;
}
