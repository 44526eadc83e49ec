#include "Sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <fstream>
#include <sstream>

std::string SandboxTest::Dir() const {
  return dir_.path().toStdString() + "/";
}

std::string SandboxTest::PathOf(const std::string& name) const {
  return Dir() + name;
}

void SandboxTest::WriteFile(const std::string& name, const std::string& bytes) const {
  const std::string path = PathOf(name);
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string SandboxTest::ReadFile(const std::string& name) const {
  std::ifstream in(PathOf(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool SandboxTest::Exists(const std::string& name) const {
  return QFileInfo::exists(QString::fromStdString(PathOf(name)));
}
