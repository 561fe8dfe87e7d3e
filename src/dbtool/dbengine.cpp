#include "dbengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTemporaryFile>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "dbfile.h"
#include "fsops.h"
#include "leftovers.h"
#include "repair.h"
#include "salvage.h"
#include "salvagewrite.h"

namespace quillon::dbtool {

namespace {

QByteArray nativePath(const QString& path) { return QDir::toNativeSeparators(path).toUtf8(); }

QString quoted(const QString& ident) {
  QString q = ident;
  q.replace('"', "\"\"");
  return '"' + q + '"';
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

[[noreturn]] void engineFail(sqlite3* db, int rc, const QString& path) {
  const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  throw ToolError(rc & 0xff, QDir::toNativeSeparators(path) + ": " + text);
}

Db openDb(const QString& path, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(nativePath(path).constData(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) engineFail(raw, rc, path);
  sqlite3_extended_result_codes(raw, 0);
  return db;
}

// The clerk's database. An empty file reads as an empty database to the
// engine, so it would be "compacted" over the last good backup; it is
// refused as what it is to the clerk: not a database.
Db openClerksDb(const QString& path, int flags) {
  const QFileInfo fi(path);
  if (fi.isFile() && fi.size() == 0)
    throw ToolError(SQLITE_NOTADB, QDir::toNativeSeparators(path) + ": " +
                                       QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB)) + " (the file is empty)");
  return openDb(path, flags);
}

Stmt prepare(sqlite3* db, const QString& sql, const QString& path) {
  sqlite3_stmt* raw = nullptr;
  const QByteArray utf8 = sql.toUtf8();
  const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, nullptr);
  Stmt s(raw);
  if (rc != SQLITE_OK) engineFail(db, rc, path);
  return s;
}

void exec(sqlite3* db, const QString& sql, const QString& path) {
  const QByteArray utf8 = sql.toUtf8();
  const int rc = sqlite3_exec(db, utf8.constData(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) engineFail(db, rc, path);
}

QString columnText(sqlite3_stmt* s, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
  return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, col)) : QString();
}

// The rows of a single-column pragma or query; throws on any error.
QStringList queryColumn(sqlite3* db, const QString& sql, const QString& path) {
  Stmt s = prepare(db, sql, path);
  QStringList out;
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) out << columnText(s.get(), 0);
  if (rc != SQLITE_DONE) engineFail(db, rc, path);
  return out;
}

bool integrityOk(sqlite3* db, const QString& path) {
  const QStringList r = queryColumn(db, QStringLiteral("PRAGMA integrity_check"), path);
  return r.size() == 1 && r.first() == QLatin1String("ok");
}

// Ordinary tables of the database (not SQLite's own).
QStringList userTables(sqlite3* db, const QString& path) {
  return queryColumn(db,
                     QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' "
                                    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"),
                     path);
}

qint64 countRows(sqlite3* db, const QString& table, const QString& path) {
  Stmt s = prepare(db, "SELECT count(*) FROM " + quoted(table), path);
  const int rc = sqlite3_step(s.get());
  if (rc != SQLITE_ROW) engineFail(db, rc, path);
  return sqlite3_column_int64(s.get(), 0);
}

// An empty file of a fresh name in `dir`, to be filled by the engine and
// renamed over the real name once complete. Removed again unless kept.
class TempBeside {
 public:
  TempBeside(const QString& finalPath, FaultPlan* plan) {
    faultPoint(plan, "create temporary file");
    const QFileInfo fi(finalPath);
    QTemporaryFile t(QDir(fi.absolutePath()).filePath(temporaryTemplate(fi.fileName())));
    t.setAutoRemove(false);
    // A name too long for the folder gives no file and no name at all.
    if (!t.open() || t.fileName().isEmpty())
      throw ToolError(EIO, QDir::toNativeSeparators(fi.absolutePath()) + ": a temporary file beside " + fi.fileName() +
                               " cannot be made: " + t.errorString());
    path_ = t.fileName();
  }
  ~TempBeside() {
    if (kept_) return;
    // The engine's journal of the copy holds the same names and SSNs.
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) QFile::remove(path_ + QLatin1String(suffix));
  }
  TempBeside(const TempBeside&) = delete;
  TempBeside& operator=(const TempBeside&) = delete;
  const QString& path() const { return path_; }
  void keep() { kept_ = true; }

 private:
  QString path_;
  bool kept_ = false;
};

// Moves a finished temporary file onto its real name: permissions of the
// file it stands for, contents on disk, one rename, directory entry on disk.
void installFile(TempBeside& temp, const QString& permissionsLike, const QString& finalPath, FaultPlan* plan) {
  faultPoint(plan, "copy permissions");
  fs::copyPermissions(permissionsLike, temp.path());
  faultPoint(plan, "flush new file");
  fs::syncPath(temp.path());
  faultPoint(plan, "rename new file into place");
  fs::renameFile(temp.path(), finalPath);
  temp.keep();
  faultPoint(plan, "flush directory");
  fs::syncPath(QFileInfo(finalPath).absolutePath());
}

// Copies every readable row of one table from `src` into the same table of
// `dst`. Reads in row-number order and, where a stretch cannot be read,
// probes forward for the next readable row.
class TableSalvage {
 public:
  TableSalvage(sqlite3* src, sqlite3* dst, const QString& table, const QString& srcPath, const QString& dstPath)
      : src_(src), dst_(dst), table_(table), srcPath_(srcPath), dstPath_(dstPath) {}

  // `sequence`: the highest row number the table ever gave out, or -1.
  void run(qint64 sequence) {
    QStringList cols;
    {
      Stmt info = prepare(src_, "PRAGMA table_info(" + quoted(table_) + ")", srcPath_);
      while (sqlite3_step(info.get()) == SQLITE_ROW) cols << quoted(columnText(info.get(), 1));
    }
    if (cols.isEmpty()) return;
    QStringList params;
    for (int i = 0; i <= cols.size(); ++i) params << "?";
    const QString colList = cols.join(',');

    sqlite3_stmt* probe = nullptr;
    const QByteArray probeSql =
        QString("SELECT rowid, %1 FROM %2 WHERE rowid >= ?1 ORDER BY rowid").arg(colList, quoted(table_)).toUtf8();
    if (sqlite3_prepare_v2(src_, probeSql.constData(), -1, &probe, nullptr) != SQLITE_OK) {
      // A table without row numbers: read straight through, up to the damage.
      sqlite3_finalize(probe);
      insert_ = prepare(dst_, QString("INSERT INTO %1(%2) VALUES(%3)")
                                  .arg(quoted(table_), colList, params.mid(1).join(',')),
                        dstPath_);
      Stmt all = prepare(src_, QString("SELECT %1 FROM %2").arg(colList, quoted(table_)), srcPath_);
      int rc;
      while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) copyRow(all.get(), 0, cols.size());
      if (rc != SQLITE_DONE) lost_ += 1;
      return;
    }
    read_.reset(probe);
    insert_ = prepare(dst_, QString("INSERT INTO %1(rowid,%2) VALUES(%3)").arg(quoted(table_), colList, params.join(',')),
                      dstPath_);
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
        const int r = probeFrom(bad + step);
        if (r == SQLITE_ROW) {
          good = bad + step;
          found = true;
          break;
        }
        if (r == SQLITE_DONE || step > kMax / 2) break;
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
        if (probeFrom(mid) == SQLITE_ROW)
          good = mid;
        else
          bad = mid;
      }
      // Rows between the last one kept and the next readable one are lost.
      probeFrom(good);
      const qint64 next = sqlite3_column_int64(read_.get(), 0);
      const qint64 from = lastKept.value_or(next > 0 ? 0 : next - 1);
      lost_ += std::max<qint64>(1, next - from - 1);
      bound = good;
    }
  }

  qint64 kept() const { return kept_; }
  qint64 lost() const { return lost_; }

 private:
  // Reads and copies rows from `bound` on. Returns {true, _} at the table's
  // end, or {false, failAt} with the bound at which reading broke down.
  std::pair<bool, qint64> stream(qint64 bound, std::optional<qint64>& lastKept) {
    sqlite3_reset(read_.get());
    sqlite3_bind_int64(read_.get(), 1, bound);
    int rc;
    while ((rc = sqlite3_step(read_.get())) == SQLITE_ROW) {
      const qint64 id = sqlite3_column_int64(read_.get(), 0);
      copyRow(read_.get(), 0, ncols_);
      lastKept = id;
      if (id == std::numeric_limits<qint64>::max()) return {true, 0};
      bound = id + 1;
    }
    if (rc == SQLITE_DONE) return {true, 0};
    if (rc == SQLITE_NOMEM || rc == SQLITE_IOERR || rc == SQLITE_FULL) engineFail(src_, rc, srcPath_);
    return {false, bound};
  }

  int probeFrom(qint64 bound) {
    sqlite3_reset(read_.get());
    sqlite3_bind_int64(read_.get(), 1, bound);
    return sqlite3_step(read_.get());
  }

  void copyRow(sqlite3_stmt* from, int first, int n) {
    sqlite3_reset(insert_.get());
    for (int i = 0; i < n; ++i) sqlite3_bind_value(insert_.get(), i + 1, sqlite3_column_value(from, first + i));
    const int rc = sqlite3_step(insert_.get());
    if (rc == SQLITE_DONE)
      ++kept_;
    else if (rc == SQLITE_CONSTRAINT || rc == SQLITE_MISMATCH)
      ++lost_;  // a damaged cell read as something the table cannot hold
    else
      engineFail(dst_, rc, dstPath_);
  }

  sqlite3* src_;
  sqlite3* dst_;
  QString table_, srcPath_, dstPath_;
  Stmt read_, insert_;
  int ncols_ = 0;
  qint64 kept_ = 0, lost_ = 0;
};

}  // namespace

QStringList journalFiles(const QString& dbPath) {
  QStringList found;
  for (const char* suffix : {"-journal", "-wal"}) {
    const QString p = dbPath + QLatin1String(suffix);
    const fs::Kind kind = fs::kindOf(p);
    if (kind == fs::Kind::Missing) continue;
    if (kind == fs::Kind::PlainFile) {
      // The engine leaves an empty journal, or one whose header it has
      // zeroed, after a finished change in some journal modes: such a file
      // holds nothing the database needs and travels with nothing.
      QFile f(p);
      if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(28);
        if (head.isEmpty() || head.count('\0') == head.size()) continue;
      }
    }
    found << p;
  }
  return found;
}

DBEngine::DBEngine(FaultPlan* plan) : plan_(plan) {
  faultPoint(plan_, "create engine");
  // VACUUM INTO arrived in 3.27.
  if (sqlite3_libversion_number() < 3027000)
    throw ToolError(kEngineUnavailable,
                    QString("The database engine %1 is too old; 3.27 or later is needed").arg(sqlite3_libversion()));
  const int rc = sqlite3_initialize();
  if (rc != SQLITE_OK) throw ToolError(rc, QString::fromUtf8(sqlite3_errstr(rc)));
}

void DBEngine::settle(const QString& path) {
  faultPoint(plan_, "open database to settle it");
  Db db = openClerksDb(path, SQLITE_OPEN_READWRITE);
  // Reading the schema takes a read lock, which rolls back a hot journal.
  const QString mode = queryColumn(db.get(), QStringLiteral("PRAGMA journal_mode"), path).value(0);
  queryColumn(db.get(), QStringLiteral("SELECT count(*) FROM sqlite_master"), path);
  if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
    // Fold the log in and go back to a plain journal: a file in log mode
    // cannot be read without leaving a log and index beside it, and the
    // file is about to be moved and read by a read-only connection.
    queryColumn(db.get(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), path);
    queryColumn(db.get(), QStringLiteral("PRAGMA journal_mode=DELETE"), path);
  }
  faultPoint(plan_, "close settled database");
  // Closing the last connection removes the write-ahead log once folded in.
}

RepairResult DBEngine::RepairDatabase(const QString& path) {
  faultPoint(plan_, "open database for repair");
  RepairResult result;
  Db src = openClerksDb(path, SQLITE_OPEN_READWRITE);

  // The first read tells a database from any other file. A file the engine
  // does not take for a database may still be one whose first page is
  // damaged: the page scan below decides, and leaves the file untouched
  // when it finds no record on it.
  std::optional<ToolError> engineRefused;
  {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(src.get(), "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    Stmt s(raw);
    if (rc == SQLITE_OK) rc = sqlite3_step(s.get());
    if (rc == SQLITE_NOTADB)
      engineRefused = ToolError(rc, QDir::toNativeSeparators(path) + ": " + QString::fromUtf8(sqlite3_errmsg(src.get())));
    else if (rc != SQLITE_ROW && rc != SQLITE_CORRUPT)
      engineFail(src.get(), rc, path);
  }

  faultPoint(plan_, "check database");
  bool sound = false;
  if (!engineRefused) {
    try {
      sound = integrityOk(src.get(), path) && !infoIdsShared(src.get(), path);
    } catch (const ToolError& e) {
      if (e.number() != SQLITE_CORRUPT) throw;
    }
  }
  if (sound) {
    faultPoint(plan_, "rebuild indexes");
    exec(src.get(), QStringLiteral("REINDEX"), path);
    for (const QString& t : userTables(src.get(), path)) result.rowsKept += countRows(src.get(), t, path);
    return result;
  }

  // Damaged: rebuild from the schema and every record still on the pages.
  result.rebuilt = true;
  faultPoint(plan_, "read damaged file");
  const salvage::Scan scan = [&] {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw ToolError(EIO, QDir::toNativeSeparators(path) + ": " + f.errorString());
    return salvage::scanInfoRows(f.readAll());
  }();
  if (engineRefused && scan.rows.empty()) throw *engineRefused;

  struct Object {
    QString type, name, sql;
  };
  std::vector<Object> objects;
  bool schemaLost = bool(engineRefused);
  {
    // Where the schema cannot be read, the records table's own definition
    // stands in for it: the scan needs nothing else.
    faultPoint(plan_, "read schema");
    sqlite3_stmt* raw = nullptr;
    int rc = engineRefused ? SQLITE_NOTADB
                           : sqlite3_prepare_v2(src.get(), "SELECT type, name, sql FROM sqlite_master ORDER BY rowid",
                                                -1, &raw, nullptr);
    Stmt s(raw);
    if (rc == SQLITE_OK)
      while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        objects.push_back({columnText(s.get(), 0), columnText(s.get(), 1), columnText(s.get(), 2)});
    if (rc != SQLITE_DONE) {
      if (scan.rows.empty()) engineFail(src.get(), rc, path);
      objects.clear();
      schemaLost = true;
    }
  }
  const auto isInfo = [](const Object& o) {
    return o.type == QLatin1String("table") && o.name.compare(QLatin1String("info"), Qt::CaseInsensitive) == 0;
  };
  if (std::none_of(objects.begin(), objects.end(), isInfo) && !scan.rows.empty())
    objects.insert(objects.begin(), {QStringLiteral("table"), QStringLiteral("info"), infoTableDdl()});
  // The highest row number each table ever gave out, where it can be read.
  QHash<QString, qint64> sequence;
  if (!engineRefused) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(src.get(), "SELECT name, seq FROM sqlite_sequence", -1, &raw, nullptr) == SQLITE_OK) {
      Stmt s(raw);
      while (sqlite3_step(s.get()) == SQLITE_ROW) sequence.insert(columnText(s.get(), 0), sqlite3_column_int64(s.get(), 1));
    } else {
      sqlite3_finalize(raw);
    }
  }
  // Where the engine cannot read the numbering, the pages may still hold it.
  if (scan.sequence > 0 && !sequence.contains(QStringLiteral("info")))
    sequence.insert(QStringLiteral("info"), scan.sequence);
  const QString userVersion = [&] {
    try {
      if (engineRefused) return QStringLiteral("0");
      return queryColumn(src.get(), QStringLiteral("PRAGMA user_version"), path).value(0, "0");
    } catch (const ToolError&) {
      return QStringLiteral("0");
    }
  }();

  TempBeside temp(path, plan_);
  {
    faultPoint(plan_, "open new file");
    Db dst = openDb(temp.path(), SQLITE_OPEN_READWRITE);
    exec(dst.get(), QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN"), temp.path());
    for (const Object& o : objects)
      if (o.type == QLatin1String("table") && !o.name.startsWith(QLatin1String("sqlite_")) && !o.sql.isEmpty())
        exec(dst.get(), o.sql, temp.path());
    faultPoint(plan_, "copy rows");
    qint64 infoRows = -1;  // rows the scan gave, to be found again in the new file
    for (const Object& o : objects) {
      if (o.type != QLatin1String("table") || o.name.startsWith(QLatin1String("sqlite_"))) continue;
      // The records table comes off its pages, read one by one; a records
      // table of some other shape, and every other table, through the engine.
      if (isInfo(o) && !scan.rows.empty() && hasInfoFields(dst.get(), o.name, temp.path())) {
        const SalvagePlan plan = planSalvage(scan.rows, sequence.value(o.name, 0));
        insertSalvaged(dst.get(), o.name, plan, scan.encoding, temp.path());
        infoRows = qint64(plan.records.size());
        result.rowsKept += infoRows;
        result.idsRenumbered = plan.renumbered;
        result.rowsDamaged = scan.damagedCells;
        result.pagesDamaged = scan.damagedPages;
        result.conflictingCopies = scan.conflictingCopies;
        continue;
      }
      TableSalvage copy(src.get(), dst.get(), o.name, path, temp.path());
      copy.run(sequence.value(o.name, -1));
      result.rowsKept += copy.kept();
    }
    // A file of which nothing can be read is not replaced by an empty one:
    // what is left of it may still matter to someone with better tools. (A
    // file whose tables were empty before it was damaged is rebuilt empty.)
    const bool damageSeen = engineRefused || schemaLost || scan.damagedPages > 0 || scan.damagedCells > 0;
    if (result.rowsKept == 0 && damageSeen)
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) +
                                          ": database disk image is malformed beyond repair; no record could be read");
    // Keep the numbering where it was, so no ID of a lost row is given out again.
    for (auto it = sequence.cbegin(); it != sequence.cend(); ++it) {
      Stmt s = prepare(dst.get(),
                       QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1"), temp.path());
      const QByteArray name = it.key().toUtf8();
      sqlite3_bind_text(s.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(s.get(), 2, it.value());
      sqlite3_step(s.get());
      if (sqlite3_changes(dst.get()) == 0) {
        Stmt ins = prepare(dst.get(), QStringLiteral("INSERT INTO sqlite_sequence(name, seq) VALUES(?1, ?2)"),
                           temp.path());
        sqlite3_bind_text(ins.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(ins.get(), 2, it.value());
        sqlite3_step(ins.get());  // only where the table still exists
      }
    }
    // Indexes, views and triggers last; one that no longer fits the salvaged
    // rows (a unique index over a damaged value) is left out.
    for (const Object& o : objects)
      if (o.type != QLatin1String("table") && !o.sql.isEmpty())
        sqlite3_exec(dst.get(), o.sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    exec(dst.get(), "PRAGMA user_version=" + QString::number(userVersion.toLongLong()), temp.path());
    faultPoint(plan_, "commit new file");
    exec(dst.get(), QStringLiteral("COMMIT"), temp.path());
    faultPoint(plan_, "check new file");
    if (!integrityOk(dst.get(), temp.path()))
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) + ": the rebuilt database failed its check");
    // The damaged file goes only if the new one holds every record the scan read.
    if (infoRows >= 0 && countRows(dst.get(), QStringLiteral("info"), temp.path()) < infoRows)
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) +
                                          ": the rebuilt database lacks records that could be read; nothing was replaced");
  }
  src.reset();
  // The damaged original stays beside the repaired file, so a repair that
  // turns out worse can be undone by hand. It takes the backup's name in one
  // rename, through a second name, so the backup name never stands empty.
  faultPoint(plan_, "keep damaged file");
  const QString keep = keepDamagedOriginal(path);
  installFile(temp, path, path, plan_);
  result.keptAs = keep;
  return result;
}

void DBEngine::CompactDatabase(const QString& source, const QString& destination, const CompactOptions& options) {
  if (options.installed) *options.installed = false;
  faultPoint(plan_, "open source");
  if (fs::kindOf(destination) != fs::Kind::Missing && !options.replace)
    throw ToolError(EEXIST, QDir::toNativeSeparators(destination) + ": " + fs::errnoText(EEXIST));
  // Where the source is a second name of the destination, the clerk knows
  // the file by the destination's name: failures are told under it.
  const QString shownSource = options.replace ? destination : source;
  Db src = [&] {
    try {
      return openClerksDb(source, SQLITE_OPEN_READONLY);
    } catch (const ToolError& e) {
      if (!options.replace) throw;
      throw ToolError(e.number(), QString(e.description())
                                      .replace(QDir::toNativeSeparators(source), QDir::toNativeSeparators(shownSource)));
    }
  }();
  const QStringList tables = userTables(src.get(), shownSource);
  // The copy is flushed once, whole, after it has been checked; flushing
  // it page by page as well only costs time.
  exec(src.get(), QStringLiteral("PRAGMA synchronous=OFF"), shownSource);
  // Reading through a memory map makes the counts below cheap.
  exec(src.get(), QStringLiteral("PRAGMA mmap_size=1073741824"), shownSource);

  TempBeside temp(destination, plan_);
  {
    faultPoint(plan_, "write compacted copy");
    Stmt vac = prepare(src.get(), QStringLiteral("VACUUM INTO ?1"), shownSource);
    const QByteArray target = nativePath(temp.path());
    sqlite3_bind_text(vac.get(), 1, target.constData(), int(target.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(vac.get());
    if (rc != SQLITE_DONE) engineFail(src.get(), rc, shownSource);
  }
  {
    // The copy must be whole and hold every row of the source. Counting the
    // rows walks every page of each table's tree in the copy, and the page
    // count must account for the file's whole length. A full structure check
    // (quick_check) would read back pages the engine has only just written
    // from the same cache it wrote them to, and costs more than the copy.
    faultPoint(plan_, "check compacted copy");
    Db copy = openDb(temp.path(), SQLITE_OPEN_READONLY);
    exec(copy.get(), QStringLiteral("PRAGMA mmap_size=1073741824"), temp.path());
    const qint64 pages = queryColumn(copy.get(), QStringLiteral("PRAGMA page_count"), temp.path()).value(0).toLongLong();
    const qint64 pageSize = queryColumn(copy.get(), QStringLiteral("PRAGMA page_size"), temp.path()).value(0).toLongLong();
    if (pages <= 0 || pages * pageSize != QFileInfo(temp.path()).size())
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(destination) + ": the compacted copy failed its check");
    faultPoint(plan_, "count rows");
    for (const QString& t : tables)
      if (countRows(copy.get(), t, temp.path()) != countRows(src.get(), t, shownSource))
        throw ToolError(SQLITE_CORRUPT,
                        QDir::toNativeSeparators(destination) + ": the compacted copy lost rows of table " + t);
  }
  src.reset();
  faultPoint(plan_, "copy permissions");
  fs::copyPermissions(source, temp.path());
  faultPoint(plan_, "flush new file");
  fs::syncPath(temp.path());
  faultPoint(plan_, "rename new file into place");
  fs::renameFile(temp.path(), destination);
  temp.keep();
  if (options.installed) *options.installed = true;
  faultPoint(plan_, "flush directory");
  fs::syncPath(QFileInfo(destination).absolutePath());
}

}  // namespace quillon::dbtool
