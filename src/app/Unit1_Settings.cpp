#include "Unit1_Settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <utility>

namespace {

const QString kDeepScanKey = QStringLiteral("Acquisition/DeepScan");

}  // namespace

TWindowSettings::TWindowSettings() : TWindowSettings(UserPath()) {}

TWindowSettings::TWindowSettings(QString path) : path_(std::move(path)) {}

QString TWindowSettings::UserPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return folder.isEmpty() ? QString() : folder + QStringLiteral("/Pixvane/Pixvane.conf");
}

bool TWindowSettings::DeepScan() const {
  return Value(kDeepScanKey, false).toBool();
}

bool TWindowSettings::SetDeepScan(bool on, QString& failure) {
  return SetValue(kDeepScanKey, on, failure);
}

QVariant TWindowSettings::Value(const QString& key, const QVariant& fallback) const {
  if (path_.isEmpty()) return fallback;
  const QSettings settings(path_, QSettings::IniFormat);
  return settings.status() == QSettings::NoError ? settings.value(key, fallback) : fallback;
}

bool TWindowSettings::SetValue(const QString& key, const QVariant& value, QString& failure) {
  if (path_.isEmpty()) {
    failure = QStringLiteral("no settings folder");
    return false;
  }
  QSettings settings(path_, QSettings::IniFormat);
  settings.setValue(key, value);
  settings.sync();
  if (settings.status() == QSettings::NoError) return true;
  failure = path_;
  return false;
}
