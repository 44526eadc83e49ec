#include "HandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <semaphore>
#include <vector>

namespace handover {

namespace {

// The longest the user-interface thread runs hand-overs without returning
// to its event loop.
constexpr qint64 kSliceMs = 8;
// How long a pass waits for one more request before it ends.
constexpr std::chrono::microseconds kGather{200};
constexpr int kYields = 4;

// The event that asks the user-interface thread to run the waiting requests.
const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class Queue final : public QObject {
 public:
  Queue() : timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("handover"));
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, this, [this] {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        timerArmed_ = false;
      }
      Drain();
    });
  }

  // A worker's request. A pass waiting for the workers it has just served
  // is woken; otherwise the first request posts one event, unless a pass is
  // announced or running between its methods (it takes the request itself).
  void Run(const std::function<void()>& method) {
    Job job{&method, nullptr};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(&job);
      if (passWaits_) {
        arrived_.notify_one();
      } else if (!posted_ && !timerArmed_ && (depth_ == 0 || inMethods_)) {
        posted_ = true;
        QCoreApplication::postEvent(this, new QEvent(kDrainEvent));
      }
    }
    job.done.acquire();
    if (job.failure) std::rethrow_exception(job.failure);
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() != kDrainEvent) return QObject::event(e);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      posted_ = false;
    }
    Drain();
    return true;
  }

 private:
  struct Job {
    const std::function<void()>* method;
    std::exception_ptr failure;
    std::binary_semaphore done{0};
  };

  // One pass: runs every waiting request, then those that arrive meanwhile.
  // The workers just served come back within microseconds when their next
  // chunk is at hand, so the pass waits a little for them rather than go back
  // to the event loop and be woken again: what the window does once per pass
  // (layout, painting) is then done once for many chunks. After kSliceMs, or
  // when no request came within kGather, the pass ends; past the slice the
  // next one comes from a zero-time timer, so that input and paints come
  // between. A request arriving while a method runs posts the event, so that
  // a method running an event loop of its own (a dialog, a wait for another
  // download) still has the requests run there; when the pass has taken those
  // requests itself, the event is withdrawn unseen.
  void Drain() {
    QElapsedTimer slice;
    slice.start();
    bool ranOne = false;
    std::unique_lock<std::mutex> lock(mutex_);
    ++depth_;
    for (;;) {
      // The workers just served are running now: give them the processor
      // for a moment before sleeping.
      for (int i = 0; i < kYields && jobs_.empty() && ranOne; ++i) {
        lock.unlock();
        QThread::yieldCurrentThread();
        lock.lock();
      }
      if (jobs_.empty() && ranOne && slice.elapsed() < kSliceMs) {
        passWaits_ = true;
        arrived_.wait_for(lock, kGather, [this] { return !jobs_.empty(); });
        passWaits_ = false;
      }
      if (jobs_.empty()) break;
      if (ranOne && slice.elapsed() >= kSliceMs) {
        if (!timerArmed_ && !posted_) {
          timerArmed_ = true;
          timer_->start();
        }
        break;
      }
      std::vector<Job*> batch;
      batch.swap(jobs_);
      const bool outerMethods = inMethods_;
      inMethods_ = true;
      lock.unlock();
      for (Job* job : batch) {
        try {
          (*job->method)();
        } catch (...) {
          job->failure = std::current_exception();
        }
        job->done.release();
      }
      lock.lock();
      inMethods_ = outerMethods;
      ranOne = true;
    }
    if (posted_ && depth_ == 1 && jobs_.empty()) {
      QCoreApplication::removePostedEvents(this, kDrainEvent);
      posted_ = false;
    }
    --depth_;
  }

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Job*> jobs_;
  bool posted_ = false;      // a drain event waits in the event queue
  bool timerArmed_ = false;  // the next pass comes from the timer
  bool passWaits_ = false;   // a pass waits for the workers it served
  bool inMethods_ = false;   // a pass runs its methods
  int depth_ = 0;            // passes running, nested ones included
  QTimer* timer_;            // a child, so that it moves with the queue
};

// Created once on the user-interface thread and kept for the life of the
// process: a worker may still hand over while the program ends.
std::atomic<Queue*> gQueue{nullptr};

}  // namespace

void Prepare() {
  static std::once_flag once;
  std::call_once(once, [] {
    auto* queue = new Queue;
    if (QCoreApplication* app = QCoreApplication::instance()) queue->moveToThread(app->thread());
    gQueue = queue;
  });
}

void Run(const std::function<void()>& Method) {
  Queue* queue = gQueue.load();
  QCoreApplication* app = QCoreApplication::instance();
  if (queue == nullptr || app == nullptr || QThread::currentThread() == app->thread()) {
    Method();
    return;
  }
  queue->Run(Method);
}

}  // namespace handover
