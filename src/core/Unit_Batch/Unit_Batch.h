// One batch of image downloads, as the window and pixvane-get both run it.
//
// Every address goes into its target file through a download component of
// its own, all started at once. The batch keeps each address's state (its
// target, its outcome and why it failed) in one place, and tells its driver
// of progress and of every end through callbacks. A component, and through
// it its worker, is released as soon as its download has ended; what stays
// of an address afterwards is its outcome. A download counts as done when
// the component says so and its file is there; its resume sidecar then
// goes, whether or not the driver still lists the address. A failed
// download keeps its partial file and sidecar for a later run.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class THTTPGet;

class TDownloadBatch : public QObject {
  Q_OBJECT

 public:
  enum class TState { Waiting, Running, Succeeded, Failed };

  // One address of the batch, by its target file.
  struct TDownload {
    QString Address;
    QString Target;
    std::string Encoding;  // of the page the address came from; empty for UTF-8
    TState State = TState::Waiting;
    QString Reason;          // why it failed
    bool Unchanged = false;  // done by a 304: the file there is the server's as it is
    qint64 Readed = 0;       // bytes of the file so far (its size once ended)
    qint64 Received = 0;     // bytes received in this run
  };

  // The counts of the batch as it stands.
  struct TTally {
    int Total = 0, Ended = 0, Succeeded = 0, Failed = 0;
    qint64 Bytes = 0;     // bytes of the files so far
    qint64 Received = 0;  // bytes received since the batch began
    double Seconds = 0;   // since the batch began
  };

  explicit TDownloadBatch(QObject* parent = nullptr);
  // Components still running are cancelled; their workers end on their own.
  ~TDownloadBatch() override;

  // Adds an address to download into target, waiting for StartAll. False
  // (and nothing added) when a download of that target is already known:
  // no two workers ever write one file.
  bool Add(const QString& address, const QString& target, const std::string& encoding = {});
  // Marks a waiting or ended address failed with the reason (a plan that
  // cannot be carried out, a file found gone afterwards).
  void Fail(const QString& target, const QString& reason);
  // Starts every waiting download, in the order added. beforeEach runs
  // before each start (the window lets its events run there); whatever it
  // changes, every address waiting now is started once. An address whose
  // component cannot be started fails with the reason, and the rest go on.
  void StartAll(const std::function<void()>& beforeEach = {});
  // Drops every download that has ended; the counts begin again with what
  // is left.
  void ForgetEnded();

  const TDownload* Find(const QString& target) const;
  bool Known(const QString& target) const { return index_.contains(target); }
  // Downloads waiting or running.
  int Pending() const { return pending_; }
  TTally Tally() const;

  // Called for every progress report of a download, with the report's
  // announced size and bytes so far.
  std::function<void(const TDownload&, std::int32_t TotalSize, std::int32_t Readed)> OnProgress;
  // Called once for every download that ends, after its state is set.
  std::function<void(const TDownload&)> OnEnded;

 private:
  TDownload* Lookup(const QString& target);
  void Start(const QString& target);
  void Progressed(const QString& target, QObject* sender, std::int32_t total, std::int32_t readed);
  void Ended(const QString& target, bool succeeded, const QString& reason);

  std::vector<TDownload> downloads_;
  QHash<QString, std::size_t> index_;  // target -> position in downloads_
  int pending_ = 0;
  QElapsedTimer clock_;  // since a start found nothing running
};
