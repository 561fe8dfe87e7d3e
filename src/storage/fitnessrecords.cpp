#include "fitnessrecords.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include "clashrule.h"
#include "fitnesspg.h"
#include "fitnessrows.h"
#include "recordssession.h"
#include "soldierid.h"
#include "sqlitedb.h"
#include "ssnkey.h"

namespace quillon {

namespace {

using K = FitnessField::Kind;

[[noreturn]] void refuse(const QString& field, const QString& value, const char* what) {
  throw DbError(QStringLiteral("Field '%1': \"%2\" %3.").arg(field, value, QLatin1String(what)));
}

QString checked(const FitnessField& f, const QString& value) {
  if (f.name == QLatin1String("dod_id")) {
    if (value.trimmed().isEmpty()) return QString();
    if (const std::optional<QString> d = normalizedDodId(value)) return *d;
    if (looksLikeSsn(value)) refuse(f.name, value, "is an SSN, not a DoD ID number");
    refuse(f.name, value, "is not a DoD ID number (ten digits)");
  }
  if (f.kind == K::Text || f.kind == K::Ssn) return value;
  const QString v = value.trimmed();
  if (v.isEmpty()) return QString();
  switch (f.kind) {
    case K::Number: {
      static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
      if (!digits.match(v).hasMatch()) refuse(f.name, value, "is not a whole number from 0 to 999999999");
      return QString::number(v.toLongLong());
    }
    case K::Decimal: {
      static const QRegularExpression number(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{0,2})?$"));
      if (!number.match(v).hasMatch()) refuse(f.name, value, "is not a number below 10000 with at most two decimals");
      // One written form per value, so the file and the server read back alike.
      QString out = QString::number(v.toDouble(), 'f', 2);
      while (out.endsWith('0')) out.chop(1);
      if (out.endsWith('.')) out.chop(1);
      return out;
    }
    case K::Date: {
      static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
      if (!iso.match(v).hasMatch() || !QDate::fromString(v, Qt::ISODate).isValid())
        refuse(f.name, value, "is not a date written YYYY-MM-DD");
      return v;
    }
    case K::Verdict: {
      QString up = v.toUpper();
      up.remove(' ').remove('-');
      if (up == QLatin1String("GO")) return QStringLiteral("GO");
      if (up == QLatin1String("NOGO")) return QStringLiteral("NO-GO");
      refuse(f.name, value, "is neither GO nor NO-GO");
    }
    case K::Key:
    case K::Text:
    case K::Ssn: break;
  }
  return v;
}

}  // namespace

const QList<FitnessField>& fitnessFields() { return fitnessTable().columns; }

const QStringList& fitnessFieldNames() {
  static const QStringList names = [] {
    QStringList n;
    for (const FitnessField& f : fitnessFields()) n << f.name;
    return n;
  }();
  return names;
}

const QStringList& fitnessFieldsAddedLater() {
  static const QStringList names{QStringLiteral("dod_id")};
  return names;
}

QStringList fitnessTableColumns() {
  QStringList out;
  for (const QString& name : fitnessFieldNames())
    if (!fitnessFieldsAddedLater().contains(name)) out << name;
  return out << QStringLiteral("version") << fitnessFieldsAddedLater();
}

QStringList fitnessTableSqliteDdl() {
  QStringList cols;
  QStringList later;
  for (const FitnessField& f : fitnessFields()) {
    // An upgrade adds a later field after the row version: a file made new
    // holds it in the same place, so that every file's rows read alike
    // (Repair reads them by their place).
    QStringList& to = fitnessFieldsAddedLater().contains(f.name) ? later : cols;
    switch (f.kind) {
      case K::Key: to << f.name + " INTEGER PRIMARY KEY AUTOINCREMENT"; break;
      case K::Number: to << f.name + " INTEGER"; break;
      case K::Decimal: to << f.name + " NUMERIC"; break;
      // Names sort as the three-event table sorts them.
      case K::Text: to << f.name + (f.name == QLatin1String("name") ? " TEXT COLLATE NOCASE" : " TEXT"); break;
      case K::Ssn:
      case K::Date:
      case K::Verdict: to << f.name + " TEXT"; break;
    }
  }
  cols << QStringLiteral("version INTEGER NOT NULL DEFAULT 1") << later;
  const QString t = fitnessTableName();
  return QStringList{"CREATE TABLE " + t + " (" + cols.join(", ") + ")",
          // One record per soldier per date of test.
          "CREATE UNIQUE INDEX " + t + "_soldier_date ON " + t + " (ssn, test_date) WHERE ssn <> ''",
          "CREATE INDEX " + t + "_group ON " + t + " (test_group)",
          // A soldier's records, for their history and card.
          ssnIndexSqlite(t, QStringLiteral("ssn"))} +
         fitnessDodIdIndexesSqliteDdl();
}

QStringList fitnessDodIdIndexesSqliteDdl() {
  // One record per soldier per date of test, by the DoD ID too; and a
  // soldier's records by it (an index of its own, not partial, so that a
  // lookup with the number bound as a parameter uses it).
  return {QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS fitness_tests_dod_id_date ON fitness_tests "
                         "(dod_id, test_date) WHERE dod_id <> ''"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS fitness_tests_dod_id ON fitness_tests (dod_id)")};
}

bool hasFitnessTable(const sqlite::Database& db) {
  sqlite::Statement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name=?"));
  st.bindText(1, fitnessTableName());
  return st.step();
}

void addFitnessTable(sqlite::Database& db) {
  const auto hasInfo = [&] {
    sqlite::Statement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name='info' COLLATE NOCASE"));
    return st.step();
  };
  // Checked again inside the transaction: another scorer may be opening the
  // same file at this moment. A file without info is no records file.
  if (hasFitnessTable(db) || !hasInfo()) return;
  const QString what = QStringLiteral("Cannot add the five-event records to the file");
  if (!db.tryExec(QStringLiteral("BEGIN IMMEDIATE"))) db.fail(what);
  try {
    if (!hasFitnessTable(db))
      for (const QString& sql : fitnessTableSqliteDdl())
        if (!db.tryExec(sql)) db.fail(what);
    if (!db.tryExec(QStringLiteral("COMMIT"))) db.fail(what);
  } catch (const DbError&) {
    db.tryExec(QStringLiteral("ROLLBACK"));
    throw;
  }
}

Record checkedFitnessValues(const Record& values) {
  // Every store passes through here: each field found by its name at once,
  // a name written in other case looked for the long way.
  static const QHash<QString, int> places = [] {
    QHash<QString, int> out;
    for (int i = 0; i < fitnessFieldNames().size(); ++i) out.insert(fitnessFieldNames().at(i), i);
    return out;
  }();
  Record out;
  for (auto it = values.cbegin(); it != values.cend(); ++it) {
    const auto place = places.constFind(it.key());
    const int i = place != places.cend() ? *place : int(fitnessFieldNames().indexOf(it.key().toLower()));
    if (i < 0) throw DbError(QStringLiteral("No field '%1' in the five-event records.").arg(it.key()));
    const FitnessField& f = fitnessFields().at(i);
    if (f.kind == K::Key) throw DbError(QStringLiteral("Field 'id' cannot be changed."));
    out.insert(f.name, it.value().isNull() ? QString() : checked(f, it.value()));
  }
  return out;
}

QList<FieldClash> fitnessClashes(const RowAsRead& asRead, const RowAsRead& now, const Record& changes) {
  // A store answers for the fields it writes (another lane's event may
  // change meanwhile); a deletion, writing none, for all of them.
  const QStringList& names = fitnessFieldNames();
  Change change{asRead.key, {}};
  for (int c = 1; c < names.size(); ++c) {
    if (changes.contains(names.at(c))) change.write(names.at(c), asRead.fields.value(c), changes.value(names.at(c)));
    else if (changes.isEmpty()) change.rest(names.at(c), asRead.fields.value(c));
  }
  return clashesOf(change, [&](const QString& name) { return now.fields.value(names.indexOf(name)); });
}

FitnessRecords::~FitnessRecords() = default;

std::optional<RowAsRead> FitnessRecords::findOfSoldier(const QString& dodId, const QString& ssn,
                                                      const QString& testDate) {
  if (!dodId.isEmpty())
    if (std::optional<RowAsRead> r = findByDodId(dodId, testDate)) return r;
  if (ssn.isEmpty()) return std::nullopt;
  return find(ssn, testDate);
}

std::optional<FitnessRecords::Changes> FitnessRecords::changesSince(const Followed&, qint64) { return std::nullopt; }

std::vector<RowAsRead> FitnessRecords::readLatest(const QString&) { return readAll(); }

std::vector<RowAsRead> FitnessRecords::readAllOf(const QStringList& fields) {
  std::vector<RowAsRead> rows;
  forEachOf(fields, [&rows](const RowAsRead& row) {
    rows.push_back(row);
    return true;
  });
  return rows;
}

void FitnessRecords::forEachOf(const QStringList&, const std::function<bool(const RowAsRead&)>& row) {
  for (const RowAsRead& r : readAll())
    if (!row(r)) return;
}

std::unique_ptr<FitnessRecords> FitnessRecords::forDatabase(const QString& dbPath) {
  return std::make_unique<FitnessRows>([dbPath] { return RecordsSession::forDatabase(dbPath); });
}

std::unique_ptr<FitnessRecords> FitnessRecords::onServer(const QString& conninfo) {
  return std::make_unique<FitnessOnServer>(conninfo);
}

}  // namespace quillon
