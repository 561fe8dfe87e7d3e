#include "tablesalvage.h"

#include <QStringList>
#include <algorithm>
#include <limits>
#include <sqlite3.h>

#include "enginecalls.h"

namespace quillon::dbtool {

namespace {

using sqlite::quoted;
using sqlite::Statement;
using Step = sqlite::Statement::Step;

}  // namespace

void TableSalvage::run(qint64 sequence) {
  QStringList cols;
  {
    Statement info = prepare(src_, "PRAGMA table_info(" + quoted(table_) + ")", srcPath_);
    while (info.tryStep() == Step::Row) cols << quoted(info.text(1));
  }
  if (cols.isEmpty()) return;
  QStringList params;
  for (int i = 0; i <= cols.size(); ++i) params << "?";
  const QString colList = cols.join(',');

  Statement probe = Statement::tryPrepare(
      src_, QString("SELECT rowid, %1 FROM %2 WHERE rowid >= ?1 ORDER BY rowid").arg(colList, quoted(table_)));
  if (probe.isNull()) {
    // A table without row numbers: read straight through, up to the damage.
    insert_.emplace(prepare(dst_, QString("INSERT INTO %1(%2) VALUES(%3)")
                                      .arg(quoted(table_), colList, params.mid(1).join(',')),
                            dstPath_));
    Statement all = prepare(src_, QString("SELECT %1 FROM %2").arg(colList, quoted(table_)), srcPath_);
    Step r;
    while ((r = all.tryStep()) == Step::Row) copyRow(all, 0, cols.size());
    if (r != Step::Done) lost_ += 1;
    return;
  }
  read_.emplace(std::move(probe));
  insert_.emplace(prepare(
      dst_, QString("INSERT INTO %1(rowid,%2) VALUES(%3)").arg(quoted(table_), colList, params.join(',')), dstPath_));
  ncols_ = cols.size() + 1;

  constexpr qint64 kMin = std::numeric_limits<qint64>::min();
  constexpr qint64 kMax = std::numeric_limits<qint64>::max();
  qint64 bound = kMin;
  std::optional<qint64> lastKept;
  for (;;) {
    const auto [finished, failAt] = stream(bound, lastKept);
    if (finished) return;
    // Look for the smallest bound past the damage from which reading works
    // again: widen the step until a probe succeeds, then narrow it down.
    qint64 bad = failAt;
    qint64 good = 0;
    bool found = false;
    for (qint64 step = 1; bad <= kMax - step; step *= 2) {
      const Step r = probeFrom(bad + step);
      if (r == Step::Row) {
        good = bad + step;
        found = true;
        break;
      }
      if (r == Step::Done || step > kMax / 2) break;
    }
    if (!found) {
      // Nothing readable after the damage. The highest number ever given
      // out, where the table keeps one, tells how many rows went with it.
      const qint64 from = lastKept.value_or(0);
      lost_ += (sequence > from) ? sequence - from : 1;
      return;
    }
    while (good - bad > 1) {
      const qint64 mid = bad + (good - bad) / 2;
      if (probeFrom(mid) == Step::Row)
        good = mid;
      else
        bad = mid;
    }
    // Rows between the last one kept and the next readable one are lost.
    probeFrom(good);
    const qint64 next = read_->integer(0);
    const qint64 from = lastKept.value_or(next > 0 ? 0 : next - 1);
    lost_ += std::max<qint64>(1, next - from - 1);
    bound = good;
  }
}

// Reads and copies rows from `bound` on. Returns {true, _} at the table's
// end, or {false, failAt} with the bound at which reading broke down.
std::pair<bool, qint64> TableSalvage::stream(qint64 bound, std::optional<qint64>& lastKept) {
  read_->reset();
  read_->bindInt(1, bound);
  Step r;
  while ((r = read_->tryStep()) == Step::Row) {
    const qint64 id = read_->integer(0);
    copyRow(*read_, 0, ncols_);
    lastKept = id;
    if (id == std::numeric_limits<qint64>::max()) return {true, 0};
    bound = id + 1;
  }
  if (r == Step::Done) return {true, 0};
  // Damage is stepped over; running out of memory, disk or reads is not.
  const int rc = src_.errorCode();
  if (rc == SQLITE_NOMEM || rc == SQLITE_IOERR || rc == SQLITE_FULL) engineFail(src_, srcPath_);
  return {false, bound};
}

Step TableSalvage::probeFrom(qint64 bound) {
  read_->reset();
  read_->bindInt(1, bound);
  return read_->tryStep();
}

void TableSalvage::copyRow(const Statement& from, int first, int n) {
  insert_->reset();
  for (int i = 0; i < n; ++i) insert_->bindColumn(i + 1, from, first + i);
  if (insert_->tryStep() == Step::Done) {
    ++kept_;
    return;
  }
  const int rc = dst_.errorCode();
  if (rc == SQLITE_CONSTRAINT || rc == SQLITE_MISMATCH)
    ++lost_;  // a damaged cell read as something the table cannot hold
  else
    engineFail(dst_, dstPath_);
}

}  // namespace quillon::dbtool
