#include "Unit_Shortcuts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "ShellFolders.h"

namespace fs = std::filesystem;

namespace {

// Escapes a value of type string: backslash and control characters.
std::string EscapeString(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The Exec value for one program path: quoted, with the characters that are
// special inside quotes backslash-escaped, then "%" doubled (field codes), and
// the whole escaped again as a string value.
std::string ExecValue(const std::string& program) {
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return EscapeString(quoted);
}

std::string ParentWithSlash(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool WriteAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = (::fchmod(fd, 0755) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

std::string DesktopEntryText(const std::string& TargetPath, const std::string& LinkName) {
  std::string text = "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Version=1.0\n";
  text += "Name=" + EscapeString(LinkName) + "\n";
  text += "Exec=" + ExecValue(TargetPath) + "\n";
  text += "Path=" + EscapeString(ParentWithSlash(TargetPath)) + "\n";
  // The icon by its theme name, as the package installs it.
  text += "Icon=pixvane\n";
  text += "Terminal=false\n";
  return text;
}

bool CreateShortcut(const std::string& TargetPath, std::string LinkName, std::string Folder,
                    int SpecialFolder) {
  std::error_code ec;
  if (TargetPath.empty() || !fs::is_regular_file(TargetPath, ec)) return false;
  if (LinkName.empty()) LinkName = fs::path(TargetPath).stem().string();

  if (Folder.empty() && SpecialFolder == -1) SpecialFolder = kShellFolderDesktop;
  std::string linkFile;
  if (SpecialFolder >= 0) {
    const std::string folder = ShellFolderPath(SpecialFolder);
    if (folder.empty() || !fs::is_directory(folder, ec)) return false;
    linkFile = folder + "/" + LinkName + ".desktop";
  } else {
    if (Folder.size() > 1 && Folder.back() == '/') Folder.pop_back();
    if (!fs::is_directory(Folder, ec)) return false;
    linkFile = Folder + "/" + LinkName + ".desktop";
  }
  return WriteAtomically(linkFile, DesktopEntryText(TargetPath, LinkName));
}
