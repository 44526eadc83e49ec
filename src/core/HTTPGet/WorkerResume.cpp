// Resuming a partial file: the ranged request for the missing bytes, and
// what the run does with an answer that does not continue the file.
#include "HTTPGetThread.h"
#include "Inet.h"
#include "WorkerParts.h"

using inet::Outcome;

Outcome THTTPGetThread::ResumeRange(TTargetFile& File, const std::string& SidecarName,
                                    bool& BodyWanted) {
  // The first body is not read: ask again for the missing bytes only. The
  // end is one past the last byte; a server takes it as the end.
  const Outcome ranged = SendRequest("RANGE: bytes=" + std::to_string(ResumeOffset) + "-" +
                                     std::to_string(ContentLength) + "\r\n");
  if (Outcome stop = StopCheck(); !stop) return stop;
  const int status = FRequest->StatusCode();
  if (status == 206 && RangeAnswerFits()) {
    // Only now is the partial file opened: the missing bytes follow.
    if (Outcome opened = File.OpenExisting(FileName); !opened) return opened;
    return File.Seek(static_cast<std::int32_t>(ResumeOffset));
  }
  if (status == 200) return Restart(File, SidecarName);  // the range was ignored: all follows
  if (status == 416 && ResumeOffset == ContentLength) {
    BodyWanted = false;  // the partial file is already whole
    return Outcome::Done();
  }
  if (status != 206 && status != 416) {
    Outcome answer = Usable(ranged);
    return answer ? Outcome::Failed("HTTP " + std::to_string(status) + " to the ranged request")
                  : answer;
  }
  // The answer does not continue the partial file (another range, length or
  // version): fetch the whole resource with a plain request and write it
  // from the start.
  const Outcome whole = SendRequest({});
  if (Outcome stop = StopCheck(); !stop) return stop;
  if (Outcome answer = Usable(whole); !answer) return answer;
  return Restart(File, SidecarName);
}

bool THTTPGetThread::RangeAnswerFits() const {
  // The same version of the resource: a stamp, when the answer gives one,
  // is the first answer's.
  const std::string stamp = AnnouncedStamp();
  if (!stamp.empty() && stamp != FServerStamp) return false;
  const std::optional<std::string> range =
      FRequest->QueryHeader("Content-Range", kContentRangeBufferBytes);
  if (!range) return false;
  std::int64_t length = -1;  // the answer's own length; -1 when it gives none
  const std::optional<std::string> text =
      FRequest->QueryHeader("Content-Length", kContentLengthBufferBytes);
  if (text && (!ParseDecimal(*text, length) || length < 0)) return false;
  return RangeFits(*range, length, ResumeOffset, ContentLength);
}

Outcome THTTPGetThread::Restart(TTargetFile& File, const std::string& SidecarName) {
  if (Outcome length = AnnouncedLength(ContentLength, ContentLength); !length) return length;
  return StartAfresh(File, SidecarName, AnnouncedStamp());
}
