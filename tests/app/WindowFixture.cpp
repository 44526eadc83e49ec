#include "WindowFixture.h"

#include <QDir>
#include <utility>

void WindowTest::SetUp() {
  savedDesktop_ = qgetenv("XDG_DESKTOP_DIR");
  savedConfig_ = qgetenv("XDG_CONFIG_HOME");
  QDir().mkpath(QString::fromStdString(DesktopDir()));
  qputenv("XDG_DESKTOP_DIR", QByteArray::fromStdString(DesktopDir()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(PathOf("config")));
  WriteFile("bin/pixvane", "#!/bin/sh\n");
}

void WindowTest::TearDown() {
  DestroyWindow();
  for (const auto& [name, saved] :
       {std::pair{"XDG_DESKTOP_DIR", savedDesktop_}, std::pair{"XDG_CONFIG_HOME", savedConfig_}}) {
    if (saved.isEmpty())
      qunsetenv(name);
    else
      qputenv(name, saved);
  }
}

void WindowTest::CreateWindow(std::function<void(int)> beforeStep) {
  TForm1Options options;
  options.Seam = &Seam;
  options.ExecutablePath = QString::fromStdString(PathOf("bin/pixvane"));
  options.BeforeStartupStep = std::move(beforeStep);
  Form = std::make_unique<TForm1>(options);
}

void WindowTest::CreateWindowFor(const QString& address) {
  TForm1Options options;
  options.Seam = &Seam;
  options.ExecutablePath = QString::fromStdString(PathOf("bin/pixvane"));
  options.Address = address;
  Form = std::make_unique<TForm1>(options);
}

void WindowTest::DestroyWindow() {
  Form.reset();
}

void OpenWindowTest::SetUp() {
  WindowTest::SetUp();
  CreateWindow();
}

void SetItems(QListWidget* list, const QStringList& items) {
  list->clear();
  list->addItems(items);
}
