#pragma once
// The database engine of the maintenance tool: repairs a records database in
// place and writes a compacted copy of one, over SQLite. Every step that can
// fail raises ToolError with the engine's result code and message, or the
// system's error number and text for a file operation.

#include <QString>

#include "toolerror.h"

struct sqlite3;

namespace quillon::dbtool {

struct RepairResult {
  // True when the file failed the integrity check and was rebuilt from what
  // could still be read; false when only its indexes were rebuilt.
  bool rebuilt = false;
  qint64 rowsKept = 0;
  // Rows that could not be read, counted from the gaps in the row numbers
  // around each unreadable stretch (a row deleted before the damage inside
  // such a gap is counted too).
  qint64 rowsLost = 0;
};

class DBEngine {
 public:
  // Throws ToolError when the engine cannot be used.
  explicit DBEngine(FaultPlan* plan = nullptr);
  DBEngine(const DBEngine&) = delete;
  DBEngine& operator=(const DBEngine&) = delete;

  // Repairs the database at `path` in place. A sound file has its indexes
  // rebuilt; a damaged one is replaced, in one rename, by a fresh file
  // holding every row that could still be read, each with its own ID.
  // A file that is not a database is left exactly as it was.
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
