#include "fitnesssqlite.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "changetrail.h"
#include "ssnkey.h"

namespace quillon {

namespace {

using sqlite::Statement;

RowAsRead rowOf(const Statement& st) {
  RowAsRead r;
  const int n = static_cast<int>(fitnessFieldNames().size());
  r.fields.reserve(n);
  for (int c = 0; c < n; ++c) r.fields << st.text(c);
  r.key = st.integer(0);
  r.version = st.integer(n);
  return r;
}

QString duplicateMessage(const QString& ssn, const QString& date, qint64 id) {
  return QStringLiteral("SSN %1 already has a five-event test record dated %2 (ID %3).").arg(ssn, date).arg(id);
}

}  // namespace

void FitnessInFile::open() {
  if (db_.isOpen()) return;
  if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
  sqlite::Database db(path_, sqlite::Database::Mode::ReadWrite);
  addFitnessTable(db);
  addSsnIndexes(db);
  if (!hasFitnessTable(db)) throw DbError(path_ + QStringLiteral(": this file holds no test records."));
  addChangeTrail(db);
  db_ = std::move(db);
}

sqlite::Database& FitnessInFile::db() {
  open();
  return db_;
}

std::optional<RowAsRead> FitnessInFile::readOne(const QString& where, const QStringList& args) {
  Statement st(db(), "SELECT " + fitnessSelectList() + " FROM " + fitnessTableName() + " WHERE " + where + " LIMIT 1");
  for (int i = 0; i < args.size(); ++i) st.bindText(i + 1, args.at(i), true);
  if (!st.step()) return std::nullopt;
  return rowOf(st);
}

std::vector<RowAsRead> FitnessInFile::readAll() {
  Statement st(db(), "SELECT " + fitnessSelectList() + " FROM " + fitnessTableName() + " ORDER BY test_date, name, id");
  std::vector<RowAsRead> out;
  while (st.step()) out.push_back(rowOf(st));
  return out;
}

std::vector<RowAsRead> FitnessInFile::readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields) {
  // All soldiers in one statement, each looked up in the index.
  Statement st(db(), "SELECT " + fitnessSelectListOf(fields) + " FROM " + fitnessTableName() + " WHERE " +
                         ssnKeySqlite(QStringLiteral("ssn")) +
                         " IN (SELECT value FROM json_each(?)) ORDER BY test_date, name, id");
  st.bindText(1, QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(ssnDigits)).toJson(QJsonDocument::Compact)));
  std::vector<RowAsRead> out;
  while (st.step()) out.push_back(rowOf(st));
  return out;
}

std::vector<RowAsRead> FitnessInFile::readIds(const QList<qint64>& ids) {
  QJsonArray list;
  for (qint64 id : ids) list.append(id);
  Statement st(db(), "SELECT " + fitnessSelectList() + " FROM " + fitnessTableName() +
                         " WHERE id IN (SELECT value FROM json_each(?)) ORDER BY test_date, name, id");
  st.bindText(1, QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)));
  std::vector<RowAsRead> out;
  while (st.step()) out.push_back(rowOf(st));
  return out;
}

std::optional<RowAsRead> FitnessInFile::fetch(qint64 id) {
  return readOne(QStringLiteral("id=?"), {QString::number(id)});
}

std::optional<RowAsRead> FitnessInFile::find(const QString& ssn, const QString& testDate) {
  return readOne(QStringLiteral("ssn=? AND test_date=?"), {ssn, testDate});
}

RowAsRead FitnessInFile::add(const Record& values) {
  const Record v = checkedFitnessValues(values);
  sqlite::Transaction tx(db());
  const QString ssn = v.value(QStringLiteral("ssn")), date = v.value(QStringLiteral("test_date"));
  if (!ssn.isEmpty())
    if (const std::optional<RowAsRead> there = find(ssn, date)) throw DbError(duplicateMessage(ssn, date, there->key));
  QStringList names, marks;
  for (auto it = v.cbegin(); it != v.cend(); ++it) {
    names << it.key();
    marks << QStringLiteral("?");
  }
  Statement st(db_, names.isEmpty() ? "INSERT INTO " + fitnessTableName() + " DEFAULT VALUES"
                                    : "INSERT INTO " + fitnessTableName() + " (" + names.join(',') + ") VALUES (" +
                                          marks.join(',') + ")");
  int i = 1;
  for (auto it = v.cbegin(); it != v.cend(); ++it) st.bindText(i++, it.value(), true);
  st.run();
  const std::optional<RowAsRead> stored = fetch(db_.lastInsertRowid());
  tx.commit();
  if (!stored) throw DbError(deletedMessage(QString::number(db_.lastInsertRowid())));
  return *stored;
}

RowAsRead FitnessInFile::store(const RowAsRead& asRead, const Record& changes) {
  const Record v = checkedFitnessValues(changes);
  sqlite::Transaction tx(db());
  const std::optional<RowAsRead> now = fetch(asRead.key);
  if (!now) throw DbError(deletedMessage(QString::number(asRead.key)));
  if (v.isEmpty()) return *now;
  const QList<FieldClash> clashes = fitnessClashes(asRead, *now, v);
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, *now, clashes});
  QStringList sets;
  for (auto it = v.cbegin(); it != v.cend(); ++it) sets << it.key() + "=?";
  Statement st(db_, "UPDATE " + fitnessTableName() + " SET " + sets.join(',') + ",version=version+1 WHERE id=?");
  int i = 1;
  for (auto it = v.cbegin(); it != v.cend(); ++it) st.bindText(i++, it.value(), true);
  st.bindInt(i, asRead.key);
  try {
    st.run();
  } catch (const DbError&) {
    const QString ssn = v.value(QStringLiteral("ssn"), now->fields.value(fitnessFieldNames().indexOf("ssn")));
    const QString date = v.value(QStringLiteral("test_date"), now->fields.value(fitnessFieldNames().indexOf("test_date")));
    if (const std::optional<RowAsRead> other = find(ssn, date); other && other->key != asRead.key)
      throw DbError(duplicateMessage(ssn, date, other->key));
    throw;
  }
  const std::optional<RowAsRead> stored = fetch(asRead.key);
  tx.commit();
  return stored ? *stored : *now;
}

bool FitnessInFile::remove(const RowAsRead& asRead) {
  sqlite::Transaction tx(db());
  const std::optional<RowAsRead> now = fetch(asRead.key);
  if (!now) return false;
  const QList<FieldClash> clashes = fitnessClashes(asRead, *now, {});
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, *now, clashes});
  Statement st(db_, "DELETE FROM " + fitnessTableName() + " WHERE id=?");
  st.bindInt(1, asRead.key);
  st.run();
  tx.commit();
  return true;
}

}  // namespace quillon
