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
#include <optional>
#include <vector>

#include "changetrail.h"
#include "dbfile.h"
#include "enginecalls.h"
#include "fitnessrecords.h"
#include "fsops.h"
#include "recordtables.h"
#include "leftovers.h"
#include "repair.h"
#include "salvage.h"
#include "salvagefitness.h"
#include "salvagewrite.h"
#include "sqlitedb.h"
#include "tablesalvage.h"

namespace quillon::dbtool {

namespace {

// What Repair tells the clerk it kept are records: the trail of their
// changes and the counter the lane stations poll come along uncounted.
bool countedAsRecords(const QString& type, const QString& name) {
  return !isTrailTable(type, name) && name.compare(fitnessTable().changes, Qt::CaseInsensitive) != 0;
}

using sqlite::Database;
using sqlite::Statement;
using Step = sqlite::Statement::Step;

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
  // VACUUM INTO arrived in 3.27. The library's own version and set-up need
  // no connection, so they are asked of it directly.
  if (sqlite3_libversion_number() < 3027000)
    throw ToolError(kEngineUnavailable,
                    QString("The database engine %1 is too old; 3.27 or later is needed").arg(sqlite3_libversion()));
  const int rc = sqlite3_initialize();
  if (rc != SQLITE_OK) throw ToolError(rc, QString::fromUtf8(sqlite3_errstr(rc)));
}

void DBEngine::settle(const QString& path) {
  faultPoint(plan_, "open database to settle it");
  Database db = openClerksDb(path, Database::Mode::ReadWrite);
  // Reading the schema takes a read lock, which rolls back a hot journal.
  const QString mode = queryColumn(db, QStringLiteral("PRAGMA journal_mode"), path).value(0);
  queryColumn(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), path);
  if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) {
    // Fold the log in and go back to a plain journal: a file in log mode
    // cannot be read without leaving a log and index beside it, and the
    // file is about to be moved and read by a read-only connection.
    queryColumn(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), path);
    queryColumn(db, QStringLiteral("PRAGMA journal_mode=DELETE"), path);
  }
  faultPoint(plan_, "close settled database");
  // Closing the last connection removes the write-ahead log once folded in.
}

RepairResult DBEngine::RepairDatabase(const QString& path) {
  faultPoint(plan_, "open database for repair");
  RepairResult result;
  Database src = openClerksDb(path, Database::Mode::ReadWrite);

  // The first read tells a database from any other file. A file the engine
  // does not take for a database may still be one whose first page is
  // damaged: the page scan below decides, and leaves the file untouched
  // when it finds no record on it.
  std::optional<ToolError> engineRefused;
  {
    Statement s = Statement::tryPrepare(src, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (s.isNull() || s.tryStep() != Step::Row) {
      const int rc = src.errorCode();
      if (rc == SQLITE_NOTADB)
        engineRefused = ToolError(rc, QDir::toNativeSeparators(path) + ": " + src.errorMessage());
      else if (rc != SQLITE_CORRUPT)
        engineFail(src, path);
    }
  }

  faultPoint(plan_, "check database");
  bool sound = false;
  if (!engineRefused) {
    try {
      sound = integrityOk(src, path) && !infoIdsShared(src, path);
    } catch (const ToolError& e) {
      if (e.number() != SQLITE_CORRUPT) throw;
    }
  }
  if (sound) {
    faultPoint(plan_, "rebuild indexes");
    exec(src, QStringLiteral("REINDEX"), path);
    for (const QString& t : userTables(src, path))
      if (countedAsRecords(QStringLiteral("table"), t)) result.rowsKept += countRows(src, t, path);
    return result;
  }

  // Damaged: rebuild from the schema and every record still on the pages.
  result.rebuilt = true;
  faultPoint(plan_, "read damaged file");
  const QByteArray image = [&] {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw ToolError(EIO, QDir::toNativeSeparators(path) + ": " + f.errorString());
    return f.readAll();
  }();
  const salvage::Scan scan = salvage::scanInfoRows(image);
  const salvage::Scan fitnessScan = scanFitnessRows(image);
  const salvage::Scan trailScan = scanTrailRows(image);
  const bool nothingFound = scan.rows.empty() && fitnessScan.rows.empty();
  if (engineRefused && nothingFound) throw *engineRefused;

  struct Object {
    QString type, name, sql;
  };
  std::vector<Object> objects;
  bool schemaLost = bool(engineRefused);
  {
    // Where the schema cannot be read, the records table's own definition
    // stands in for it: the scan needs nothing else.
    faultPoint(plan_, "read schema");
    std::optional<Statement> s;
    if (!engineRefused)
      s.emplace(Statement::tryPrepare(src, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY rowid")));
    Step r = Step::Failed;
    if (s && !s->isNull())
      while ((r = s->tryStep()) == Step::Row) objects.push_back({s->text(0), s->text(1), s->text(2)});
    if (r != Step::Done) {
      if (nothingFound) engineFail(src, path);
      objects.clear();
      schemaLost = true;
    }
  }
  const auto isInfo = [](const Object& o) {
    return o.type == QLatin1String("table") && o.name.compare(QLatin1String("info"), Qt::CaseInsensitive) == 0;
  };
  if (std::none_of(objects.begin(), objects.end(), isInfo) && !scan.rows.empty())
    objects.insert(objects.begin(), {QStringLiteral("table"), QStringLiteral("info"), infoTableDdl()});
  if (std::none_of(objects.begin(), objects.end(), [](const Object& o) { return isFitnessTable(o.type, o.name); }) &&
      !fitnessScan.rows.empty()) {
    const QStringList ddl = fitnessTableStatements();
    for (const QString& sql : ddl)
      objects.push_back({sql == ddl.first() ? QStringLiteral("table") : QStringLiteral("index"),
                         sql == ddl.first() ? fitnessTableName() : QString(), sql});
  }
  if (std::none_of(objects.begin(), objects.end(), [](const Object& o) { return isTrailTable(o.type, o.name); }) &&
      !trailScan.rows.empty()) {
    const QStringList ddl = trailTableStatements();
    for (const QString& sql : ddl)
      objects.push_back({sql == ddl.first() ? QStringLiteral("table") : QStringLiteral("index"),
                         sql == ddl.first() ? changeTrailTableName() : QString(), sql});
  }
  // The highest row number each table ever gave out, where it can be read.
  QHash<QString, qint64> sequence;
  if (!engineRefused) {
    Statement s = Statement::tryPrepare(src, QStringLiteral("SELECT name, seq FROM sqlite_sequence"));
    if (!s.isNull())
      while (s.tryStep() == Step::Row) sequence.insert(s.text(0), s.integer(1));
  }
  // Where the engine cannot read the numbering, the pages may still hold it.
  if (scan.sequence > 0 && !sequence.contains(QStringLiteral("info")))
    sequence.insert(QStringLiteral("info"), scan.sequence);
  if (fitnessScan.sequence > 0 && !sequence.contains(fitnessTableName()))
    sequence.insert(fitnessTableName(), fitnessScan.sequence);
  const QString userVersion = [&] {
    try {
      if (engineRefused) return QStringLiteral("0");
      return queryColumn(src, QStringLiteral("PRAGMA user_version"), path).value(0, "0");
    } catch (const ToolError&) {
      return QStringLiteral("0");
    }
  }();

  TempBeside temp(path, plan_);
  {
    faultPoint(plan_, "open new file");
    Database dst = openDb(temp.path(), Database::Mode::ReadWrite);
    exec(dst, QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN"), temp.path());
    for (const Object& o : objects)
      if (o.type == QLatin1String("table") && !o.name.startsWith(QLatin1String("sqlite_")) && !o.sql.isEmpty())
        exec(dst, o.sql, temp.path());
    faultPoint(plan_, "copy rows");
    qint64 infoRows = -1;  // rows the scan gave, to be found again in the new file
    qint64 fitnessRows = -1;
    for (const Object& o : objects) {
      if (o.type != QLatin1String("table") || o.name.startsWith(QLatin1String("sqlite_"))) continue;
      // The records table comes off its pages, read one by one; a records
      // table of some other shape, and every other table, through the engine.
      if (isInfo(o) && !scan.rows.empty() && hasInfoFields(dst, o.name, temp.path())) {
        const SalvagePlan plan = planSalvage(scan.rows, sequence.value(o.name, 0));
        insertSalvaged(dst, o.name, plan, scan.encoding, temp.path());
        infoRows = qint64(plan.records.size());
        result.rowsKept += infoRows;
        result.idsRenumbered = plan.renumbered;
        result.rowsDamaged += scan.damagedCells;
        result.pagesDamaged += scan.damagedPages;
        result.conflictingCopies += scan.conflictingCopies;
        continue;
      }
      // The five-event records, too, off their pages.
      if (isFitnessTable(o.type, o.name) && !fitnessScan.rows.empty() &&
          insertSalvagedFitness(dst, o.name, fitnessScan, temp.path())) {
        fitnessRows = qint64(fitnessScan.rows.size());
        result.rowsKept += fitnessRows;
        result.rowsDamaged += fitnessScan.damagedCells;
        result.pagesDamaged += fitnessScan.damagedPages;
        result.conflictingCopies += fitnessScan.conflictingCopies;
        continue;
      }
      // The trail, too: it is not counted among the records kept.
      if (isTrailTable(o.type, o.name) && !trailScan.rows.empty() &&
          insertSalvagedTrail(dst, o.name, trailScan, temp.path()))
        continue;
      TableSalvage copy(src, dst, o.name, path, temp.path());
      copy.run(sequence.value(o.name, -1));
      if (countedAsRecords(o.type, o.name)) result.rowsKept += copy.kept();
    }
    // A file of which nothing can be read is not replaced by an empty one:
    // what is left of it may still matter to someone with better tools. (A
    // file whose tables were empty before it was damaged is rebuilt empty.)
    const bool damageSeen = engineRefused || schemaLost || scan.damagedPages > 0 || scan.damagedCells > 0 ||
                            fitnessScan.damagedPages > 0 || fitnessScan.damagedCells > 0;
    if (result.rowsKept == 0 && damageSeen)
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) +
                                          ": database disk image is malformed beyond repair; no record could be read");
    // Keep the numbering where it was, so no ID of a lost row is given out again.
    for (auto it = sequence.cbegin(); it != sequence.cend(); ++it) {
      Statement s =
          prepare(dst, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1"), temp.path());
      s.bindText(1, it.key());
      s.bindInt(2, it.value());
      s.tryStep();
      if (dst.changes() == 0) {
        Statement ins =
            prepare(dst, QStringLiteral("INSERT INTO sqlite_sequence(name, seq) VALUES(?1, ?2)"), temp.path());
        ins.bindText(1, it.key());
        ins.bindInt(2, it.value());
        ins.tryStep();  // only where the table still exists
      }
    }
    // Indexes, views and triggers last; one that no longer fits the salvaged
    // rows (a unique index over a damaged value) is left out.
    for (const Object& o : objects)
      if (o.type != QLatin1String("table") && !o.sql.isEmpty())
        dst.tryExec(o.sql);
    exec(dst, "PRAGMA user_version=" + QString::number(userVersion.toLongLong()), temp.path());
    faultPoint(plan_, "commit new file");
    exec(dst, QStringLiteral("COMMIT"), temp.path());
    faultPoint(plan_, "check new file");
    if (!integrityOk(dst, temp.path()))
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) + ": the rebuilt database failed its check");
    // The damaged file goes only if the new one holds every record the scan read.
    if ((infoRows >= 0 && countRows(dst, QStringLiteral("info"), temp.path()) < infoRows) ||
        (fitnessRows >= 0 && countRows(dst, fitnessTableName(), temp.path()) < fitnessRows))
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(path) +
                                          ": the rebuilt database lacks records that could be read; nothing was replaced");
  }
  src = Database();
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
  Database src = [&] {
    try {
      return openClerksDb(source, Database::Mode::ReadOnly);
    } catch (const ToolError& e) {
      if (!options.replace) throw;
      throw ToolError(e.number(), QString(e.description())
                                      .replace(QDir::toNativeSeparators(source), QDir::toNativeSeparators(shownSource)));
    }
  }();
  const QStringList tables = userTables(src, shownSource);
  // The copy is flushed once, whole, after it has been checked; flushing
  // it page by page as well only costs time.
  exec(src, QStringLiteral("PRAGMA synchronous=OFF"), shownSource);
  // Reading through a memory map makes the counts below cheap.
  exec(src, QStringLiteral("PRAGMA mmap_size=1073741824"), shownSource);

  TempBeside temp(destination, plan_);
  {
    faultPoint(plan_, "write compacted copy");
    Statement vac = prepare(src, QStringLiteral("VACUUM INTO ?1"), shownSource);
    vac.bindText(1, QDir::toNativeSeparators(temp.path()));
    if (vac.tryStep() != Step::Done) engineFail(src, shownSource);
  }
  {
    // The copy must be whole and hold every row of the source. Counting the
    // rows walks every page of each table's tree in the copy, and the page
    // count must account for the file's whole length. A full structure check
    // (quick_check) would read back pages the engine has only just written
    // from the same cache it wrote them to, and costs more than the copy.
    faultPoint(plan_, "check compacted copy");
    Database copy = openDb(temp.path(), Database::Mode::ReadOnly);
    exec(copy, QStringLiteral("PRAGMA mmap_size=1073741824"), temp.path());
    const qint64 pages = queryColumn(copy, QStringLiteral("PRAGMA page_count"), temp.path()).value(0).toLongLong();
    const qint64 pageSize = queryColumn(copy, QStringLiteral("PRAGMA page_size"), temp.path()).value(0).toLongLong();
    if (pages <= 0 || pages * pageSize != QFileInfo(temp.path()).size())
      throw ToolError(SQLITE_CORRUPT, QDir::toNativeSeparators(destination) + ": the compacted copy failed its check");
    faultPoint(plan_, "count rows");
    for (const QString& t : tables)
      if (countRows(copy, t, temp.path()) != countRows(src, t, shownSource))
        throw ToolError(SQLITE_CORRUPT,
                        QDir::toNativeSeparators(destination) + ": the compacted copy lost rows of table " + t);
  }
  src = Database();
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
