#include "changetrail.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include "pgconnection.h"
#include "sqlitedb.h"

namespace quillon {

namespace {

using sqlite::Statement;

// The trail's columns as both engines name them, in the order every read
// selects them.
const char* const kColumns =
    "id, changed_at, changed_by, station, address, record_table, record_id, unit, action, field, before, after";

QString trailTableName() { return changeTrailTableName(); }

TracedTable tableNamed(const QString& name) {
  if (name == tracedTableName(TracedTable::FiveEvent)) return TracedTable::FiveEvent;
  Q_ASSERT_X(name == tracedTableName(TracedTable::ThreeEvent), "tableNamed", "not a traced table");
  return TracedTable::ThreeEvent;
}

TrailEntry::Action actionNamed(const QString& name) {
  if (name == QLatin1String("add")) return TrailEntry::Action::Add;
  if (name == QLatin1String("delete")) return TrailEntry::Action::Delete;
  Q_ASSERT_X(name == QLatin1String("change"), "actionNamed", "not an action of the trail");
  return TrailEntry::Action::Change;
}

// One entry from the columns of kColumns, read by `text` (a null string for
// no value) and `integer`.
template <class Text, class Integer>
TrailEntry entryOf(Text text, Integer integer) {
  TrailEntry e;
  e.id = integer(0);
  e.when = QDateTime::fromString(text(1), Qt::ISODateWithMs).toUTC();
  e.who = text(2);
  e.station = text(3);
  e.address = text(4);
  e.table = tableNamed(text(5));
  e.record = integer(6);
  e.unit = text(7);
  e.action = actionNamed(text(8));
  e.field = text(9);
  e.before = text(10);
  e.after = text(11);
  return e;
}

class TrailOnServer : public ChangeTrail {
 public:
  explicit TrailOnServer(const QString& conninfo) : conn_(conninfo) {}

  std::vector<TrailEntry> ofRecord(TracedTable table, qint64 record) override {
    return read(" WHERE record_table = $1 AND record_id = $2",
                {pg::text(tracedTableName(table)), QByteArray::number(record)});
  }
  std::vector<TrailEntry> all() override { return read(QString(), {}); }

 private:
  std::vector<TrailEntry> read(const QString& where, const std::vector<pg::Param>& params) {
    // The time in UTC with its zone written out, whatever the session's.
    const QString select = QString::fromLatin1(kColumns)
                               .replace(QLatin1String("changed_at"),
                                        QLatin1String("to_char(changed_at AT TIME ZONE 'UTC', "
                                                      "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"));
    const pg::Result r =
        conn_.exec(("SELECT " + select + " FROM change_trail" + where + " ORDER BY id").toUtf8().constData(), params);
    std::vector<TrailEntry> out;
    out.reserve(r.rows());
    for (int i = 0; i < r.rows(); ++i)
      out.push_back(entryOf([&](int c) { return r.isNull(i, c) ? QString() : r.value(i, c); },
                            [&](int c) { return r.integer(i, c); }));
    return out;
  }

  pg::Connection conn_;
};

class TrailInFile : public ChangeTrail {
 public:
  explicit TrailInFile(const QString& path) : path_(path) {}

  std::vector<TrailEntry> ofRecord(TracedTable table, qint64 record) override {
    return read(QStringLiteral(" WHERE record_table=? AND record_id=?"),
                {tracedTableName(table), QString::number(record)});
  }
  std::vector<TrailEntry> all() override { return read(QString(), {}); }

 private:
  std::vector<TrailEntry> read(const QString& where, const QStringList& args) {
    if (!db_.isOpen()) db_ = sqlite::Database(path_, sqlite::Database::Mode::ReadOnly);
    // A file no scorer of this kind has changed yet has no trail: nothing
    // was traced in it.
    if (!sqlite::hasTable(db_, trailTableName())) return {};
    Statement st(db_, "SELECT " + QString::fromLatin1(kColumns) + " FROM change_trail" + where + " ORDER BY id");
    for (int i = 0; i < args.size(); ++i) st.bindText(i + 1, args.at(i));
    std::vector<TrailEntry> out;
    while (st.step())
      out.push_back(entryOf([&](int c) { return st.text(c); }, [&](int c) { return st.integer(c); }));
    return out;
  }

  QString path_;
  sqlite::Database db_;
};

// The trigger that writes the trail of `action` on `table`, whose columns
// are `columns`: one row per field whose value the statement changed.
QString triggerSql(const QString& table, const QStringList& columns, TrailEntry::Action action) {
  const bool add = action == TrailEntry::Action::Add;
  const bool del = action == TrailEntry::Action::Delete;
  const QString row = del ? QStringLiteral("old") : QStringLiteral("new");
  // Each field as (name, before, after). An add or a delete always leaves
  // the ID, so a record with no value at all is traced too.
  QStringList fields;
  if (!(action == TrailEntry::Action::Change))
    fields << QStringLiteral("SELECT 'id' AS f, %1 AS b, %2 AS a")
                  .arg(add ? QStringLiteral("NULL") : QStringLiteral("old.rowid"),
                       del ? QStringLiteral("NULL") : QStringLiteral("new.rowid"));
  bool hasUnit = false;
  for (const QString& c : columns) {
    const QString name = c.toLower();
    if (name == QLatin1String("id") || name == QLatin1String("version")) continue;
    hasUnit = hasUnit || name == QLatin1String("unit");
    const QString col = sqlite::quoted(c);
    fields << QStringLiteral("SELECT '%1' AS f, %2 AS b, %3 AS a")
                  .arg(name, add ? QStringLiteral("NULL") : "old." + col, del ? QStringLiteral("NULL") : "new." + col);
  }
  const QString unit = hasUnit ? "nullif(upper(trim(" + row + ".unit)), '')" : QStringLiteral("NULL");
  const QString name = sqlite::quoted(table.toLower() + "_trail_" + actionName(action));
  return QStringLiteral("CREATE TEMP TRIGGER %1 AFTER %2 ON main.%3 BEGIN "
                        "INSERT INTO change_trail (changed_at, changed_by, station, record_table, record_id, unit, "
                        "action, field, before, after) "
                        "SELECT strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), quillon_who(), quillon_where(), '%4', %5.rowid, "
                        "%6, '%7', f, b, a FROM (%8) WHERE b IS NOT a; END")
      .arg(name, add ? QStringLiteral("INSERT") : del ? QStringLiteral("DELETE") : QStringLiteral("UPDATE"),
           sqlite::quoted(table), table.toLower(), row, unit, actionName(action), fields.join(" UNION ALL "));
}

QStringList columnsOf(const sqlite::Database& db, const QString& table) {
  Statement st(db, "PRAGMA table_info(" + sqlite::quoted(table) + ")");
  QStringList out;
  while (st.step()) out << st.text(1);
  return out;
}

// The triggers that trace this connection's changes, so that they name
// every field the tables have now. One already there as it would be made is
// kept: making a trigger changes the connection's schema, which every
// statement kept for later must then compile again.
void traceChangesOn(sqlite::Database& db) {
  for (const TracedTable t : {TracedTable::ThreeEvent, TracedTable::FiveEvent}) {
    const QString table = tracedTableName(t);
    const QStringList columns = columnsOf(db, table);
    for (const auto a : {TrailEntry::Action::Add, TrailEntry::Action::Change, TrailEntry::Action::Delete}) {
      const QString name = table + "_trail_" + actionName(a);
      const QString sql = columns.isEmpty() ? QString() : triggerSql(table, columns, a);
      Statement now(db, QStringLiteral("SELECT sql FROM sqlite_temp_master WHERE type = 'trigger' AND name = ?"));
      now.bindText(1, name);
      const QString made = now.step() ? now.text(0) : QString();
      // The engine keeps a temporary trigger's text without its TEMP.
      static const QString kTemp = QStringLiteral("CREATE TEMP TRIGGER "), kKept = QStringLiteral("CREATE TRIGGER ");
      if (!made.isNull() && sql.startsWith(kTemp) && made == kKept + sql.mid(kTemp.size())) continue;
      db.exec("DROP TRIGGER IF EXISTS temp." + sqlite::quoted(name));
      if (!sql.isEmpty()) db.exec(sql);
    }
  }
}

}  // namespace

QStringList changeTrailSqliteDdl() {
  return {QStringLiteral("CREATE TABLE change_trail (id INTEGER PRIMARY KEY, changed_at TEXT NOT NULL, "
                         "changed_by TEXT NOT NULL, station TEXT, address TEXT, record_table TEXT NOT NULL, "
                         "record_id INTEGER NOT NULL, unit TEXT, action TEXT NOT NULL, field TEXT NOT NULL, "
                         "before TEXT, after TEXT)"),
          QStringLiteral("CREATE INDEX change_trail_record ON change_trail (record_table, record_id, id)")};
}

QStringList changeTrailColumns() { return QString::fromLatin1(kColumns).split(QStringLiteral(", ")); }

QString tracedTableName(TracedTable t) {
  return t == TracedTable::FiveEvent ? QStringLiteral("fitness_tests") : QStringLiteral("info");
}

QString actionName(TrailEntry::Action a) {
  switch (a) {
    case TrailEntry::Action::Add: return QStringLiteral("add");
    case TrailEntry::Action::Change: return QStringLiteral("change");
    case TrailEntry::Action::Delete: return QStringLiteral("delete");
  }
  return QString();
}

ChangeTrail::~ChangeTrail() = default;

std::unique_ptr<ChangeTrail> ChangeTrail::forDatabase(const QString& dbPath) {
  const QString conn = pg::connFilePath(QFileInfo(dbPath).absolutePath());
  if (QFileInfo::exists(conn)) return std::make_unique<TrailOnServer>(pg::readConnFile(conn));
  return std::make_unique<TrailInFile>(dbPath);
}

std::unique_ptr<ChangeTrail> ChangeTrail::onServer(const QString& conninfo) {
  return std::make_unique<TrailOnServer>(conninfo);
}

void addChangeTrail(sqlite::Database& db) {
  if (!sqlite::hasTable(db, trailTableName())) {
    const QString what = QStringLiteral("Cannot add the trail of changes to the file");
    if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) db.fail(what);
    try {
      // Asked again inside the transaction: another scorer may be opening
      // the same file at this moment.
      if (!sqlite::hasTable(db, trailTableName()))
        for (const QString& sql : changeTrailSqliteDdl())
          if (!db.tryExec(sql)) db.fail(what);
      if (!db.tryExec(QStringLiteral("COMMIT"))) db.fail(what);
    } catch (const DbError&) {
      db.tryExec(QStringLiteral("ROLLBACK"));
      throw;
    }
  }
  // The triggers cost more to make than a look-up costs in all: a
  // connection that only reads never makes them.
  if (db.readyForChanges())
    traceChangesOn(db);
  else
    db.beforeFirstChangeTo({tracedTableName(TracedTable::ThreeEvent), tracedTableName(TracedTable::FiveEvent)},
                           traceChangesOn);
}

namespace {

QString csvField(const QString& v) {
  if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) && !v.contains(QLatin1Char('\n')) &&
      !v.contains(QLatin1Char('\r')) && v.trimmed() == v)
    return v;
  return '"' + QString(v).replace(QLatin1String("\""), QLatin1String("\"\"")) + '"';
}

}  // namespace

void exportTrailCsv(const std::vector<TrailEntry>& entries, const QString& path) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly))
    throw DbError(path + ": " + f.errorString());
  // Before the first byte: the file never stands readable by others.
  if (!f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    throw DbError(path + ": " + f.errorString());
  QByteArray out = "when,who,station,address,table,record,unit,action,field,before,after\r\n";
  for (const TrailEntry& e : entries) {
    const QStringList line = {e.when.toUTC().toString(Qt::ISODateWithMs), e.who, e.station, e.address,
                              tracedTableName(e.table), QString::number(e.record), e.unit, actionName(e.action),
                              e.field, e.before, e.after};
    QStringList cells;
    for (const QString& c : line) cells << csvField(c);
    out += cells.join(',').toUtf8() + "\r\n";
  }
  if (f.write(out) != out.size() || !f.commit()) throw DbError(path + ": " + f.errorString());
}

}  // namespace quillon
