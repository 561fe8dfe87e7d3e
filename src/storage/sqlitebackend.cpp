#include "sqlitebackend.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <map>
#include <sqlite3.h>

#include "changetrail.h"
#include "recordssession.h"
#include "fitnessrecords.h"
#include "insertedrow.h"
#include "rowarena.h"
#include "schemaupgrade.h"
#include "ssnkey.h"

namespace quillon {

using sqlite::quoted;
using sqlite::Statement;
using sqlite::Transaction;

void SqliteBackend::open() {
  if (db_) return;
  if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
  // The folder's one session: a test-day window open on the same records
  // reads and writes through the same connection.
  std::shared_ptr<RecordsSession> session = RecordsSession::ofFile(path_);
  session->reopenIfReplaced();
  db_ = &session->file(RecordsSession::Needs::ThreeEvent);
  session_ = std::move(session);
}

void SqliteBackend::close() {
  db_ = nullptr;
  session_.reset();
}

qint64 SqliteBackend::pragmaValue(const char* name) const {
  Statement st(*db_, QStringLiteral("PRAGMA %1").arg(QLatin1String(name)));
  return st.step() ? st.integer(0) : 0;
}

QString SqliteBackend::describe() const { return QDir::toNativeSeparators(path_); }

void SqliteBackend::requireOpen() const {
  if (!db_) throw DbError(QStringLiteral("The records database is not open."));
}

QString SqliteBackend::keyTest() const { return rowidKey_ ? QStringLiteral("_rowid_=?") : QStringLiteral("ID=?"); }

void SqliteBackend::readRows(const QString& source, RowArena& into) {
  open();
  columns_.clear();
  const QString trimmed = source.trimmed();
  const bool select = trimmed.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive);
  const QString sql = select ? source : "SELECT * FROM " + quoted(trimmed);
  // A source that orders a whole table by one text field is read in the
  // table's own order and sorted here, in place: the same order, without
  // the engine copying every row into a sorter first.
  std::optional<SortHere> sortHere = sortableHere(trimmed);
  // The row number goes in front as a hidden column; a row source it does
  // not fit (a table without row numbers, a DISTINCT) is run as it is.
  std::optional<Statement> st;
  {
    const QString withRowidSql = sortHere ? QStringLiteral("SELECT _rowid_, * FROM ") + quoted(sortHere->table)
                                          : QStringLiteral("SELECT _rowid_,") + sql.mid(6);
    Statement withRowid = Statement::tryPrepare(*db_, withRowidSql);
    rowidKey_ = !withRowid.isNull();
    if (rowidKey_) {
      st.emplace(std::move(withRowid));
    } else {
      sortHere.reset();
      st.emplace(*db_, sql);
    }
  }
  sqlite3_stmt* s = st->get();
  // A one-pass read revisits no page, so it runs on a small page cache, and
  // the text buffer is sized once from the file instead of regrown.
  const qint64 cacheBefore = pragmaValue("cache_size");
  db_->exec("PRAGMA cache_size = -256");
  const auto restoreCache = qScopeGuard([&] {
    db_->exec(QStringLiteral("PRAGMA cache_size = %1").arg(cacheBefore).toUtf8().constData());
  });
  into.reserveText(static_cast<size_t>(std::max<qint64>(
      0, (pragmaValue("page_count") - pragmaValue("freelist_count")) * pragmaValue("page_size"))));
  const int first = rowidKey_ ? 1 : 0;
  const int n = sqlite3_column_count(s);
  for (int i = first; i < n; ++i) columns_ << QString::fromUtf8(sqlite3_column_name(s, i));
  into.setFieldNames(columns_);
  const int idColumn = column(QStringLiteral("ID"));
  if (idColumn < 0) throw DbError(QStringLiteral("The row source has no ID field."));
  const int keyColumn = rowidKey_ ? 0 : idColumn;
  const int sortColumn = sortHere ? column(sortHere->field) : -1;
  if (sortHere && sortColumn < 0) throw DbError(QStringLiteral("no such column: %1").arg(sortHere->field));
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    // Its type before its text: reading the text may convert the value.
    const int sortType = sortColumn >= 0 ? sqlite3_column_type(s, first + sortColumn) : SQLITE_TEXT;
    into.beginRow(sqlite3_column_int64(s, keyColumn));
    if (sortType == SQLITE_NULL) into.noteSortClass(RowArena::SortClass::NoValue);
    if (sortType == SQLITE_BLOB) into.noteSortClass(RowArena::SortClass::Bytes);
    for (int i = first; i < n; ++i) {
      // The text first: its length is that of the text form.
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      into.appendField(t, t ? sqlite3_column_bytes(s, i) : 0);
    }
    if (!into.roomLeft()) throw DbError(QStringLiteral("Too many records to show."));
  }
  if (rc != SQLITE_DONE) db_->fail();
  if (sortHere) into.sortRows(sortColumn, sortHere->collation, sortHere->descending);
}

std::optional<SqliteBackend::SortHere> SqliteBackend::sortableHere(const QString& source) const {
  static const QRegularExpression form(
      QStringLiteral("^SELECT\\s+\\*\\s+FROM\\s+([A-Za-z_][A-Za-z0-9_]*)\\s+ORDER\\s+BY\\s+([A-Za-z_][A-Za-z0-9_]*)"
                     "(?:\\s+(ASC|DESC))?\\s*;?$"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = form.match(source);
  if (!m.hasMatch()) return std::nullopt;
  Statement encoding(*db_, QStringLiteral("PRAGMA encoding"));
  if (!encoding.step() || encoding.text(0) != QLatin1String("UTF-8")) return std::nullopt;
  SortHere out;
  out.table = m.captured(1);
  out.field = m.captured(2);
  out.descending = m.captured(3).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
  // Only a field of a table (not a view) whose values are stored as text:
  // numbers in another kind of field order by value, which is left to the
  // engine, as are collations other than the two built in here.
  const char* declared = nullptr;
  const char* collation = nullptr;
  if (sqlite3_table_column_metadata(db_->get(), "main", out.table.toUtf8().constData(), out.field.toUtf8().constData(),
                                    &declared, &collation, nullptr, nullptr, nullptr) != SQLITE_OK)
    return std::nullopt;
  const QString type = QString::fromUtf8(declared ? declared : "").toUpper();
  const bool textAffinity = !type.contains(QLatin1String("INT")) &&
                            (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
                             type.contains(QLatin1String("TEXT")));
  if (!textAffinity) return std::nullopt;
  const QString coll = QString::fromUtf8(collation ? collation : "BINARY");
  if (coll.compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0)
    out.collation = RowArena::Collation::NoCase;
  else if (coll.compare(QLatin1String("BINARY"), Qt::CaseInsensitive) == 0)
    out.collation = RowArena::Collation::Binary;
  else
    return std::nullopt;
  return out;
}

std::optional<RowAsRead> SqliteBackend::read(qint64 key) {
  Statement st(*db_, "SELECT * FROM info WHERE " + keyTest() + " LIMIT 1");
  st.bindInt(1, key);
  if (!st.step()) return std::nullopt;
  RowAsRead r;
  r.key = key;
  Record byName;
  for (int i = 0; i < st.columnCount(); ++i) byName.insert(st.columnName(i).toUpper(), st.text(i));
  for (const QString& c : columns_) r.fields << byName.value(c.toUpper());
  return r;
}

std::optional<RowAsRead> SqliteBackend::fetch(qint64 key) {
  requireOpen();
  return read(key);
}

QString SqliteBackend::columnList(const QList<int>& cols) const {
  const int idColumn = column(QStringLiteral("ID"));
  QStringList names;
  for (int c : cols) {
    if (c < 0 || c >= columns_.size() || c == idColumn) throw DbError(QStringLiteral("Field cannot be updated."));
    names << quoted(columns_.at(c));
  }
  return names.join(',');
}

RowAsRead SqliteBackend::store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool exact) {
  requireOpen();
  if (changes.isEmpty()) return asRead;
  QList<int> cols = changes.keys();
  std::sort(cols.begin(), cols.end());
  QStringList sets;
  for (const QString& name : columnList(cols).split(',')) sets << name + "=?";
  Transaction tx(*db_);
  const std::optional<RowAsRead> now = read(asRead.key);
  if (!now) throw DbError(deletedMessage(asRead.fields.value(column(QStringLiteral("ID")), QString::number(asRead.key))));
  const QList<FieldClash> clashes = clashesOf(columns_, asRead.fields, now->fields, changes);
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, *now, clashes});
  Statement st(*db_, "UPDATE info SET " + sets.join(',') + " WHERE " + keyTest());
  int i = 1;
  for (int c : cols) st.bindText(i++, changes.value(c), exact);
  st.bindInt(i, asRead.key);
  st.run();
  // Read back: the engine may keep a value in another form than it was given.
  std::optional<RowAsRead> stored = read(asRead.key);
  tx.commit();
  return stored ? *stored : asRead;
}

RowAsRead SqliteBackend::add(const QHash<int, QString>& values) {
  requireOpen();
  QList<int> cols = values.keys();
  std::sort(cols.begin(), cols.end());
  QStringList names = cols.isEmpty() ? QStringList() : columnList(cols).split(',');
  QStringList marks;
  for (qsizetype i = 0; i < names.size(); ++i) marks << QStringLiteral("?");
  Transaction tx(*db_);
  // The engine would number a new row after the highest one left, which may
  // be the number of a record deleted in this run.
  qint64 key = 0;
  if (rowidKey_ && highestDeletedKey_ > 0) {
    Statement top(*db_, QStringLiteral("SELECT max(_rowid_) FROM info"));
    if (!top.step()) db_->fail();
    key = std::max(top.integer(0), highestDeletedKey_) + 1;
    names.prepend(QStringLiteral("_rowid_"));
    marks.prepend(QStringLiteral("?"));
  }
  Statement st(*db_, names.isEmpty() ? QStringLiteral("INSERT INTO info DEFAULT VALUES")
                                    : "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")");
  int i = 1;
  if (key > 0) st.bindInt(i++, key);
  for (int c : cols) st.bindText(i++, values.value(c));
  st.run();
  const qint64 rowid = db_->lastInsertRowid();
  // Without row numbers in the row source the ID the database gave is the key.
  key = rowid;
  if (!rowidKey_) {
    Statement id(*db_, QStringLiteral("SELECT ID FROM info WHERE _rowid_=?"));
    id.bindInt(1, rowid);
    if (!id.step()) db_->fail();
    key = id.integer(0);
  }
  std::optional<RowAsRead> stored = read(key);
  tx.commit();
  if (!stored) throw DbError(deletedMessage(QString::number(key)));
  return *stored;
}

RowAsRead SqliteBackend::restore(qint64 key, const Record& record) {
  requireOpen();
  if (!rowidKey_) throw DbError(QStringLiteral("Records of this table cannot be put back."));
  QStringList names{QStringLiteral("_rowid_")}, marks{QStringLiteral("?")};
  QList<QString> fields = record.keys();
  std::sort(fields.begin(), fields.end());
  for (const QString& f : fields) {
    names << quoted(f);
    marks << QStringLiteral("?");
  }
  Transaction tx(*db_);
  if (read(key)) throw DbError(QStringLiteral("Another record holds the number of the record to put back."));
  Statement st(*db_, "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")");
  st.bindInt(1, key);
  int i = 2;
  for (const QString& f : fields) st.bindText(i++, record.value(f), true);
  st.run();
  std::optional<RowAsRead> stored = read(key);
  tx.commit();
  if (!stored) throw DbError(deletedMessage(QString::number(key)));
  return *stored;
}

std::optional<RowAsRead> SqliteBackend::remove(qint64 key) {
  requireOpen();
  Transaction tx(*db_);
  std::optional<RowAsRead> gone = read(key);
  Statement st(*db_, "DELETE FROM info WHERE " + keyTest());
  st.bindInt(1, key);
  st.run();
  tx.commit();
  if (rowidKey_) highestDeletedKey_ = std::max(highestDeletedKey_, key);
  return gone;
}

void SqliteBackend::forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) {
  open();
  // Equal rows in the order they were entered.
  QList<RowOrder> keys = order;
  keys << RowOrder{QStringLiteral("ID"), false, RowOrder::As::Number};
  Statement st(*db_, "SELECT " + infoFieldNames().join(',') + " FROM info ORDER BY " + sortKeySql(keys));
  const int n = static_cast<int>(infoFieldNames().size());
  QStringList fields;
  while (st.step()) {
    fields.clear();
    for (int i = 0; i < n; ++i) fields << st.text(i);
    if (!row(fields)) return;
  }
}

std::vector<QStringList> SqliteBackend::rowsOfSoldier(const QString& ssnDigits) {
  open();
  // The order of forEachRow without a sort of its own: by ID, equal IDs as
  // they were entered.
  Statement st(*db_, "SELECT " + infoFieldNames().join(',') + " FROM info WHERE " + ssnKeySqlite(QStringLiteral("SSN")) +
                        " = ? ORDER BY " + sortKeySql({RowOrder{QStringLiteral("ID"), false, RowOrder::As::Number}}));
  st.bindText(1, ssnDigits);
  const int n = static_cast<int>(infoFieldNames().size());
  std::vector<QStringList> out;
  while (st.step()) {
    QStringList fields;
    fields.reserve(n);
    for (int i = 0; i < n; ++i) fields << st.text(i);
    out.push_back(std::move(fields));
  }
  return out;
}

std::optional<Record> SqliteBackend::record(qint64 key) {
  const std::optional<RowAsRead> r = read(key);
  if (!r) return std::nullopt;
  Record rec;
  for (int c = 0; c < columns_.size(); ++c) rec.insert(columns_.at(c), r->fields.value(c));
  return rec;
}

std::optional<QList<BatchChange>> SqliteBackend::applyBatch(const QList<BatchOp>& ops, const BatchProgress& progress) {
  requireOpen();
  if (!rowidKey_) throw DbError(QStringLiteral("Records of this table cannot be changed together."));
  QList<BatchChange> done;
  done.reserve(ops.size());
  Transaction tx(*db_);
  // One statement per set of fields: a roster gives the same fields each line.
  std::map<QString, Statement> cache;
  auto prepared = [&](const QString& sql) -> Statement& {
    auto it = cache.find(sql);
    if (it == cache.end()) it = cache.emplace(sql, Statement(*db_, sql)).first;
    it->second.reset();
    return it->second;
  };
  // A new row is read back as read() reads it, through one statement for the
  // whole batch: preparing a statement per row cost more than the inserts.
  std::optional<Statement> readBack;
  QList<int> readColumn;  // for each of columns_, its column in readBack or -1
  // Steps readBack onto the row with this key; false when there is none.
  auto readRow = [&](qint64 key) {
    if (!readBack) {
      readBack.emplace(*db_, QStringLiteral("SELECT * FROM info WHERE _rowid_=? LIMIT 1"));
      for (const QString& c : columns_) {
        int at = -1;
        for (int i = 0; i < readBack->columnCount(); ++i)
          if (readBack->columnName(i).compare(c, Qt::CaseInsensitive) == 0) at = i;
        readColumn << at;
      }
    }
    readBack->reset();
    readBack->bindInt(1, key);
    return readBack->step();
  };
  auto storedRecord = [&](qint64 key) -> std::optional<Record> {
    if (!readRow(key)) return std::nullopt;
    Record rec;
    rec.reserve(columns_.size());
    for (int c = 0; c < columns_.size(); ++c)
      rec.insert(columns_.at(c), readColumn.at(c) < 0 ? QString() : readBack->text(readColumn.at(c)));
    return rec;
  };
  // A row just added, kept compact: only the fields holding a value (a
  // roster fills five of forty). A hash of every field for each of many
  // thousand rows cost more than storing them.
  auto addedRecord = [&](qint64 key) -> std::optional<FieldValues> {
    if (!readRow(key)) return std::nullopt;
    FieldValues rec;
    for (int c = 0; c < columns_.size(); ++c) {
      const int at = readColumn.at(c);
      if (at >= 0 && sqlite3_column_type(readBack->get(), at) != SQLITE_NULL) rec.insert(columns_.at(c), readBack->text(at));
    }
    return rec;
  };
  // Consecutive inserts of the same fields share their statement, the order
  // their values are bound in, and what their rows are known to hold.
  std::optional<InfoTableDefinition> table;
  std::map<QString, InsertedRowForm> forms;
  QList<QString> insertNames;  // the fields of the latest insert, in its own order
  std::vector<int> bindOrder;  // its fields by position, in the order bound
  std::vector<const QString*> values;
  Statement* insert = nullptr;
  InsertedRowForm* form = nullptr;
  auto sameFields = [&](const FieldValues& given) {
    if (given.size() != insertNames.size()) return false;
    qsizetype k = 0;
    for (const FieldValues::Field& f : given)
      if (f.name != insertNames.at(k++)) return false;
    return true;
  };
  for (int i = 0; i < ops.size(); ++i) {
    if (progress && i % 200 == 0 && !progress(i, int(ops.size()))) return std::nullopt;
    const BatchOp& op = ops[i];
    if (op.kind == BatchOp::Insert) {
      qint64 key = op.key;
      // As for a single new row: never the number of a record deleted in this run.
      if (key <= 0 && highestDeletedKey_ > 0) {
        Statement& top = prepared(QStringLiteral("SELECT max(_rowid_) FROM info"));
        top.step();
        key = std::max(top.integer(0), highestDeletedKey_) + 1;
      }
      if (!insert || !sameFields(op.fields)) {
        insertNames.clear();
        for (const FieldValues::Field& f : op.fields) insertNames << f.name;
        bindOrder.resize(size_t(insertNames.size()));
        for (size_t k = 0; k < bindOrder.size(); ++k) bindOrder[k] = int(k);
        std::stable_sort(bindOrder.begin(), bindOrder.end(),
                         [&](int a, int b) { return insertNames.at(a) < insertNames.at(b); });
        QStringList names{QStringLiteral("_rowid_")}, marks{QStringLiteral("?")};
        QList<QString> bound;
        for (int k : bindOrder) {
          names << quoted(insertNames.at(k));
          marks << QStringLiteral("?");
          bound << insertNames.at(k);
        }
        const QString sql = "INSERT INTO info (" + names.join(',') + ") VALUES (" + marks.join(',') + ")";
        insert = &prepared(sql);
        if (!table) table = InfoTableDefinition::read(*db_);
        form = &forms.try_emplace(sql, *table, columns_, bound).first->second;
      } else {
        insert->reset();
      }
      Statement& st = *insert;
      if (key > 0)
        st.bindInt(1, key);
      else
        sqlite3_bind_null(st.get(), 1);
      values.clear();
      for (int k : bindOrder) values.push_back(&(op.fields.begin() + k)->value);
      int b = 2;
      for (const QString* v : values) {
        // Handed over as it is held, not copied: the operations outlive the
        // batch's statements. Half a surrogate pair goes the usual way,
        // where it is replaced as every other store replaces it.
        if (!v->isNull() && holdsValidUtf16(*v))
          sqlite3_bind_text16(st.get(), b++, v->utf16(), int(v->size() * 2), SQLITE_STATIC);
        else
          st.bindText(b++, *v, true);
      }
      st.run();
      const qint64 stored = sqlite3_last_insert_rowid(db_->get());
      std::optional<FieldValues> added = form->expected(stored, values);
      if (!added) {
        added = addedRecord(stored);
        if (added) form->learn(stored, values, *added);
      }
      done.append({stored, std::nullopt, std::move(added)});
      continue;
    }
    QList<QString> fields;
    fields.reserve(op.fields.size());
    for (const FieldValues::Field& f : op.fields) fields << f.name;
    std::sort(fields.begin(), fields.end());
    if (op.kind == BatchOp::Update) {
      const std::optional<Record> was = storedRecord(op.key);
      if (!was) throw DbError(deletedMessage(QString::number(op.key)));
      if (fields.isEmpty()) continue;
      QStringList sets;
      for (const QString& f : fields) sets << quoted(f) + "=?";
      Statement& st = prepared("UPDATE info SET " + sets.join(',') + " WHERE _rowid_=?");
      int b = 1;
      for (const QString& f : fields) st.bindText(b++, op.fields.value(f), true);
      st.bindInt(b, op.key);
      st.run();
      FieldValues before, after;
      for (const QString& f : fields) {
        std::optional<QString> old;
        for (auto it = was->cbegin(); it != was->cend() && !old; ++it)
          if (it.key().compare(f, Qt::CaseInsensitive) == 0) old = it.value();
        const QString now = op.fields.value(f);
        if (old.value_or(QString()) != now || old.value_or(QString()).isNull() != now.isNull()) {
          before.insert(f, old.value_or(QString()));
          after.insert(f, now);
        }
      }
      if (!before.isEmpty()) done.append({op.key, before, after});
    } else {
      const std::optional<Record> gone = storedRecord(op.key);
      if (!gone) continue;
      Statement& st = prepared(QStringLiteral("DELETE FROM info WHERE _rowid_=?"));
      st.bindInt(1, op.key);
      st.run();
      done.append({op.key, FieldValues(*gone), std::nullopt});
    }
  }
  if (progress && !progress(int(ops.size()), int(ops.size()))) return std::nullopt;
  cache.clear();
  readBack.reset();
  tx.commit();
  for (const BatchChange& c : done)
    if (!c.after) highestDeletedKey_ = std::max(highestDeletedKey_, c.key);
  return done;
}

}  // namespace quillon
