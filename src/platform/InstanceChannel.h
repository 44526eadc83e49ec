// The running instance's local socket: a second start of the program hands
// its page address (possibly empty) to the first through it, and the first
// comes to the front. The socket lives beside the single-instance lock
// (TSingleInstanceGuard::ChannelPath), in a folder only the user may enter,
// and is itself open to the user alone.
//
// One exchange: the second start sends the address as one QDataStream
// string; the first answers with one string, "shown", once its window has
// taken the address.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

class TInstanceChannel : public QObject {
  Q_OBJECT

 public:
  explicit TInstanceChannel(QObject* parent = nullptr);
  ~TInstanceChannel() override;

  // Listens at path. A socket file left there by an instance that died goes
  // first: only the holder of the lock listens. False with Failure() set
  // when it cannot listen.
  bool Listen(const QString& path);
  const QString& Failure() const { return failure_; }

  // The second start's side: hands address to the instance listening at
  // path and waits for its answer. False with reason set when no instance
  // answered within timeoutMs.
  static bool HandOver(const QString& path, const QString& address, QString& reason,
                       int timeoutMs = 3000);

 signals:
  // A second start asked to show the window, with its address (empty: none).
  void Activated(const QString& address);

 private:
  void Accept();
  void Take(QLocalSocket* socket);

  QLocalServer* server_;
  QString failure_;
};
