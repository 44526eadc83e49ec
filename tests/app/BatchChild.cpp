// A test helper that runs one batch through the real window until it is
// killed: imports the addresses of LIST (one per line) and starts them into
// SAVEPATH + FOLDER, with nothing shown.
//
// Usage: test_batch_child SAVEPATH FOLDER LIST
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Inet.h"
#include "Seam.h"
#include "Unit1.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  inet::Library internetClient;
  QApplication app(argc, argv);
  QFile list(QString::fromLocal8Bit(argv[3]));
  if (!list.open(QIODevice::ReadOnly)) return 2;
  TSilentShellSeam seam;
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = QString::fromLocal8Bit(argv[1]) + QStringLiteral("pixvane");
  TForm1 form(options);
  form.SavePath->setText(QString::fromLocal8Bit(argv[1]));
  form.FileName->setText(QString::fromLocal8Bit(argv[2]));
  form.Memo2->setPlainText(QString::fromUtf8(list.readAll()));
  form.Button5->click();
  form.Button14->click();
  return QApplication::exec();
}
