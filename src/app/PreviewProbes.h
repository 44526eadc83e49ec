// The preview's probes: one per address, run on a small pool of threads so
// that the window never waits, remembered while the window is open.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <memory>

#include "Unit_ImageProbe.h"

class TPreviewProbes : public QObject {
  Q_OBJECT

 public:
  // The side of the thumbnails, in pixels.
  static constexpr int kThumbnailSide = 96;

  explicit TPreviewProbes(QObject* parent = nullptr);
  // Stops every probe and waits for the pool's threads.
  ~TPreviewProbes() override;

  // Probes every address of wanted that has neither an answer nor a probe
  // running, in order; a running probe of an address not in wanted stops.
  void Want(const QStringList& wanted);
  // What was learned of address; null while nothing is.
  const TImageProbe* Answer(const QString& address) const;

 signals:
  // The answer for address has come (Answer gives it).
  void Answered(const QString& address);

 private:
  using TStopFlag = std::shared_ptr<std::atomic<bool>>;
  void Start(const QString& address);
  void Finished(const QString& address, const TStopFlag& stop, const TImageProbe& answer);

  QThreadPool pool_;
  QHash<QString, TImageProbe> answers_;
  QHash<QString, TStopFlag> running_;
};
