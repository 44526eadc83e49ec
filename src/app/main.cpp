// Program entry: one instance per user session, then the main window.
#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "Inet.h"
#include "ProcessLimits.h"
#include "Seam.h"
#include "SingleInstance.h"
#include "Unit1.h"

int main(int argc, char** argv) {
  // A second start ends at once, silently, before any window exists. When no
  // lock can be made at all, the program still starts, without the guard.
  TSingleInstanceGuard guard;
  switch (guard.Acquire("Pixvane")) {
    case TSingleInstanceGuard::Result::Acquired:
      break;
    case TSingleInstanceGuard::Result::AlreadyRunning:
      return 0;
    case TSingleInstanceGuard::Result::Failed:
      std::fprintf(stderr, "pixvane: no single-instance lock (%s); starting without it\n",
                   guard.FailureReason().c_str());
      break;
  }

  // A batch holds a file and a sidecar per running download.
  RaiseOpenFileLimit();
  // The internet client is set up once, before any download thread starts.
  inet::GlobalInit();
  QApplication app(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationDisplayName(QString());
  TForm1 form;
  // Centred on the desktop.
  if (const QScreen* screen = form.screen()) {
    QRect frame = form.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    form.move(frame.topLeft());
  }
  form.show();
  return app.exec();
}
