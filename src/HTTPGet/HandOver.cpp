#include "HandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <exception>
#include <mutex>
#include <semaphore>
#include <vector>

namespace handover {

namespace {

// The longest the user-interface thread runs hand-overs without returning
// to its event loop.
constexpr qint64 kSliceMs = 8;

class Queue final : public QObject {
 public:
  Queue() : timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { Drain(); });
  }

  void Run(const std::function<void()>& method) {
    Job job{&method, nullptr};
    bool arm = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(&job);
      arm = !armed_;
      armed_ = true;
    }
    // The batch runs from the timer, that is after the posted events of this
    // pass; arming it is the only posted event per batch.
    if (arm)
      QMetaObject::invokeMethod(
          this, [this] { timer_->start(); }, Qt::QueuedConnection);
    job.done.acquire();
    if (job.failure) std::rethrow_exception(job.failure);
  }

 private:
  struct Job {
    const std::function<void()>* method;
    std::exception_ptr failure;
    std::binary_semaphore done{0};
  };

  // Runs the waiting requests, and those that arrive meanwhile, for up to
  // kSliceMs; what is left waits for the next pass of the event loop. While a
  // batch runs, new requests arm the timer again, so a request made while a
  // method runs a nested event loop is still taken up there.
  void Drain() {
    QElapsedTimer slice;
    slice.start();
    bool ranOne = false;
    for (;;) {
      std::vector<Job*> batch;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (jobs_.empty()) {
          armed_ = false;
          return;
        }
        if (ranOne && slice.elapsed() >= kSliceMs) {
          if (!armed_) {
            armed_ = true;
            timer_->start();
          }
          return;
        }
        batch.swap(jobs_);
        armed_ = false;
      }
      for (Job* job : batch) {
        try {
          (*job->method)();
        } catch (...) {
          job->failure = std::current_exception();
        }
        job->done.release();
      }
      ranOne = true;
    }
  }

  std::mutex mutex_;
  std::vector<Job*> jobs_;
  bool armed_ = false;
  QTimer* timer_;  // a child, so that it moves with the queue
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
