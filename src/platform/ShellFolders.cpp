#include "ShellFolders.h"

#include <QStandardPaths>
#include <cstdlib>

std::string ShellFolderPath(int folder) {
  if (folder != kShellFolderDesktop) return {};
  const char* fromEnv = std::getenv("XDG_DESKTOP_DIR");
  std::string path =
      (fromEnv != nullptr && *fromEnv != '\0')
          ? std::string(fromEnv)
          : QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}
