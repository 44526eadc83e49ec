#include "BatchReport.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>
#include <cstdio>

#include "Console.h"

namespace {

// The live line is redrawn at most this often.
constexpr int kRedrawMs = 100;

QString OutcomeName(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Done:
      return QStringLiteral("done");
    case TOutcome::Unchanged:
      return QStringLiteral("unchanged");
    case TOutcome::Skipped:
      return QStringLiteral("skipped");
    case TOutcome::Failed:
      return QStringLiteral("failed");
    case TOutcome::Pending:
      break;
  }
  return QStringLiteral("pending");
}

}  // namespace

TBatchTally TallyOf(const std::vector<TBatchItem>& items) {
  TBatchTally tally;
  tally.Total = static_cast<int>(items.size());
  for (const TBatchItem& item : items) {
    tally.Received += item.Received;
    if (item.Outcome == TOutcome::Pending) {
      tally.Bytes += item.Readed;
      continue;
    }
    ++tally.Ended;
    tally.Bytes += item.Bytes;
    tally.Done += item.Outcome == TOutcome::Done ? 1 : 0;
    tally.Unchanged += item.Outcome == TOutcome::Unchanged ? 1 : 0;
    tally.Skipped += item.Outcome == TOutcome::Skipped ? 1 : 0;
    tally.Failed += item.Outcome == TOutcome::Failed ? 1 : 0;
  }
  return tally;
}

QString SizeText(qint64 bytes) {
  return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

TBatchDisplay::TBatchDisplay(const std::vector<TBatchItem>& items, bool json, bool quiet)
    : items_(items),
      live_(!quiet && isatty(fileno(stderr)) == 1),
      plain_(!quiet && !json && !live_) {
  clock_.start();
  if (!live_) return;
  redraw_.setInterval(kRedrawMs);
  redraw_.callOnTimeout([this] {
    if (dirty_) Draw();
  });
  redraw_.start();
  Draw();
}

void TBatchDisplay::Ended(const TBatchItem& item) {
  dirty_ = true;
  if (item.Outcome == TOutcome::Failed) {
    Error(QStringLiteral("failed %1: %2").arg(item.Address, item.Reason));
  } else if (plain_ && item.Outcome == TOutcome::Skipped) {
    PrintLine(QStringLiteral("skipped %1: %2").arg(item.Address, item.Reason));
  } else if (plain_ && (item.Outcome == TOutcome::Done || item.Outcome == TOutcome::Unchanged)) {
    QString line =
        QStringLiteral("%1 %2 %3").arg(OutcomeName(item.Outcome), item.File).arg(item.Bytes);
    if (!item.Reason.isEmpty()) line += QStringLiteral(" (%1)").arg(item.Reason);
    PrintLine(line);
  }
}

void TBatchDisplay::Error(const QString& message) {
  Erase();
  PrintError(message);
  if (live_) Draw();
}

void TBatchDisplay::Finish() {
  redraw_.stop();
  if (live_) {
    Draw();
    PrintStatus(QStringLiteral("\n"));
    drawn_ = 0;
    return;
  }
  if (!plain_) return;
  const TBatchTally tally = TallyOf(items_);
  // "unchanged" is named only when a file was, so that the line of a first
  // run reads as it always has.
  const QString unchanged =
      tally.Unchanged > 0 ? QStringLiteral(", %1 unchanged").arg(tally.Unchanged) : QString();
  PrintLine(QStringLiteral("%1 files: %2 done%3, %4 skipped, %5 failed, %6")
                .arg(tally.Total)
                .arg(tally.Done)
                .arg(unchanged)
                .arg(tally.Skipped)
                .arg(tally.Failed)
                .arg(SizeText(tally.Bytes)));
}

QString TBatchDisplay::LiveLine() const {
  const TBatchTally tally = TallyOf(items_);
  const double seconds = static_cast<double>(std::max<qint64>(clock_.elapsed(), 1)) / 1000.0;
  const auto rate = static_cast<qint64>(static_cast<double>(tally.Received) / seconds);
  return QStringLiteral("%1/%2 files, %3, %4/s, %5 failed")
      .arg(tally.Ended)
      .arg(tally.Total)
      .arg(SizeText(tally.Bytes), SizeText(rate))
      .arg(tally.Failed);
}

void TBatchDisplay::Draw() {
  dirty_ = false;
  const QString line = LiveLine();
  // Blanks over what is left of a longer line before.
  const QString padding(std::max<qsizetype>(drawn_ - line.size(), 0), QLatin1Char(' '));
  PrintStatus(QLatin1Char('\r') + line + padding);
  drawn_ = line.size();
}

void TBatchDisplay::Erase() {
  if (drawn_ == 0) return;
  PrintStatus(QLatin1Char('\r') + QString(drawn_, QLatin1Char(' ')) + QLatin1Char('\r'));
  drawn_ = 0;
}

QByteArray JsonReport(const std::vector<TBatchItem>& items, const TGathered* gathered) {
  QJsonArray addresses;
  for (const TBatchItem& item : items)
    addresses.append(QJsonObject{{"address", item.Address},
                                 {"page", item.Page},
                                 {"file", item.File},
                                 {"bytes", item.Bytes},
                                 {"outcome", OutcomeName(item.Outcome)},
                                 {"reason", item.Reason}});
  TBatchTally tally = TallyOf(items);
  QJsonArray pages;
  if (gathered != nullptr) {
    for (const TRefusedLine& line : gathered->Refused)
      addresses.append(QJsonObject{{"address", line.Line},
                                   {"page", QString()},
                                   {"file", QString()},
                                   {"bytes", 0},
                                   {"outcome", OutcomeName(TOutcome::Failed)},
                                   {"reason", line.Reason}});
    tally.Total += static_cast<int>(gathered->Refused.size());
    tally.Failed += static_cast<int>(gathered->Refused.size());
    for (const TPageOutcome& page : gathered->Pages)
      pages.append(
          QJsonObject{{"page", page.Page},
                      {"outcome", OutcomeName(page.Came ? TOutcome::Done : TOutcome::Failed)},
                      {"reason", page.Reason},
                      {"addresses", page.Addresses}});
  }
  const QJsonObject report{{"addresses", addresses},       {"pages", pages},
                           {"total", tally.Total},         {"done", tally.Done},
                           {"unchanged", tally.Unchanged}, {"skipped", tally.Skipped},
                           {"failed", tally.Failed}};
  return QJsonDocument(report).toJson(QJsonDocument::Indented);
}
