// Download component (THTTPGet) and its worker (THTTPGetThread).
//
// The window fills a THTTPGet's properties, binds its events and calls
// StartDownload; the component copies the properties into a new worker,
// which downloads the address into the file on a thread of the download
// pool, with resume through a ".log" sidecar beside the file: its first line
// the server's Last-Modified value, its second the address the bytes are of.
// A file that ends whole records that address as its origin. The worker
// publishes its progress and reads on: the latest figures reach the window as
// the component's OnProgress on the user-interface thread, figures overtaken
// meanwhile skipped, never the last. The end of a download becomes the
// component's OnDoneFile or OnError event, also on the user-interface
// thread, after every progress event of that download. A download that fails
// says why: the error event carries the reason, and the reason is logged
// once under the category "pixvane.download".
#pragma once

#include <QObject>
#include <QPointer>

#include <string>

#include "HTTPGetThread.h"

class QEventLoop;

// The download component: one address into one file at a time. Owned by a
// parent QObject, which destroys it. Setting a property has no side effect.
class THTTPGet : public QObject {
  Q_OBJECT

 public:
  explicit THTTPGet(QObject* AOwner);
  // Cancels a running download and cuts the worker's link to this component,
  // without waiting for the worker.
  ~THTTPGet() override;

  // Published properties, in their published order.
  std::string AcceptTypes = "*/*";         // value of the request's Accept header
  std::string Agent = "Brenmoor HTTPGet";  // user agent; empty sends none
  bool BinaryData = false;                 // kept; no effect on a download
  std::string URL;                         // the address to fetch
  bool UseCache = false;                   // kept; requests always go to the server
  std::string FileName;                    // full name of the target file
  std::string UserName;                    // offered when the server asks
  std::string Password;                    // offered when the server asks
  std::string PostQuery;                   // form data; not empty makes a POST
  std::string Referer;                     // referrer; empty sends none
  bool WaitThread = false;                 // StartDownload returns when the download ended
  // The address the file is of, when URL carries more (a date tag): what
  // the sidecar and the finished file record, so that a later run knows
  // its own file. Empty: URL.
  std::string Origin;
  TOnProgressEvent OnProgress;      // Sender: the worker
  TOnDoneFileEvent OnDoneFile;      // Sender: this component
  TOnDoneStringEvent OnDoneString;  // never raised: downloads always go to a file
  TOnErrorEvent OnError;            // Sender: this component; with the reason

  // Starts the download the properties describe; ignored while one runs.
  void StartDownload();
  // Asks a running download to stop; does not wait.
  void CancelDownload();
  // The running worker; null while idle.
  THTTPGetThread* Worker() const { return FWorker.data(); }
  // Whether the download that just ended found its finished file unchanged
  // on the server (a 304), so that nothing was rewritten. Set before OnDoneFile
  // is raised and valid in it; false after any other end.
  bool Unchanged() const { return FUnchanged; }

 private:
  void WorkerDone(THTTPGetThread* Sender);
  // Ends the wait of a StartDownload with WaitThread set, if one waits.
  void EndWait();

  // The running worker, which this component does not own: the worker
  // releases itself on the user-interface thread right after its completion
  // notification (WorkerDone, which clears this first), or after its end
  // once CutLink has cut it off. The guarded pointer cannot outlive it.
  QPointer<THTTPGetThread> FWorker;
  QEventLoop* FWaitLoop = nullptr;  // the wait of StartDownload, while it waits
  bool FUnchanged = false;
};
