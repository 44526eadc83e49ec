// The address a downloaded file came from, kept with the file in its
// extended attribute "user.xdg.origin.url" (the freedesktop convention that
// wget and curl --xattr follow), and the server's ETag of the bytes it holds
// in "user.xdg.origin.etag". Where the file system keeps no extended
// attributes nothing is recorded, and nothing is known later.
#pragma once

#include <string>

// Records origin as the file's origin. False when it could not be recorded
// (no such file, no extended attributes on that file system, no right to).
bool RecordFileOrigin(const std::string& file, const std::string& origin);

// The origin recorded with the file; empty when none is, or it cannot be read.
std::string FileOriginOf(const std::string& file);

// Removes the file's recorded origin and ETag, if it has them: the file is
// no longer the finished file of any address.
void ForgetFileOrigin(const std::string& file);

// Records the server's ETag of the file's bytes. False when it could not be
// recorded.
bool RecordFileETag(const std::string& file, const std::string& etag);

// The ETag recorded with the file; empty when none is, or it cannot be read.
std::string FileETagOf(const std::string& file);

// Removes the file's recorded ETag, if it has one.
void ForgetFileETag(const std::string& file);
