// What the road benchmarks measure around the real window: message boxes
// with the moment they came, the moment the last file of a batch was whole
// on disk (watched from a thread of its own), where the user-interface
// thread's time goes by kind of event, and CPU figures from getrusage.
#pragma once

#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <map>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Seam.h"

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// CPU seconds (user and system) of the calling thread.
inline double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ProcessUsage {
  double user = 0, system = 0;
  long switchesVoluntary = 0, switchesForced = 0;
};

inline ProcessUsage UsageNow() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw, usage.ru_nivcsw};
}

// Message boxes are recorded with the moment they were asked for.
class TimedSeam : public TSilentShellSeam {
 public:
  TimedSeam(SteadyClock::time_point* start, QString doneMessage)
      : start_(start), doneMessage_(std::move(doneMessage)) {}
  void MessageBox(QWidget*, const QString& text) override {
    Messages << text;
    if (text == doneMessage_ && !DoneAt) DoneAt = SecondsSince(*start_);
  }
  void ErrorBox(QWidget*, const QString& text) override { Errors << text; }

  QStringList Messages, Errors;
  std::optional<double> DoneAt;

 private:
  SteadyClock::time_point* start_;
  QString doneMessage_;
};

// Watches a batch's files from a thread of its own, so that the window's
// thread does no extra work: the moment the last one reached its full size.
// Files end roughly in list order, so each round looks at the first few
// still pending, and at all of them now and then.
class CompletionWatch {
 public:
  CompletionWatch(std::vector<std::string> files, std::size_t size, SteadyClock::time_point start,
                  double deadlineSeconds)
      : pending_(std::move(files)), size_(size), start_(start), deadline_(deadlineSeconds) {
    thread_ = std::thread([this] { Watch(); });
    pthread_setname_np(thread_.native_handle(), "road-watch");
  }
  ~CompletionWatch() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Seconds from the start to the last complete file; negative while not yet.
  double CompleteAt() const { return completeAt_; }

 private:
  void Watch() {
    const auto complete = [this](const std::string& path) {
      struct stat info {};
      return ::stat(path.c_str(), &info) == 0 && static_cast<std::size_t>(info.st_size) == size_;
    };
    for (long round = 0; !stop_ && SecondsSince(start_) < deadline_; ++round) {
      if (round % 50 == 0) {
        std::erase_if(pending_, complete);
      } else {
        const auto head = pending_.begin() + std::min<std::ptrdiff_t>(12, std::ssize(pending_));
        pending_.erase(std::remove_if(pending_.begin(), head, complete), head);
      }
      if (pending_.empty()) {
        completeAt_ = SecondsSince(start_);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::vector<std::string> pending_;
  const std::size_t size_;
  const SteadyClock::time_point start_;
  const double deadline_;
  std::atomic<bool> stop_{false};
  std::atomic<double> completeAt_{-1};
  std::thread thread_;
};

// Where the user-interface thread's time goes, by the kind of event it is
// handling (outermost events only; wall time on that thread):
//   hand-overs - events of the hand-over queue (the object named "handover",
//                or a timer whose parent is a plain QObject), which run the
//                workers' waiting requests, the progress handler among them;
//   repaints   - update requests, which paint the window into its backing store;
//   monitor    - timer events of the completion monitor;
//   other      - everything else (posted calls, the benchmark's own timers).
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;

  enum Kind { kHandOver, kRepaint, kMonitor, kOther, kKinds };
  struct Bucket {
    double seconds = 0;
    long long count = 0;
  };
  std::array<Bucket, kKinds> Buckets{};
  bool Measuring = false;
  // Paint events delivered while a hand-over pass runs: widgets that repaint
  // themselves at once rather than at the next update request.
  Bucket PaintsInHandOvers;
  // The other events by their type (QEvent::Type).
  std::map<int, Bucket> OtherByType;

  bool notify(QObject* receiver, QEvent* event) override {
    if (!Measuring || QThread::currentThread() != thread())
      return QApplication::notify(receiver, event);
    if (depth_ > 0) {
      if (outer_ != kHandOver || event->type() != QEvent::Paint)
        return QApplication::notify(receiver, event);
      const auto begin = SteadyClock::now();
      const bool result = QApplication::notify(receiver, event);
      PaintsInHandOvers.seconds +=
          std::chrono::duration<double>(SteadyClock::now() - begin).count();
      ++PaintsInHandOvers.count;
      return result;
    }
    const Kind kind = KindOf(receiver, event);
    const int type = event->type();
    ++depth_;
    outer_ = kind;
    const auto begin = SteadyClock::now();
    const bool result = QApplication::notify(receiver, event);
    const double spent = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    Buckets[kind].seconds += spent;
    ++Buckets[kind].count;
    if (kind == kOther) {
      OtherByType[type].seconds += spent;
      ++OtherByType[type].count;
    }
    --depth_;
    return result;
  }

 private:
  static Kind KindOf(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::UpdateRequest) return kRepaint;
    if (receiver->objectName() == QLatin1String("handover")) return kHandOver;
    if (event->type() == QEvent::Timer) {
      if (auto* timer = qobject_cast<QTimer*>(receiver); timer && timer->parent()) {
        if (timer->parent()->objectName() == QLatin1String("handover")) return kHandOver;
        const char* owner = timer->parent()->metaObject()->className();
        if (std::strcmp(owner, "QObject") == 0) return kHandOver;
        if (std::strcmp(owner, "TForm1") == 0) return kMonitor;
      }
    }
    return kOther;
  }

  int depth_ = 0;
  Kind outer_ = kOther;
};

}  // namespace bench
