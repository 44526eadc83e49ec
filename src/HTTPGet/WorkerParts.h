// What the download worker's steps are built from: the target file it
// writes, and the reading of decimal numbers in header values and addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Why a run that was asked to stop failed.
inline constexpr char kStoppedReason[] = "stopped";

// A decimal text as a 64-bit number, an optional "+" included; false for
// anything else (an empty text, blanks, other characters, overflow).
bool ParseDecimal(std::string_view digits, std::int64_t& value);

// Whether a 206 answer's Content-Range ("bytes START-END/TOTAL") starts at
// start and gives total as the whole resource's length. The end is not
// looked at: some servers repeat the end that was asked for.
bool RangeFits(std::string_view contentRange, std::int64_t start, std::int64_t total);

// Whether text begins with prefix, letter case ignored.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// The target file (or sidecar), opened for writing; closed on every path.
// Every failure throws std::system_error naming the file and the reason.
class TTargetFile {
 public:
  TTargetFile() = default;
  TTargetFile(const TTargetFile&) = delete;
  TTargetFile& operator=(const TTargetFile&) = delete;
  ~TTargetFile();

  // Creates the file, or shortens an existing one to nothing.
  void Create(const std::string& name);
  // Opens an existing file without shortening it.
  void OpenExisting(const std::string& name);
  void Seek(std::int32_t position);
  void Shorten();
  void Write(const char* data, std::size_t size);
  void Close();

 private:
  void Open(const std::string& name, int flags, const char* what);

  int fd_ = -1;
  std::string name_;
};

// Throws std::system_error for errno with "what name" as its text.
[[noreturn]] void FailWithErrno(const std::string& what, const std::string& name);
