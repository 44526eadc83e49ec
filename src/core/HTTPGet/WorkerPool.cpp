#include "WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace workerpool {

namespace {

class Pool {
 public:
  void Submit(Job job) {
    std::vector<Job> refused;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const std::string server = job.server;
      Line& line = lines_[server];
      line.waiting.push_back(std::move(job));
      Admit(server, refused);
    }
    for (Job& job : refused) job.noThread();
  }

  int Alive() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  struct Line {
    int running = 0;  // admitted: on a thread or about to be
    std::deque<Job> waiting;
  };

  // Moves the jobs of the server's line that have a slot to the ready queue
  // and makes sure threads are there for them. Jobs that can get no thread
  // at all go to refused, to be told outside the lock.
  void Admit(const std::string& server, std::vector<Job>& refused) {
    auto it = lines_.find(server);
    if (it == lines_.end()) return;
    Line& line = it->second;
    while (!line.waiting.empty()) {
      // The slot count can change (a server found to speak HTTP/2); it is
      // read for every admission.
      if (line.running >= std::max(1, line.waiting.front().capacity())) break;
      ready_.push_back(std::move(line.waiting.front()));
      line.waiting.pop_front();
      ++line.running;
    }
    if (line.running == 0 && line.waiting.empty()) lines_.erase(it);
    while (ready_.size() > static_cast<std::size_t>(idle_) && threads_ < kMaxThreads) {
      if (!Spawn()) break;
    }
    if (!ready_.empty()) wake_.notify_all();
    // A system that refuses every thread: no thread would ever take these.
    if (threads_ == 0) {
      while (!ready_.empty()) {
        Job job = std::move(ready_.front());
        ready_.pop_front();
        Release(job.server);
        refused.push_back(std::move(job));
      }
    }
  }

  bool Spawn() {
    try {
      std::thread thread([this] { Serve(); });
      pthread_setname_np(thread.native_handle(), "pixvane-dl");
      // The pool lives as long as the process; its threads end by themselves.
      thread.detach();
    } catch (const std::system_error&) {
      // The boundary of a thread start the system refused (a task or
      // memory limit): the pool goes on with the threads it has, or tells
      // the jobs that none can be had.
      return false;
    }
    ++threads_;
    ++idle_;  // counted idle until it takes its first job
    return true;
  }

  void Release(const std::string& server) {
    auto it = lines_.find(server);
    if (it != lines_.end()) --it->second.running;
  }

  void Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (ready_.empty() &&
          !wake_.wait_for(lock, kIdleLinger, [this] { return !ready_.empty(); })) {
        --idle_;
        --threads_;
        return;
      }
      Job job = std::move(ready_.front());
      ready_.pop_front();
      --idle_;
      lock.unlock();
      job.run();
      // What the job held is released before its slot is handed on.
      job.run = nullptr;
      job.noThread = nullptr;
      lock.lock();
      ++idle_;
      Release(job.server);
      std::vector<Job> refused;  // stays empty: this thread is alive
      Admit(job.server, refused);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::unordered_map<std::string, Line> lines_;
  std::deque<Job> ready_;  // admitted, waiting for a thread to take them
  int threads_ = 0;
  int idle_ = 0;  // threads waiting for a job
};

// Never freed: a detached thread may still use it while the process exits.
Pool& ThePool() {
  static Pool* pool = new Pool;
  return *pool;
}

}  // namespace

void Submit(Job job) {
  ThePool().Submit(std::move(job));
}

int ThreadsAlive() {
  return ThePool().Alive();
}

}  // namespace workerpool
