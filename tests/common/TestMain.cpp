// Test entry: the internet client, a QApplication on the offscreen platform
// (unless a display platform was chosen, as the Xvfb tests do), then
// GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <optional>

#include "Inet.h"
#include "InternetClient.h"

namespace {

std::optional<inet::Library>* gClient = nullptr;

}  // namespace

namespace testmain {

void EndInternetClient() {
  if (gClient != nullptr) gClient->reset();
}

void StartInternetClient() {
  if (gClient != nullptr && !gClient->has_value()) gClient->emplace();
}

}  // namespace testmain

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::optional<inet::Library> client(std::in_place);
  gClient = &client;
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  const int result = RUN_ALL_TESTS();
  gClient = nullptr;
  return result;
}
