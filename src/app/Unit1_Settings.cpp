#include "Unit1_Settings.h"

#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>
#include <utility>

#include "Unit1.h"

namespace {

const QString kDeepScanKey = QStringLiteral("Acquisition/DeepScan");
const QString kPageAddressKey = QStringLiteral("Acquisition/PageAddress");
const QString kSaveFolderKey = QStringLiteral("Download/SaveFolder");

Q_LOGGING_CATEGORY(lcSettings, "pixvane.settings")

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

QString TWindowSettings::SaveFolder() const {
  return Value(kSaveFolderKey, QString()).toString();
}

bool TWindowSettings::SetSaveFolder(const QString& folder, QString& failure) {
  return SetValue(kSaveFolderKey, folder, failure);
}

QString TWindowSettings::PageAddress() const {
  return Value(kPageAddressKey, QString()).toString();
}

bool TWindowSettings::SetPageAddress(const QString& address, QString& failure) {
  return SetValue(kPageAddressKey, address, failure);
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

void TForm1::Remember(bool (TWindowSettings::*store)(const QString&, QString&),
                      const QString& value, bool quiet) {
  QString failure;
  if ((Settings.*store)(value, failure)) return;
  qCWarning(lcSettings).noquote() << "cannot store a setting:" << failure;
  if (!quiet) SetStatusText(QStringLiteral("设置无法保存: ") + failure);
}
