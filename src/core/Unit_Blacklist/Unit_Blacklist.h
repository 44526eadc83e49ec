// The blacklist: image addresses that acquisitions leave out, and its file
// "黑名单.txt". No widgets; the window and pixvane-get share it.
//
// File format: the entries as UTF-8 text, each followed by CR LF, no byte
// order mark; an empty blacklist is an empty file. On reading, CR LF, a lone
// CR and a lone LF each end an entry, a final line break makes no empty
// entry, a NUL ends the text, and a file that is not UTF-8 is read as GBK.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>
#include <unordered_map>
#include <vector>

// The file's name, beside the program or in the user's data folder.
inline const QString kBlacklistFileName = QStringLiteral("黑名单.txt");

// True when the program's folder (appDir, with a trailing "/") may hold the
// user's files: a folder that can be written and is not one of the system's
// program folders (/usr/..., /bin/, /sbin/). An installed program run by
// root could write into /usr/bin, but the user's blacklist and pictures do
// not belong there.
bool ProgramFolderHoldsUserFiles(const QString& appDir);

// Where the blacklist is saved: appDir (the program's folder with a trailing
// "/") + "黑名单.txt" when ProgramFolderHoldsUserFiles; otherwise the same name
// in the user's data folder ($XDG_DATA_HOME/Pixvane), as for an installed
// program; appDir's path again when there is no data folder.
QString BlacklistPath(const QString& appDir);

// Where the blacklist is read from: BlacklistPath, unless no file is there
// yet and one stands beside the program (an installed program that has not
// saved a blacklist of its own reads the one it came with).
QString BlacklistReadPath(const QString& appDir);

// The entries of a list file's bytes by the reading rules above.
QStringList ListFileEntries(const QByteArray& bytes);

class TBlacklist {
 public:
  TBlacklist() = default;
  explicit TBlacklist(const QStringList& entries);

  // The entries in the order they were added or loaded; repeats kept.
  const QStringList& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }

  // True when some entry equals address as a whole, the letter case of A-Z
  // aside. A lookup in a hash index, not a walk over the entries.
  bool Contains(const QString& address) const;

  // Appends address as it is, without a check for repeats.
  void Add(const QString& address);
  // Removes the entry at index (0 <= index < Count()).
  void RemoveAt(int index);
  void Clear();

  // addresses in order, each once (letter case of A-Z aside, the first kept),
  // without those this blacklist holds.
  QStringList Screen(const QStringList& addresses) const;
  // The same, as the indexes of the kept addresses, ascending.
  std::vector<qsizetype> ScreenedIndexes(const QStringList& addresses) const;

  // Reads the whole file at path and, only when that succeeds, takes its
  // entries in file order. On failure the entries stay as they were and
  // failure holds the reason (a missing file is a failure too).
  bool Load(const QString& path, QString& failure);

  // Writes the file at path, creating the folders above it. The text goes to
  // a file beside it that is renamed over it, so a crash or a full disk never
  // leaves a cut blacklist: on failure the old file stays whole and failure
  // holds the reason.
  bool Save(const QString& path, QString& failure) const;

 private:
  // The key of an entry: its UTF-8 bytes with A-Z folded to a-z.
  static std::string KeyOf(const QString& text);
  void Index(const QString& entry);

  QStringList entries_;
  // How many entries have each key.
  std::unordered_map<std::string, int> keys_;
};
