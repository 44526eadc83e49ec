// How a batch shows itself: on a terminal one live progress line on standard
// error; otherwise one plain line per ended address on standard output and a
// summary; failures always as error lines. And the --json report.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <vector>

#include "BatchPlan.h"

// The counts of a batch as it stands.
struct TBatchTally {
  int Total = 0, Ended = 0, Done = 0, Unchanged = 0, Skipped = 0, Failed = 0;
  qint64 Bytes = 0;     // bytes of the files, as far as they are written
  qint64 Received = 0;  // bytes received in this run
};

TBatchTally TallyOf(const std::vector<TBatchItem>& items);

// "3.4 MB": a byte count as a person reads it.
QString SizeText(qint64 bytes);

class TBatchDisplay {
 public:
  // With json the report owns standard output: no plain lines there. With
  // quiet only errors are shown.
  TBatchDisplay(const std::vector<TBatchItem>& items, bool json, bool quiet);
  TBatchDisplay(const TBatchDisplay&) = delete;
  TBatchDisplay& operator=(const TBatchDisplay&) = delete;

  // A download reported progress: the live line is redrawn at its next turn.
  void Progressed() { dirty_ = true; }
  // An address has its outcome.
  void Ended(const TBatchItem& item);
  // One error line, above the live line.
  void Error(const QString& message);
  // The last state of the live line, or the summary line.
  void Finish();

 private:
  void Draw();
  void Erase();
  QString LiveLine() const;

  const std::vector<TBatchItem>& items_;
  bool live_ = false;   // a progress line on the terminal
  bool plain_ = false;  // plain lines on standard output
  bool dirty_ = false;
  qsizetype drawn_ = 0;  // characters of the line on the terminal now
  QElapsedTimer clock_;
  QTimer redraw_;
};

// The --json report: every address with its page, file, bytes, outcome and
// reason (the refused lines of an address file among them, failed), every
// page with its outcome, its reason and how many addresses it gave, and the
// counts.
QByteArray JsonReport(const std::vector<TBatchItem>& items, const TGathered* gathered = nullptr);
