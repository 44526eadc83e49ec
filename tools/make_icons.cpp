// Makes the program's hicolor icons from the header artwork: a square cut
// of the banner scaled smoothly to each icon size.
//   pixvane_make_icons BANNER OUTDIR LEFT TOP SIDE
// writes OUTDIR/<N>x<N>/pixvane.png for every size; LEFT, TOP and SIDE place
// the square in the banner's pixels.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

int Fail(const QString& reason) {
  std::fprintf(stderr, "pixvane_make_icons: %s\n", qPrintable(reason));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 6) return Fail("usage: pixvane_make_icons BANNER OUTDIR LEFT TOP SIDE");
  QImageReader reader(args[1]);
  const QImage banner = reader.read();
  if (banner.isNull()) return Fail(args[1] + ": " + reader.errorString());
  bool ok[3] = {};
  const QRect cut(args[3].toInt(&ok[0]), args[4].toInt(&ok[1]), args[5].toInt(&ok[2]),
                  args[5].toInt());
  if (!ok[0] || !ok[1] || !ok[2] || cut.isEmpty() || !banner.rect().contains(cut))
    return Fail(QStringLiteral("the square must lie inside the %1x%2 banner")
                    .arg(banner.width())
                    .arg(banner.height()));
  const QImage square = banner.copy(cut).convertToFormat(QImage::Format_RGB32);
  for (const int size : kSizes) {
    const QString folder = QStringLiteral("%1/%2x%2").arg(args[2]).arg(size);
    if (!QDir().mkpath(folder)) return Fail("cannot make the folder " + folder);
    const QImage icon = square.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString path = folder + QStringLiteral("/pixvane.png");
    if (!icon.save(path, "PNG", 9)) return Fail("cannot write " + path);
  }
  return 0;
}
