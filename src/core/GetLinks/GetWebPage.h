// Page fetcher: the raw bytes of one web page, fetched synchronously, and
// whether the page came.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// What a page fetch may take: so many bytes, so long in all (the internet
// layer's idle limit applies beside it).
struct TPageLimits {
  std::size_t MaxBytes = std::size_t{64} << 20;
  std::chrono::milliseconds MaxTime{60000};
};

// What became of a page fetch.
struct TPageFetch {
  enum class TOutcome {
    kCame,       // an answer with a 2xx status, read whole
    kNotOpened,  // no answer at all (no such host, no connection, no answer in time)
    kStatus,     // an answer with another status
    kBroken,     // the answer broke off while it was read
    kTooLarge,   // more bytes than the limit
    kTooSlow,    // longer than the time limit in all
  };
  TOutcome Outcome = TOutcome::kNotOpened;
  // Why the page did not come, in the internet layer's words: "HTTP 404 Not
  // Found", "Could not resolve host: ...", "the page is larger than 64 MB".
  std::string Reason;
  // The final answer's Content-Type (empty when it sent none).
  std::string ContentType;

  bool Came() const { return Outcome == TOutcome::kCame; }
};

// Fetches Url (handed to the internet client unchanged) with the agent
// "Internet Explorer 6.0", following redirects. When IncludeHeaders is true
// the raw header block of the final response (status line, header lines,
// each ended by CR LF, then an empty line) comes first. Page is assigned
// whenever an answer came, with what was read of it (the body of a 404, the
// bytes before a break); otherwise it keeps what the caller gave. A page
// larger than MaxBytes is not read beyond it; one announced larger is not
// read at all.
TPageFetch GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page,
                      const TPageLimits& Limits = {});
