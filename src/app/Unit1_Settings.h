// The window's remembered choices, in one settings file of the user's:
// $XDG_CONFIG_HOME/Pixvane/Pixvane.conf (~/.config/Pixvane/Pixvane.conf), an
// INI file written whole through QSaveFile. Each choice has its key and its
// default here. A file that cannot be read gives the defaults; a choice that
// cannot be written is lost with its reason; neither stops the program.
#pragma once

#include <QString>
#include <QVariant>

class TWindowSettings {
 public:
  // The user's settings file.
  TWindowSettings();
  explicit TWindowSettings(QString path);

  // Where the user's settings file lives; empty when there is no config folder.
  static QString UserPath();
  const QString& Path() const { return path_; }

  // The deep scan of the acquisition: off until the user turns it on.
  bool DeepScan() const;
  bool SetDeepScan(bool on, QString& failure);
  // The save folder (SavePath) and the last page address read (Url); empty
  // when none is stored, and the window keeps its defaults.
  QString SaveFolder() const;
  bool SetSaveFolder(const QString& folder, QString& failure);
  QString PageAddress() const;
  bool SetPageAddress(const QString& address, QString& failure);

 private:
  QVariant Value(const QString& key, const QVariant& fallback) const;
  // Stores the value; false with the reason when the file cannot be written.
  bool SetValue(const QString& key, const QVariant& value, QString& failure);

  QString path_;
};
