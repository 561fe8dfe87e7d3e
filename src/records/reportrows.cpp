// Reading report rows: the selection and the order go into the query, so the
// database sorts (spilling to its own temporary files when the table is
// large) and the engine only ever sees one row at a time.

#include "reportrows.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include "dbfile.h"
#include "pgconnection.h"
#include "recordbackend.h"
#include "reportdetail.h"

namespace quillon {

using namespace detail;

namespace {

QString text(sqlite3_value* v) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return t ? QString::fromUtf8(t, sqlite3_value_bytes(v)) : QString();
}

// quillon_order(kind, value): the value's orderKey(), compared bytewise.
void orderFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const QByteArray key = orderKey(static_cast<FieldKind>(sqlite3_value_int(argv[0])), text(argv[1]));
  sqlite3_result_blob(ctx, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

// quillon_trimmed(value): the value as a row test sees it.
void trimmedFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const QByteArray t = text(argv[0]).trimmed().toUtf8();
  sqlite3_result_text(ctx, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

struct Statement {
  sqlite3_stmt* st = nullptr;
  ~Statement() { sqlite3_finalize(st); }
};

}  // namespace

struct InfoRowReader::Connection {
  sqlite3* db = nullptr;
  bool reading = false;  // inside the read transaction
  ~Connection() {
    if (reading) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
};

InfoRowReader::InfoRowReader(const QString& dbPath) : db_(std::make_unique<Connection>()), path_(dbPath) {
  if (QFileInfo::exists(pg::connFilePath(QFileInfo(dbPath).absolutePath()))) {
    server_ = RecordBackend::forDatabase(dbPath);
    try {
      server_->open();
    } catch (const DbError& e) {
      throw ReportError(QStringLiteral("The records cannot be read: %1").arg(e.message()));
    }
    return;
  }
  const QString shown = native(dbPath);
  if (!QFileInfo(dbPath).isFile())
    throw ReportError(QStringLiteral("The database %1 cannot be read: it does not exist.").arg(shown));
  const int rc = sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db_->db, SQLITE_OPEN_READONLY, nullptr);
  auto fail = [&](const QString& what) {
    const QString msg = QString::fromUtf8(db_->db ? sqlite3_errmsg(db_->db) : sqlite3_errstr(rc));
    return ReportError(QStringLiteral("The database %1 cannot be read (%2): %3.").arg(shown, what, msg));
  };
  if (rc != SQLITE_OK) throw fail(QStringLiteral("open"));
  sqlite3_busy_timeout(db_->db, 3000);
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  if (sqlite3_create_function_v2(db_->db, "quillon_order", 2, flags, nullptr, orderFunction, nullptr, nullptr, nullptr) !=
          SQLITE_OK ||
      sqlite3_create_function_v2(db_->db, "quillon_trimmed", 1, flags, nullptr, trimmedFunction, nullptr, nullptr,
                                 nullptr) != SQLITE_OK)
    throw fail(QStringLiteral("open"));
  // Asking for no rows still reads the schema: a file that is not a
  // database, or has no table info with every field, is found here.
  {
    Statement probe;
    const QByteArray sql = ("SELECT " + infoFieldNames().join(QStringLiteral(", ")) + " FROM info LIMIT 0").toUtf8();
    if (sqlite3_prepare_v2(db_->db, sql.constData(), -1, &probe.st, nullptr) != SQLITE_OK) throw fail(QStringLiteral("query"));
  }
  // Deferred: the snapshot starts with the first pass and lasts until the
  // reader goes.
  if (sqlite3_exec(db_->db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) throw fail(QStringLiteral("open"));
  db_->reading = true;
}

InfoRowReader::~InfoRowReader() = default;

void InfoRowReader::forEach(const QList<Condition>& select, const QList<SortKey>& order,
                            const std::function<void(const ReportRow&)>& each) {
  if (server_) {
    // The server sorts by the same rules as the file (numbers and dates by
    // value, text without case, blanks first, then ID).
    QList<RowOrder> by;
    for (const SortKey& k : order) {
      const FieldKind kind = fieldKind(k.field);
      by << RowOrder{k.field, k.descending,
                     kind == FieldKind::Number ? RowOrder::As::Number
                                               : kind == FieldKind::Date ? RowOrder::As::Date : RowOrder::As::Text};
    }
    try {
      server_->forEachRow(by, [&](const QStringList& row) {
        for (const Condition& c : select)
          if (!c.matches(row)) return true;
        each(row);
        return true;
      });
    } catch (const DbError& e) {
      throw ReportError(QStringLiteral("The records cannot be read: %1").arg(e.message()));
    }
    return;
  }
  QStringList where, by;
  for (const Condition& c : select)
    where << QStringLiteral("quillon_trimmed(%1) %2 ?").arg(c.field, c.equal ? QStringLiteral("=") : QStringLiteral("<>"));
  for (const SortKey& k : order)
    by << QStringLiteral("quillon_order(%1, %2)%3")
              .arg(static_cast<int>(fieldKind(k.field)))
              .arg(k.field, k.descending ? QStringLiteral(" DESC") : QString());
  QString sql = QStringLiteral("SELECT ") + infoFieldNames().join(QStringLiteral(", ")) + QStringLiteral(" FROM info");
  if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
  // Rows equal on every key keep the order they were entered in; a table
  // made by hand without row numbers keeps the order the database gives.
  Statement st;
  for (const QString& last : {QStringLiteral("_rowid_"), QString()}) {
    QStringList keys = by;
    if (!last.isEmpty()) keys << last;
    const QString full = keys.isEmpty() ? sql : sql + QStringLiteral(" ORDER BY ") + keys.join(QStringLiteral(", "));
    if (sqlite3_prepare_v2(db_->db, full.toUtf8().constData(), -1, &st.st, nullptr) == SQLITE_OK) break;
  }
  const QString shown = native(path_);
  auto fail = [&](const QString& what) {
    return ReportError(
        QStringLiteral("The database %1 cannot be read (%2): %3.").arg(shown, what, QString::fromUtf8(sqlite3_errmsg(db_->db))));
  };
  if (!st.st) throw fail(QStringLiteral("query"));
  QList<QByteArray> values;
  for (const Condition& c : select) values << c.value.toUtf8();
  for (int i = 0; i < values.size(); ++i)
    sqlite3_bind_text(st.st, i + 1, values[i].constData(), static_cast<int>(values[i].size()), SQLITE_STATIC);

  const int n = static_cast<int>(infoFieldNames().size());
  ReportRow row(n);
  int rc;
  while ((rc = sqlite3_step(st.st)) == SQLITE_ROW) {
    for (int i = 0; i < n; ++i) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.st, i));
      row[i] = t ? QString::fromUtf8(t, sqlite3_column_bytes(st.st, i)) : QString();
    }
    each(row);
  }
  if (rc != SQLITE_DONE) throw fail(QStringLiteral("read"));
}

}  // namespace quillon
