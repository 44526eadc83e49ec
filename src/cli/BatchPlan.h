// What a batch downloads where: every address with its folder and its target
// file, and the folders made ready before the first download starts.
#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

#include "Gather.h"

// Unchanged: done without moving the file, the server answered that it is
// as the folder holds it.
enum class TOutcome { Pending, Done, Unchanged, Skipped, Failed };

// One address of the batch, from its plan to its outcome.
struct TBatchItem {
  QString Address;
  QString Page;          // empty for an address from an address file
  std::string Encoding;  // the page's, for the query; empty for UTF-8
  QString Folder;        // empty: the current folder
  QString File;          // the target file, inside Folder
  TOutcome Outcome = TOutcome::Pending;
  QString Reason;       // why it failed or was skipped; a note on a kept file
  qint64 Bytes = 0;     // the file's size when it ended (0 when there is none)
  qint64 Readed = 0;    // bytes of the file so far while it runs
  qint64 Received = 0;  // bytes received in this run while it runs
};

// The folder of a page's images: the page's host, port, path segments and
// query joined by "_", every character other than a letter, a digit, ".",
// "-" and "_" made "_", cut to a file name's length.
// "http://127.0.0.1:8765/gallery/index.html" gives "127.0.0.1_8765_gallery_index.html".
QString PageFolderName(const QString& page);

// The items of the addresses, in their order. With a folder every address
// goes there; otherwise each page's addresses go into the page's folder and
// those of an address file into the current folder. Within one folder every
// address has a name of its own, the same for the same list.
std::vector<TBatchItem> PlanBatch(const std::vector<TFoundAddress>& addresses,
                                  const QString& folder);

// Creates the folder (with the folders above it) and makes sure a file can be
// written into it. False with the reason when it cannot be used.
bool PrepareFolder(const QString& folder, QString& failure);
