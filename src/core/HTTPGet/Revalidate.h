// A second run moves nothing that is unchanged. A finished file keeps the
// server's validators: its modification time is the server's Last-Modified
// value (as wget -N leaves it) and the ETag, when the server sent one, is kept
// in the file's extended attribute "user.xdg.origin.etag". A later download
// of the same address into that file asks the server whether it changed
// (If-Modified-Since, If-None-Match); a 304 answer leaves the file as it is.
//
// Only a whole file of that very address asks: its recorded origin is the
// address, and no resume sidecar lies beside it. A partial file resumes as
// before and never asks.
#pragma once

#include <ctime>
#include <string>

namespace inet {
class Request;
}

namespace revalidate {

// The extra request header lines ("If-Modified-Since: ...", then
// "If-None-Match: ..." when an ETag is kept, separated by CR LF) for a
// download of origin into file; empty when file is not a finished file of
// origin (absent, not a regular file, its sidecar beside it, another origin
// or none recorded).
std::string ConditionsFor(const std::string& file, const std::string& sidecar,
                          const std::string& origin);

// The file has just become whole from the body of answer: its modification
// time becomes the answer's Last-Modified value (fallbackStamp when the
// answer names none; left as it is when neither is an HTTP date), and its
// ETag is kept, or a kept one forgotten when the answer has none. Nothing
// fails: a file system without extended attributes keeps no ETag.
void KeepValidators(const std::string& file, const inet::Request& answer,
                    const std::string& fallbackStamp);

// An HTTP date ("Wed, 21 Oct 2015 07:28:00 GMT") as seconds since 1970;
// false when the text is no date.
bool ParseHttpDate(const std::string& text, std::time_t& seconds);
// Seconds since 1970 as an HTTP date; empty when out of range.
std::string HttpDate(std::time_t seconds);

}  // namespace revalidate
