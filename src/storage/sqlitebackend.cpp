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
#include "gateway.h"
#include "insertedrow.h"
#include "recordtables.h"
#include "rowarena.h"
#include "schemaupgrade.h"
#include "ssnkey.h"

namespace quillon {

using sqlite::quoted;
using sqlite::Statement;
using sqlite::Transaction;

SqliteBackend::SqliteBackend(const QString& path) : path_(path) {}

SqliteBackend::~SqliteBackend() = default;

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
  forgetTable();
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

void SqliteBackend::readRows(const QString& source, RowArena& into) {
  open();
  forgetTable();
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

Gateway& SqliteBackend::rows() {
  requireOpen();
  if (rows_) return *rows_;
  // The table's own columns, from the statement alone: nothing is read.
  Statement held(*db_, QStringLiteral("SELECT * FROM info"));
  QStringList heldNames;
  for (int i = 0; i < held.columnCount(); ++i) heldNames << held.columnName(i);
  const auto ownName = [&](const QString& name) {
    for (const QString& h : heldNames)
      if (h.compare(name, Qt::CaseInsensitive) == 0) return h;
    return QString();
  };
  // The fields the row source shows that the table holds; one it computes
  // itself is read back as no value, and never written.
  QStringList shown;
  for (const QString& c : columns_)
    if (const QString own = ownName(c); !own.isNull()) shown << own;
  const QString key = rowidKey_ ? QStringLiteral("_rowid_") : ownName(QStringLiteral("ID"));
  if (key.isNull()) throw DbError(QStringLiteral("The row source has no ID field."));
  table_ = std::make_unique<RecordTable>(infoTableOfFile(key, shown));
  inTable_.clear();
  for (const QString& c : columns_) {
    const int at = table_->column(c);
    inTable_ << (at > 0 || (at == 0 && !rowidKey_) ? at : -1);
  }
  rows_ = std::make_unique<Gateway>(session_, *table_);
  return *rows_;
}

void SqliteBackend::forgetTable() {
  rows_.reset();
  table_.reset();
}

RowAsRead SqliteBackend::shown(RowAsRead inTable) const {
  RowAsRead out{inTable.key, 0, {}};
  out.fields.reserve(inTable_.size());
  for (int at : inTable_) out.fields << (at < 0 ? QString() : inTable.fields.value(at));
  return out;
}

RowAsRead SqliteBackend::inTable(const RowAsRead& shown) const {
  RowAsRead out{shown.key, 0, QStringList()};
  for (qsizetype c = 0; c < table_->columns.size(); ++c) out.fields << QString();
  out.fields[0] = QString::number(shown.key);
  for (int c = 0; c < inTable_.size(); ++c)
    if (inTable_.at(c) > 0) out.fields[inTable_.at(c)] = shown.fields.value(c);
  return out;
}

Record SqliteBackend::named(const QHash<int, QString>& changes, bool exact) {
  rows();
  const int idColumn = column(QStringLiteral("ID"));
  Record out;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
    const int c = it.key();
    if (c < 0 || c >= columns_.size() || c == idColumn) throw DbError(QStringLiteral("Field cannot be updated."));
    // Not written: "no value" is stored as empty text unless asked otherwise.
    const QString v = !exact && it.value().isNull() ? QStringLiteral("") : it.value();
    out.insert(inTable_.at(c) > 0 ? table_->columns.at(inTable_.at(c)).name : columns_.at(c), v);
  }
  return out;
}

std::optional<RowAsRead> SqliteBackend::fetch(qint64 key) {
  std::optional<RowAsRead> r = rows().fetch(key);
  if (!r) return std::nullopt;
  return shown(std::move(*r));
}

RowAsRead SqliteBackend::store(const RowAsRead& asRead, const QHash<int, QString>& changes, bool exact) {
  requireOpen();
  if (changes.isEmpty()) return asRead;
  const Record values = named(changes, exact);
  // Written only where every field still holds what was read: the file
  // keeps no versions.
  Gateway::Outcome out = rows_->store(inTable(asRead), values, Gateway::Check::AllFields);
  if (out.stored) return shown(std::move(*out.stored));
  // The row differs from what was read; whether that clashes is the clash
  // rule's to say (the same value stored at both does not), with the row
  // held still while it does.
  Transaction tx(*db_);
  std::optional<RowAsRead> now = rows_->fetch(asRead.key);
  if (!now)
    throw DbError(deletedMessage(asRead.fields.value(column(QStringLiteral("ID")), QString::number(asRead.key))));
  RowAsRead nowShown = shown(*now);
  const QList<FieldClash> clashes = clashesOf(columns_, asRead.fields, nowShown.fields, changes);
  if (!clashes.isEmpty()) throw ConflictError(StoreConflict{asRead.key, std::move(nowShown), clashes});
  out = rows_->store(*now, values, Gateway::Check::None);
  tx.commit();
  if (!out.stored) throw DbError(deletedMessage(QString::number(asRead.key)));
  return shown(std::move(*out.stored));
}

RowAsRead SqliteBackend::add(const QHash<int, QString>& values) {
  const Record fields = named(values, false);
  // The engine would number a new row after the highest one left, which may
  // be the number of a record deleted in this run.
  if (!rowidKey_ || highestDeletedKey_ <= 0) return shown(rows_->add(fields));
  Transaction tx(*db_);
  Statement top(*db_, QStringLiteral("SELECT max(_rowid_) FROM info"));
  if (!top.step()) db_->fail();
  RowAsRead stored = shown(rows_->addWithKey(std::max(top.integer(0), highestDeletedKey_) + 1, fields));
  tx.commit();
  return stored;
}

RowAsRead SqliteBackend::restore(qint64 key, const Record& record) {
  Gateway& gw = rows();
  if (!rowidKey_) throw DbError(QStringLiteral("Records of this table cannot be put back."));
  Transaction tx(*db_);
  if (gw.fetch(key)) throw DbError(QStringLiteral("Another record holds the number of the record to put back."));
  RowAsRead stored = shown(gw.addWithKey(key, record));
  tx.commit();
  return stored;
}

std::optional<RowAsRead> SqliteBackend::remove(qint64 key) {
  std::optional<RowAsRead> gone = rows().remove(RowAsRead{key, 0, {}}, Gateway::Check::None).stored;
  if (rowidKey_) highestDeletedKey_ = std::max(highestDeletedKey_, key);
  if (!gone) return std::nullopt;
  return shown(std::move(*gone));
}

void SqliteBackend::forEachRow(const QList<RowOrder>& order, const std::function<bool(const QStringList&)>& row) {
  open();
  // Equal rows in the order they were entered.
  QList<RowOrder> keys = order;
  keys << RowOrder{QStringLiteral("ID"), false, RowOrder::As::Number};
  Statement st(*db_, "SELECT " + infoFieldNames().join(',') + " FROM info ORDER BY " +
                         (order.isEmpty() ? idOrderSql() : sortKeySql(keys)));
  const int n = static_cast<int>(infoFieldNames().size());
  QStringList fields;
  while (st.step()) {
    fields.clear();
    for (int i = 0; i < n; ++i) fields << st.text(i);
    if (!row(fields)) return;
  }
}

// A file this program made numbers its records by their row number (ID
// INTEGER PRIMARY KEY), which is the engine's own order: walked as stored,
// with no sort. Another file's ID is ordered as a number like any field.
QString SqliteBackend::idOrderSql() const {
  const char* type = nullptr;
  int primaryKey = 0;
  const bool rowNumbered =
      sqlite3_table_column_metadata(db_->get(), "main", "info", "ID", &type, nullptr, nullptr, &primaryKey, nullptr) ==
          SQLITE_OK &&
      primaryKey && type && QByteArray(type).compare("INTEGER", Qt::CaseInsensitive) == 0;
  return rowNumbered ? QStringLiteral("ID") : sortKeySql({RowOrder{QStringLiteral("ID"), false, RowOrder::As::Number}});
}

void SqliteBackend::forEachRowOf(const QStringList& fields, const std::function<bool(const QStringList&)>& row) {
  open();
  const QList<int> places = infoFieldPlaces(fields);
  QStringList names;
  for (int at : places) names << infoFieldNames().at(at);
  Statement st(*db_, "SELECT " + names.join(',') + " FROM info ORDER BY " + idOrderSql());
  const int n = static_cast<int>(names.size());
  // One list for every record, each field sharing the text it held in the
  // record before when it holds the same.
  QStringList values(n);
  while (st.step()) {
    for (int i = 0; i < n; ++i) values[i] = st.textSharing(i, &values.at(i));
    if (!row(values)) return;
  }
}

std::vector<QStringList> SqliteBackend::rowsOfSoldier(const QString& ssnDigits) {
  open();
  // No order asked: the reader puts the rows in its own, and a sort key
  // made for every row cost more than reading it.
  Statement st(*db_, "SELECT " + infoFieldNames().join(',') + " FROM info WHERE " + ssnKeySqlite(QStringLiteral("SSN")) +
                        " = ?");
  st.bindText(1, ssnDigits);
  const int n = static_cast<int>(infoFieldNames().size());
  std::vector<QStringList> out;
  const QStringList none;
  while (st.step()) {
    const QStringList& before = out.empty() ? none : out.back();
    QStringList fields;
    fields.reserve(n);
    for (int i = 0; i < n; ++i) fields << st.textSharing(i, i < before.size() ? &before.at(i) : nullptr);
    out.push_back(std::move(fields));
  }
  return out;
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
