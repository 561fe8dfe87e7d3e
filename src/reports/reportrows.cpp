// Reading report rows: the selection and the order go into the query, so the
// database sorts (spilling to its own temporary files when the table is
// large) and the engine only ever sees one row at a time.

#include "reportrows.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <sqlite3.h>

#include "dbfile.h"
#include "pgconnection.h"
#include "recordbackend.h"
#include "reportdetail.h"
#include "sqlitedb.h"

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

ReportError unreadable(const QString& path, const QString& what, const QString& message) {
  return ReportError(QStringLiteral("The database %1 cannot be read (%2): %3.").arg(native(path), what, message));
}

ReportError serverUnreadable(const DbError& e) {
  return ReportError(QStringLiteral("The records cannot be read: %1").arg(e.message()));
}

}  // namespace

// One query over the file, stepped as the engine asks for rows.
class InfoRowReader::FileCursor : public ReportRowCursor {
 public:
  FileCursor(sqlite::Statement st, QString path) : st_(std::move(st)), path_(std::move(path)), row_(infoFieldNames().size()) {}
  const ReportRow* next() override {
    try {
      if (!st_.step()) return nullptr;
    } catch (const DbError& e) {
      throw unreadable(path_, QStringLiteral("read"), e.message());
    }
    for (int i = 0; i < row_.size(); ++i) row_[i] = st_.text(i);
    return &row_;
  }

 private:
  sqlite::Statement st_;
  QString path_;
  ReportRow row_;
};

// A records server hands its rows over in walks that cannot be paused: each
// walk takes the next batch and stops.
class InfoRowReader::ServerCursor : public ReportRowCursor {
 public:
  ServerCursor(RecordBackend& server, QList<Condition> select, QList<RowOrder> by, qint64 first)
      : server_(server), select_(std::move(select)), by_(std::move(by)), skip_(first) {}
  const ReportRow* next() override {
    if (at_ >= batch_.size()) {
      if (done_) return nullptr;
      batch_.clear();
      at_ = 0;
      qint64 seen = 0;
      done_ = true;
      try {
        server_.forEachRow(by_, [&](const QStringList& row) {
          for (const Condition& c : select_)
            if (!c.matches(row)) return true;
          if (seen++ < skip_) return true;
          batch_.push_back(row);
          if (batch_.size() < kBatch) return true;
          done_ = false;
          return false;
        });
      } catch (const DbError& e) {
        throw serverUnreadable(e);
      }
      skip_ += static_cast<qint64>(batch_.size());
      if (batch_.empty()) return nullptr;
    }
    return &batch_[at_++];
  }

  const QList<RowOrder>& order() const { return by_; }

 private:
  static constexpr size_t kBatch = 2000;
  RecordBackend& server_;
  QList<Condition> select_;
  QList<RowOrder> by_;
  qint64 skip_;
  std::vector<ReportRow> batch_;
  size_t at_ = 0;
  bool done_ = false;
};

InfoRowReader::InfoRowReader(const QString& dbPath) : path_(dbPath) {
  if (QFileInfo::exists(pg::connFilePath(QFileInfo(dbPath).absolutePath()))) {
    server_ = RecordBackend::forDatabase(dbPath);
    try {
      server_->open();
    } catch (const DbError& e) {
      throw serverUnreadable(e);
    }
    return;
  }
  if (!QFileInfo(dbPath).isFile())
    throw ReportError(QStringLiteral("The database %1 cannot be read: it does not exist.").arg(native(dbPath)));
  try {
    db_ = std::make_unique<sqlite::Database>(dbPath, sqlite::Database::Mode::ReadOnly, 3000);
  } catch (const DbError& e) {
    throw unreadable(dbPath, QStringLiteral("open"), e.message());
  }
  auto fail = [&](const QString& what) { return unreadable(dbPath, what, db_->errorMessage()); };
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  if (sqlite3_create_function_v2(db_->get(), "quillon_order", 2, flags, nullptr, orderFunction, nullptr, nullptr,
                                 nullptr) != SQLITE_OK ||
      sqlite3_create_function_v2(db_->get(), "quillon_trimmed", 1, flags, nullptr, trimmedFunction, nullptr, nullptr,
                                 nullptr) != SQLITE_OK)
    throw fail(QStringLiteral("open"));
  // Asking for no rows still reads the schema: a file that is not a
  // database, or has no table info with every field, is found here.
  if (sqlite::Statement::tryPrepare(*db_, "SELECT " + infoFieldNames().join(QStringLiteral(", ")) + " FROM info LIMIT 0")
          .isNull())
    throw fail(QStringLiteral("query"));
  // Deferred: the snapshot starts with the first pass and lasts until the
  // reader goes.
  try {
    db_->exec("BEGIN");
  } catch (const DbError& e) {
    throw unreadable(dbPath, QStringLiteral("open"), e.message());
  }
}

InfoRowReader::~InfoRowReader() {
  // Only read: ending the snapshot cannot lose anything.
  if (db_) sqlite3_exec(db_->get(), "COMMIT", nullptr, nullptr, nullptr);
}

std::unique_ptr<ReportRowCursor> InfoRowReader::rows(const QList<Condition>& select, const QList<SortKey>& order,
                                                      qint64 first) {
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
    return std::make_unique<ServerCursor>(*server_, select, by, first);
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
  // Rows before `first` are passed over by the database, never read out.
  const QString skip = first > 0 ? QStringLiteral(" LIMIT -1 OFFSET ?") : QString();
  std::optional<sqlite::Statement> st;
  for (const QString& last : {QStringLiteral("_rowid_"), QString()}) {
    QStringList keys = by;
    if (!last.isEmpty()) keys << last;
    const QString full = keys.isEmpty() ? sql : sql + QStringLiteral(" ORDER BY ") + keys.join(QStringLiteral(", "));
    st.emplace(sqlite::Statement::tryPrepare(*db_, full + skip));
    if (!st->isNull()) break;
  }
  if (st->isNull()) throw unreadable(path_, QStringLiteral("query"), db_->errorMessage());
  int i = 1;
  for (const Condition& c : select) st->bindText(i++, c.value);
  if (first > 0) st->bindInt(i, first);
  return std::make_unique<FileCursor>(std::move(*st), path_);
}

void InfoRowReader::forEach(const QList<Condition>& select, const QList<SortKey>& order,
                            const std::function<void(const ReportRow&)>& each) {
  if (server_) {
    // One walk over every row: a cursor would walk again for each batch.
    QList<RowOrder> by = static_cast<ServerCursor&>(*rows(select, order)).order();
    try {
      server_->forEachRow(by, [&](const QStringList& row) {
        for (const Condition& c : select)
          if (!c.matches(row)) return true;
        each(row);
        return true;
      });
    } catch (const DbError& e) {
      throw serverUnreadable(e);
    }
    return;
  }
  const std::unique_ptr<ReportRowCursor> c = rows(select, order);
  while (const ReportRow* r = c->next()) each(*r);
}

}  // namespace quillon
