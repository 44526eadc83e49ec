// The preview's probes: one per address, run on a small pool of threads so
// that the window never waits, remembered while the window is open.
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <memory>

#include "Unit_ImageProbe.h"

// What the preview shows of one address: the probe's answer, its thumbnail
// as the entry's icon (one copy, shared by every entry that shows it).
struct TPreviewAnswer {
  TImageProbe Probe;  // without its thumbnail
  QIcon Icon;         // null when nothing decoded
};

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
  const TPreviewAnswer* Answer(const QString& address) const;

 signals:
  // The answer for address has come (Answer gives it).
  void Answered(const QString& address);

 private:
  using TStopFlag = std::shared_ptr<std::atomic<bool>>;
  void Start(const QString& address);
  void Finished(const QString& address, const TStopFlag& stop, const TImageProbe& answer);

  QThreadPool pool_;
  QHash<QString, TPreviewAnswer> answers_;
  QHash<QString, TStopFlag> running_;
};
