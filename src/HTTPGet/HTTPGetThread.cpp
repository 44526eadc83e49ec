// The download worker's thread: creation, the stop and link flags, the
// hand-over, and the completion notification around its run.
#include <exception>

#include <QAbstractEventDispatcher>

#include "HTTPGet.h"
#include "HTTPGetTestHooks.h"
#include "HandOver.h"
#include "Inet.h"
#include "WorkerParts.h"

namespace {

std::atomic<int> gLiveWorkers{0};
// Thread starts that tests make fail, as at the system's limit.
std::atomic<int> gFailingStarts{0};

// True when a test made this start fail.
bool TakeFailingStart() {
  int left = gFailingStarts.load();
  while (left > 0 && !gFailingStarts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

// Why a worker whose thread the system refused fails.
const char kNoThreadReason[] =
    "cannot start a download thread: the system refused a new thread (a task or memory limit)";

// The event dispatcher of a worker thread. A worker runs no event loop: it
// blocks in its own calls and reaches the user-interface thread only through
// the hand-over, which posts there. The toolkit's own dispatcher would hold
// an open file (an eventfd) and its bookkeeping for every worker, thousands
// of them while a large batch waits for connection slots; this one holds
// nothing. Timers and socket notifiers cannot be used on a worker thread.
class TIdleDispatcher final : public QAbstractEventDispatcher {
 public:
  bool processEvents(QEventLoop::ProcessEventsFlags) override { return false; }
  void registerSocketNotifier(QSocketNotifier*) override {}
  void unregisterSocketNotifier(QSocketNotifier*) override {}
  void registerTimer(int, qint64, Qt::TimerType, QObject*) override {}
  bool unregisterTimer(int) override { return false; }
  bool unregisterTimers(QObject*) override { return false; }
  QList<TimerInfo> registeredTimers(QObject*) const override { return {}; }
  int remainingTime(int) override { return -1; }
  void wakeUp() override {}
  void interrupt() override {}
};

}  // namespace

THTTPGetThread::THTTPGetThread(std::string AcceptTypes, std::string Agent, std::string URL,
                               std::string FileName, std::string UserName, std::string Password,
                               std::string PostQuery, std::string Referer, bool UseCache,
                               TOnProgressEvent ProgressHandler, bool ToFile, std::string Origin,
                               TCompletion Completion)
    : AcceptTypes(std::move(AcceptTypes)),
      Agent(std::move(Agent)),
      URL(std::move(URL)),
      FileName(std::move(FileName)),
      UserName(std::move(UserName)),
      Password(std::move(Password)),
      PostQuery(std::move(PostQuery)),
      Referer(std::move(Referer)),
      UseCache(UseCache),
      ToFile(ToFile),
      ProgressHandler(std::move(ProgressHandler)),
      Origin(Origin.empty() ? this->URL : std::move(Origin)),
      FCompletion(std::move(Completion)) {
  ++gLiveWorkers;
  inet::GlobalInit();
  handover::Prepare();
  // Self-release once the thread has finished, which is after the completion
  // notification has run.
  connect(this, &QThread::finished, this, &QObject::deleteLater);
  if (TakeFailingStart()) {
    EndUnstarted();
    return;
  }
  setEventDispatcher(new TIdleDispatcher);  // the thread owns it
  start();
  // A thread the system refused (a task limit, no memory for its stack) is
  // neither running nor finished.
  if (!isRunning() && !isFinished()) EndUnstarted();
}

void THTTPGetThread::EndUnstarted() {
  Fail(kNoThreadReason);
  // The end comes as a worker's end always does, from the user-interface
  // thread's event loop, never from inside the start. Nothing will run the
  // thread's own release.
  QMetaObject::invokeMethod(
      this,
      [this] {
        try {
          Complete();
        } catch (...) {
        }
        deleteLater();
      },
      Qt::QueuedConnection);
}

void THTTPGetThread::Complete() {
  if (!FCompletion) return;
  const TCompletion completion = FCompletion;  // survives a CutLink from inside
  completion(this);
}

THTTPGetThread::~THTTPGetThread() {
  wait();
  --gLiveWorkers;
}

int THTTPGetThread::LiveCount() {
  return gLiveWorkers;
}

void THTTPGetThread::CutLink() {
  FLinked = false;
  FCompletion = nullptr;
}

void THTTPGetThread::Synchronize(const std::function<void()>& Method) {
  handover::Run(Method);
}

void THTTPGetThread::ReportProgress() {
  if (!FLinked || !ProgressHandler) return;
  // 32-bit position: the low 32 bits of the kept bytes plus this run's bytes.
  const auto readed = static_cast<std::int32_t>(static_cast<std::uint32_t>(ResumeOffset) +
                                                static_cast<std::uint32_t>(ReadCount));
  ProgressHandler(this, ContentLength, readed);
}

void THTTPGetThread::CloseInternetHandles() {
  FRequest.reset();
  FConnection.reset();
  FSession.reset();
}

void THTTPGetThread::run() {
  if (StopRequested) {
    Fail(kStoppedReason);
  } else {
    try {
      Run();
    } catch (const std::exception& e) {
      Fail(e.what());
    } catch (...) {
      Fail("failed for a reason that was not given");
    }
  }
  // The completion notification, on the user-interface thread while this
  // thread waits. A failure in it goes no further.
  try {
    Synchronize([this] { Complete(); });
  } catch (...) {
  }
}

void THTTPGetThread::Fail(std::string Reason) {
  Succeeded = false;
  FailReason = std::move(Reason);
}

void httpget::testing::FailThreadStarts(int count) {
  gFailingStarts = count;
}
