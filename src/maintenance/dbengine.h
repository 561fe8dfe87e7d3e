#pragma once
// The database engine of the maintenance tool: repairs a records database in
// place and writes a compacted copy of one, over SQLite. Every step that can
// fail raises ToolError with the engine's result code and message, or the
// system's error number and text for a file operation.

#include <QString>

#include "toolerror.h"

namespace quillon::dbtool {

struct RepairResult {
  // True when the file was rebuilt from what could still be read; false
  // when it was sound and only its indexes were rebuilt.
  bool rebuilt = false;
  qint64 rowsKept = 0;
  // Records found on the pages but too damaged to read.
  qint64 rowsDamaged = 0;
  // Pages of records that could not be read at all (overwritten, or cut off
  // the end of the file); how many records they held is not known.
  qint64 pagesDamaged = 0;
  // Records that shared their ID with another and were kept under a new one.
  qint64 idsRenumbered = 0;
  // Copies of a record found on two pages that disagree, neither reachable
  // through the table's index of pages: one of them was kept.
  qint64 conflictingCopies = 0;
  // Where the damaged original now lies, when the rebuilt file replaced it.
  QString keptAs;
};

class DBEngine {
 public:
  // Throws ToolError when the engine cannot be used.
  explicit DBEngine(FaultPlan* plan = nullptr);
  DBEngine(const DBEngine&) = delete;
  DBEngine& operator=(const DBEngine&) = delete;

  // Repairs the database at `path` in place. A sound file has its indexes
  // rebuilt; a damaged one (or one whose records share IDs) is replaced, in
  // one rename, by a fresh file holding every record that can still be read
  // off its pages, each with its own ID. The damaged original is kept beside
  // it (see damagedKeepPath). A file of which no record can be read is left
  // exactly as it was.
  RepairResult RepairDatabase(const QString& path);

  struct CompactOptions {
    // The destination may exist: it is another name, or a copy, of the
    // source, and is replaced in one rename by the compacted copy.
    bool replace = false;
    // Set once the compacted copy stands under the destination's name, so a
    // caller can tell from a failure after that point what lies where.
    bool* installed = nullptr;
  };

  // Writes a compacted copy of `source` as the new file `destination`. The
  // copy is made under a temporary name beside the destination, checked
  // (page structure, and every table's row count against the source),
  // flushed, and only then renamed into place; `source` is only read.
  void CompactDatabase(const QString& source, const QString& destination, const CompactOptions& options);
  void CompactDatabase(const QString& source, const QString& destination) { CompactDatabase(source, destination, {}); }

  // Opens the database normally and closes it again, so that an interrupted
  // transaction's journal is rolled back and a write-ahead log is folded in.
  void settle(const QString& path);

 private:
  FaultPlan* plan_;
};

// The journal and write-ahead files SQLite may leave beside `dbPath`.
QStringList journalFiles(const QString& dbPath);

}  // namespace quillon::dbtool
