// The shell's special folders, by their Windows numbers (CSIDL values).
#pragma once

#include <string>

constexpr int kShellFolderDesktop = 0;  // CSIDL_DESKTOP

// The path of the special folder number, without a trailing "/"; empty when
// the number is unknown or the folder cannot be found. The desktop is the
// XDG desktop folder ($XDG_DESKTOP_DIR, the user-dirs setting, else ~/Desktop).
std::string ShellFolderPath(int folder);
