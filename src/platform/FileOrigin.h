// The address a downloaded file came from, kept with the file in its
// extended attribute "user.xdg.origin.url" (the freedesktop convention that
// wget and curl --xattr follow). Where the file system keeps no extended
// attributes nothing is recorded, and nothing is known later.
#pragma once

#include <string>

// Records origin as the file's origin. False when it could not be recorded
// (no such file, no extended attributes on that file system, no right to).
bool RecordFileOrigin(const std::string& file, const std::string& origin);

// The origin recorded with the file; empty when none is, or it cannot be read.
std::string FileOriginOf(const std::string& file);

// Removes the file's recorded origin, if it has one.
void ForgetFileOrigin(const std::string& file);
