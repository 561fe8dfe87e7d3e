#pragma once
// Repair's copy of a table through the engine, for every table the page
// scan does not read itself: each row that can still be read is copied,
// and the rows of a stretch that cannot are counted as lost.

#include <QString>
#include <optional>
#include <utility>

#include "sqlitedb.h"

namespace quillon::dbtool {

// Copies every readable row of one table from `src` into the same table of
// `dst`. Reads in row-number order and, where a stretch cannot be read,
// probes forward for the next readable row. Failures other than damage
// (memory, disk, reads) raise ToolError.
class TableSalvage {
 public:
  TableSalvage(const sqlite::Database& src, const sqlite::Database& dst, const QString& table, const QString& srcPath,
               const QString& dstPath)
      : src_(src), dst_(dst), table_(table), srcPath_(srcPath), dstPath_(dstPath) {}

  // `sequence`: the highest row number the table ever gave out, or -1.
  void run(qint64 sequence);

  qint64 kept() const { return kept_; }
  qint64 lost() const { return lost_; }

 private:
  std::pair<bool, qint64> stream(qint64 bound, std::optional<qint64>& lastKept);
  sqlite::Statement::Step probeFrom(qint64 bound);
  void copyRow(const sqlite::Statement& from, int first, int n);

  const sqlite::Database& src_;
  const sqlite::Database& dst_;
  QString table_, srcPath_, dstPath_;
  std::optional<sqlite::Statement> read_, insert_;
  int ncols_ = 0;
  qint64 kept_ = 0, lost_ = 0;
};

}  // namespace quillon::dbtool
