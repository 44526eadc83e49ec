#include "WindowFixture.h"

#include <QDir>

void WindowTest::SetUp() {
  savedDesktop_ = qgetenv("XDG_DESKTOP_DIR");
  QDir().mkpath(QString::fromStdString(DesktopDir()));
  qputenv("XDG_DESKTOP_DIR", QByteArray::fromStdString(DesktopDir()));
  WriteFile("bin/pixvane", "#!/bin/sh\n");
}

void WindowTest::TearDown() {
  DestroyWindow();
  if (savedDesktop_.isEmpty())
    qunsetenv("XDG_DESKTOP_DIR");
  else
    qputenv("XDG_DESKTOP_DIR", savedDesktop_);
}

void WindowTest::CreateWindow(std::function<void(int)> beforeStep) {
  TForm1Options options;
  options.Seam = &Seam;
  options.ExecutablePath = QString::fromStdString(PathOf("bin/pixvane"));
  options.BeforeStartupStep = std::move(beforeStep);
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
