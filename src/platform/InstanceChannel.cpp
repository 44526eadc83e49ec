#include "InstanceChannel.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {

constexpr auto kStreamVersion = QDataStream::Qt_6_0;
// What the first instance answers once its window has taken the address.
const char kShown[] = "shown";
// An address is a line of a command line: anything longer is no address.
constexpr qint64 kMaxMessageBytes = 64 * 1024;
// A second start that connects and says nothing is dropped after this.
constexpr int kSilentPeerMs = 5000;

}  // namespace

TInstanceChannel::TInstanceChannel(QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &TInstanceChannel::Accept);
}

TInstanceChannel::~TInstanceChannel() = default;

bool TInstanceChannel::Listen(const QString& path) {
  QLocalServer::removeServer(path);
  if (server_->listen(path)) return true;
  failure_ = path + QStringLiteral(": ") + server_->errorString();
  return false;
}

void TInstanceChannel::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Take(socket); });
    QTimer::singleShot(kSilentPeerMs, socket, [socket] { socket->abort(); });
    Take(socket);  // what came with the connection
  }
}

void TInstanceChannel::Take(QLocalSocket* socket) {
  QDataStream in(socket);
  in.setVersion(kStreamVersion);
  in.startTransaction();
  QString address;
  in >> address;
  if (!in.commitTransaction()) {
    if (socket->bytesAvailable() > kMaxMessageBytes) socket->abort();
    return;
  }
  emit Activated(address);
  QDataStream out(socket);
  out.setVersion(kStreamVersion);
  out << QString::fromLatin1(kShown);
  socket->disconnectFromServer();  // after the answer has gone out
}

bool TInstanceChannel::HandOver(const QString& path, const QString& address, QString& reason,
                                int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  // The first instance may hold the lock and not listen yet: try again
  // until the deadline.
  for (;;) {
    socket.connectToServer(path);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) {
      reason = path + QStringLiteral(": ") + socket.errorString();
      return false;
    }
    QThread::msleep(50);
  }
  QDataStream out(&socket);
  out.setVersion(kStreamVersion);
  out << address;
  QDataStream in(&socket);
  in.setVersion(kStreamVersion);
  QString answer;
  while (true) {
    in.startTransaction();
    in >> answer;
    if (in.commitTransaction()) break;
    if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      reason = QStringLiteral("the running instance did not answer: ") + socket.errorString();
      return false;
    }
  }
  if (answer == QLatin1String(kShown)) return true;
  reason = QStringLiteral("the running instance answered: ") + answer;
  return false;
}
