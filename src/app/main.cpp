// Program entry: the command line, one instance per user session, then the
// main window.
#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "CommandLine.h"
#include "Inet.h"
#include "InstanceChannel.h"
#include "ProcessLimits.h"
#include "Seam.h"
#include "SingleInstance.h"
#include "Unit1.h"

namespace {

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

QStringList RawArguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

void Print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
}

// The second start: the running window comes to the front with the address.
int HandOver(const TSingleInstanceGuard& guard, const QString& address) {
  QString reason;
  if (TInstanceChannel::HandOver(QString::fromStdString(guard.ChannelPath()), address, reason))
    return kExitOk;
  Print(stderr,
        QStringLiteral("pixvane: already running, but it cannot be reached (%1)\n").arg(reason));
  return kExitFailed;
}

void CentreOnDesktop(TForm1& form) {
  if (const QScreen* screen = form.screen()) {
    QRect frame = form.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    form.move(frame.topLeft());
  }
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version print and end before anything needs a display.
  const TWindowCommandLine early = ParseWindowCommandLine(RawArguments(argc, argv));
  if (early.What == TWindowCommandLine::Action::Help ||
      early.What == TWindowCommandLine::Action::Version) {
    Print(stdout, early.Text.endsWith('\n') ? early.Text : early.Text + '\n');
    return kExitOk;
  }

  // The guard is taken before the toolkit starts: the toolkit may create a
  // missing runtime folder, which would move the lock away from where an
  // instance that started without one holds it.
  TSingleInstanceGuard guard;
  const TSingleInstanceGuard::Result instance = guard.Acquire("Pixvane");

  // A batch holds a file and a sidecar per running download.
  RaiseOpenFileLimit();
  // The internet client starts before any download thread and ends last,
  // ending whatever request is still under way as the program closes.
  inet::Library internetClient;
  QApplication app(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationDisplayName(QString());
  // The toolkit has taken its own options out of the arguments.
  const TWindowCommandLine command = ParseWindowCommandLine(QApplication::arguments());
  if (command.What != TWindowCommandLine::Action::Open) {
    Print(stderr, QStringLiteral("pixvane: %1 (see pixvane --help)\n").arg(command.Text));
    return kExitUsage;
  }

  // A second start opens no window: it hands its address to the running
  // one. When no lock can be made at all, the program still starts, without
  // the guard.
  TInstanceChannel channel;
  switch (instance) {
    case TSingleInstanceGuard::Result::Acquired:
      if (!channel.Listen(QString::fromStdString(guard.ChannelPath())))
        Print(stderr, QStringLiteral("pixvane: a second start cannot reach this window (%1)\n")
                          .arg(channel.Failure()));
      break;
    case TSingleInstanceGuard::Result::AlreadyRunning:
      return HandOver(guard, command.Address);
    case TSingleInstanceGuard::Result::Failed:
      std::fprintf(stderr, "pixvane: no single-instance lock (%s); starting without it\n",
                   guard.FailureReason().c_str());
      break;
  }

  TForm1Options options;
  options.Address = command.Address;
  TForm1 form(options);
  QObject::connect(&channel, &TInstanceChannel::Activated, &form, &TForm1::BringToFront);
  CentreOnDesktop(form);
  form.show();
  return app.exec();
}
