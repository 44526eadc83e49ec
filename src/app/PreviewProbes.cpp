#include "PreviewProbes.h"

#include <QMetaObject>
#include <QPixmap>
#include <QSet>

#include "Inet.h"

TPreviewProbes::TPreviewProbes(QObject* parent) : QObject(parent) {
  // As many probes at once as one server takes connections: more would only
  // wait in its line, and a page's images mostly come from one server.
  pool_.setMaxThreadCount(inet::kMaxConnectionsPerServer);
}

TPreviewProbes::~TPreviewProbes() {
  Want({});
  pool_.clear();
  pool_.waitForDone();
}

void TPreviewProbes::Want(const QStringList& wanted) {
  const QSet<QString> keep(wanted.cbegin(), wanted.cend());
  for (auto it = running_.begin(); it != running_.end();) {
    if (keep.contains(it.key())) {
      ++it;
    } else {
      it.value()->store(true);
      it = running_.erase(it);
    }
  }
  for (const QString& address : wanted)
    if (!answers_.contains(address) && !running_.contains(address)) Start(address);
}

const TPreviewAnswer* TPreviewProbes::Answer(const QString& address) const {
  const auto found = answers_.constFind(address);
  return found == answers_.cend() ? nullptr : &*found;
}

void TPreviewProbes::Start(const QString& address) {
  const auto stop = std::make_shared<std::atomic<bool>>(false);
  running_.insert(address, stop);
  pool_.start([this, address, stop] {
    if (stop->load()) return;  // stopped while it waited for a thread
    const TImageProbe answer = ProbeImage(address.toStdString(), kThumbnailSide, stop.get());
    // The destructor waits for this thread, so this object is still there.
    QMetaObject::invokeMethod(
        this, [this, address, stop, answer] { Finished(address, stop, answer); },
        Qt::QueuedConnection);
  });
}

void TPreviewProbes::Finished(const QString& address, const TStopFlag& stop,
                              const TImageProbe& answer) {
  // A stopped probe's answer says nothing of the image; a probe started
  // again since then has a flag of its own.
  if (stop->load()) return;
  running_.remove(address);
  TPreviewAnswer shown{answer, QIcon()};
  if (!answer.Thumbnail.isNull()) shown.Icon = QIcon(QPixmap::fromImage(answer.Thumbnail));
  shown.Probe.Thumbnail = QImage();
  answers_.insert(address, shown);
  emit Answered(address);
}
