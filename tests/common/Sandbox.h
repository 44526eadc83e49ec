// A fixture with a fresh temporary folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>

class SandboxTest : public ::testing::Test {
 protected:
  // The sandbox folder, with a trailing "/".
  std::string Dir() const;
  // Dir() + name.
  std::string PathOf(const std::string& name) const;
  // Writes bytes as the whole file; creates the folders above it.
  void WriteFile(const std::string& name, const std::string& bytes) const;
  // The whole file's bytes; empty when it cannot be read.
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  QTemporaryDir dir_;
};

// Runs the Qt event loop until pred() holds or timeoutMs passes; returns pred().
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs = 10000);

#include "Sandbox.inl"
