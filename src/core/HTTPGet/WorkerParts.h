// What the download worker's steps are built from: the target file it
// writes, and the reading of decimal numbers in header values and addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Outcome.h"

// Buffers for the header values: a value must fit with its terminating NUL.
inline constexpr std::size_t kContentLengthBufferBytes = 2048;
inline constexpr std::size_t kLastModifiedBufferBytes = 256;
inline constexpr std::size_t kContentRangeBufferBytes = 256;

// Whether the caller runs on the user-interface thread: the thread of the
// application object, or any thread when there is none (the events then
// run on the worker's thread).
bool OnUserInterfaceThread();

// A decimal text as a 64-bit number, an optional "+" included; false for
// anything else (an empty text, blanks, other characters, overflow).
bool ParseDecimal(std::string_view digits, std::int64_t& value);

// Whether a 206 answer continues a file of start bytes up to the whole
// resource of total bytes: its Content-Range ("bytes FIRST-LAST/TOTAL")
// starts at start, ends at the last byte and names total, and its own
// Content-Length, when it has one (length >= 0), is the range's length. A
// LAST of total itself (the end that was asked for, one past the last byte,
// which some servers repeat) counts as the last byte when the answer's
// length bears it out.
bool RangeFits(std::string_view contentRange, std::int64_t length, std::int64_t start,
               std::int64_t total);

// Whether text begins with prefix, letter case ignored.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// The target file (or sidecar), opened for writing; closed on every path.
// Every operation says how it went: a failure names the file and the
// reason ("cannot create /pics/a.jpg: Permission denied").
class TTargetFile {
 public:
  TTargetFile() = default;
  TTargetFile(const TTargetFile&) = delete;
  TTargetFile& operator=(const TTargetFile&) = delete;
  ~TTargetFile();

  // Creates the file, or shortens an existing one to nothing.
  inet::Outcome Create(const std::string& name);
  // Opens an existing file without shortening it.
  inet::Outcome OpenExisting(const std::string& name);
  inet::Outcome Seek(std::int32_t position);
  // Cuts the file to its first size bytes and goes on writing there.
  inet::Outcome CutTo(std::int64_t size);
  inet::Outcome Write(const char* data, std::size_t size);
  // Done when nothing is open.
  inet::Outcome Close();

 private:
  inet::Outcome Open(const std::string& name, int flags, const char* what);

  int fd_ = -1;
  std::string name_;
};

// The failure for errno as it stands, with "what name" in front of the
// system's text: "cannot open /pics/a.jpg.log: No such file or directory".
inet::Outcome ErrnoFailure(const std::string& what, const std::string& name);
