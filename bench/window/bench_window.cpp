// Times the window's list commands on large lists, headless:
//   acquisition - a 20 MB page with 100,000 image tags (50,000 distinct
//                 addresses) served from 127.0.0.1, fetched, scanned, written
//                 to the raw-result memo and screened through a blacklist of
//                 1,000 entries into the pre-processing list (target < 2 s);
//   curation    - 100,000 addresses in the pre-processing list and 10,000
//                 blacklist entries: each type filter, the batch add to the
//                 processed list, deleting half of the items, and a save and
//                 load of the blacklist (target < 1 s each).
#include <httplib.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <thread>

#include "Inet.h"
#include "LocalServer.h"
#include "Seam.h"
#include "Unit1.h"

namespace {

// Prints the messages the window shows among the figures.
class TQuietSeam : public TSilentShellSeam {
 public:
  void MessageBox(QWidget*, const QString& text) override {
    std::printf("  (message: %s)\n", text.toUtf8().constData());
  }
  void ErrorBox(QWidget*, const QString& text) override {
    std::printf("  (error: %s)\n", text.toUtf8().constData());
  }
};

std::string MakePage(int tags, int distinct, std::size_t bytes) {
  std::string page;
  page.reserve(bytes + 4096);
  const std::size_t perTag = bytes / static_cast<std::size_t>(tags);
  for (int i = 0; i < tags; ++i) {
    const int n = static_cast<int>((static_cast<long long>(i) * 7919) % distinct);
    const std::size_t start = page.size();
    page += "<div class=\"item\"><img src=\"photos/p" + std::to_string(n) +
            (n % 3 ? ".jpg" : ".gif") + "\" alt=\"photo\"></div>\n";
    while (page.size() - start < perTag) page += "<span>filler text of the page</span>\n";
  }
  return page;
}

template <typename F>
double Seconds(F&& f) {
  QElapsedTimer t;
  t.start();
  f();
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

void Row(const char* what, double seconds, double target) {
  std::printf("  %-44s %8.3f s   (target < %.1f s) %s\n", what, seconds, target,
              seconds < target ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  inet::Library internetClient;
  QApplication app(argc, argv);
  QTemporaryDir sandbox;
  qputenv("XDG_DESKTOP_DIR", sandbox.path().toLocal8Bit());
  TQuietSeam seam;
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = sandbox.path() + "/pixvane";
  TForm1 form(options);

  // ---- progress display -------------------------------------------------
  // Every chunk of 1,025 bytes of every download is one progress event; six
  // downloads of 256 KB take turns.
  form.show();
  QApplication::processEvents();
  {
    const int events = 60000;
    const double s = Seconds([&] {
      for (int i = 0; i < events; ++i) {
        const int download = i % 6;
        const std::int32_t total = 262144 + download * 1000;
        form.HTTPGetProgress(nullptr, total, ((i / 6) * 1025) % total);
        if (i % 64 == 0) QApplication::processEvents();
      }
      QApplication::processEvents();
    });
    std::printf("progress display: %d events, %.1f us each\n", events, s / events * 1e6);
  }

  // ---- acquisition ----------------------------------------------------
  const std::string page = MakePage(100000, 50000, 20u << 20);
  testnet::LocalServer server;
  server->Get("/gallery/index.html", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/html");
  });
  if (!server.Start()) {
    std::fprintf(stderr, "bench_window: the local server on 127.0.0.1 did not start\n");
    return 1;
  }
  const int port = server.Port();
  const QString base = QStringLiteral("http://127.0.0.1:%1/gallery/").arg(port);
  QStringList blacklist;
  for (int i = 0; i < 1000; ++i)
    blacklist << base + QStringLiteral("photos/p%1.jpg").arg(i * 7 + 1);
  form.ListBox_imgheimingdan->addItems(blacklist);
  form.Url->setText(base + "index.html");

  std::printf("acquisition: %.1f MB page, 100,000 image tags, 50,000 distinct, 1,000 blacklisted\n",
              static_cast<double>(page.size()) / (1 << 20));
  for (int round = 1; round <= 3; ++round) {
    const double s = Seconds([&] { form.ButtonGetPicUrlListClick(form.ButtonGetPicUrlList); });
    char what[64];
    std::snprintf(what, sizeof what, "fetch + scan + lists, run %d (%d items)", round,
                  form.ListBox_imglist->count());
    Row(what, s, 2.0);
  }
  server.Stop();

  // ---- curation -------------------------------------------------------
  QStringList addresses;
  for (int i = 0; i < 100000; ++i)
    addresses << QStringLiteral("http://img.example.com/gallery/%1/photo_%2.%3")
                     .arg(i % 97)
                     .arg(i)
                     .arg(i % 5 == 0   ? "gif"
                          : i % 5 == 1 ? "JPG"
                          : i % 5 == 2 ? "jpeg"
                                       : "png");
  QStringList entries;
  for (int i = 0; i < 10000; ++i)
    entries << QStringLiteral("http://ads.example.com/banner/%1.gif").arg(i);

  std::printf("curation: 100,000 addresses, 10,000 blacklist entries\n");
  const auto refill = [&] {
    form.ListBox_imglist->clear();
    form.ListBox_imglist->addItems(addresses);
  };
  Row("fill the pre-processing list (setup)", Seconds(refill), 1.0);
  Row("全部 (Button6Click)", Seconds([&] { form.Button6Click(nullptr); }), 1.0);
  Row("gif (Button7Click)", Seconds([&] { form.Button7Click(nullptr); }), 1.0);
  Row("jpg (Button8Click)", Seconds([&] { form.Button8Click(nullptr); }), 1.0);
  Row("jpeg (Button9Click)", Seconds([&] { form.Button9Click(nullptr); }), 1.0);
  Row("png (Button10Click)", Seconds([&] { form.Button10Click(nullptr); }), 1.0);
  Row("bmp (Button11Click)", Seconds([&] { form.Button11Click(nullptr); }), 1.0);
  form.ComboBox_imgtype->setEditText("png");
  Row("其他 png (Button12Click)", Seconds([&] { form.Button12Click(nullptr); }), 1.0);
  for (int i = 0; i < form.ListBox_imglist->count(); i += 2)
    form.ListBox_imglist->item(i)->setSelected(true);
  Row("批量加入[已处理] half selected (N8Click)", Seconds([&] { form.N8Click(nullptr); }), 1.0);
  Row("删除 half selected (N1Click)", Seconds([&] { form.N1Click(nullptr); }), 1.0);
  form.ListBox_imgheimingdan->clear();
  form.ListBox_imgheimingdan->addItems(entries);
  Row("blacklist save, 10,000 entries", Seconds([&] { form.SaveBlacklist(); }), 1.0);
  Row("blacklist load, 10,000 entries", Seconds([&] { form.LoadBlacklist(); }), 1.0);
  std::printf("  (loaded %d entries back)\n", form.ListBox_imgheimingdan->count());
  return 0;
}
