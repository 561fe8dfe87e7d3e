// A report's rows: on the file the selection and the order go into the
// query, so the engine sorts (spilling to its own temporary files when the
// table is large) and only one row at a time is held; the server's rows
// are read once per view and sorted here by the same rule.

#include "orderedrows.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <optional>
#include <sqlite3.h>

#include "dbfile.h"
#include "infofields.h"
#include "pgconnection.h"
#include "recordbackend.h"
#include "sqlitedb.h"

namespace quillon {

bool RowFilter::matches(const QStringList& row) const {
  const qsizetype at = infoFieldNames().indexOf(field.trimmed().toUpper());
  const bool same = (at >= 0 ? row.value(at) : QString()).trimmed() == value;
  return equal ? same : !same;
}

RowCursor::~RowCursor() = default;
OrderedRows::~OrderedRows() = default;

void OrderedRows::forEach(const QList<RowFilter>& where, const QList<RowOrder>& order,
                          const std::function<void(const QStringList&)>& each) {
  const std::unique_ptr<RowCursor> c = rows(where, order);
  while (const QStringList* r = c->next()) each(*r);
}

std::unique_ptr<RowCursor> OrderedRows::enteredRows(const QList<RowFilter>&, const QList<RowOrder>&, const QByteArray&,
                                                    qint64) {
  return nullptr;
}

std::unique_ptr<RowCursor> OrderedRows::rowsAt(const QList<RowFilter>&, const QList<RowOrder>&,
                                               std::function<const QByteArray*()>) {
  return nullptr;
}

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

DbError unreadable(const QString& path, const QString& what, const QString& message) {
  return DbError(QStringLiteral("The database %1 cannot be read (%2): %3.").arg(native(path), what, message));
}

DbError serverUnreadable(const DbError& e) {
  return DbError(QStringLiteral("The records cannot be read: %1").arg(e.message()));
}

// A position is the row's sort key and row number ('k'), or, in a table
// made by hand without row numbers, its place in the order ('o').
QByteArray keyPosition(const QByteArray& key, qint64 rowid) {
  QByteArray p(9, '\0');
  p[0] = 'k';
  qToBigEndian(rowid, p.data() + 1);
  return p + key;
}
QByteArray placePosition(qint64 place) {
  QByteArray p(9, '\0');
  p[0] = 'o';
  qToBigEndian(place, p.data() + 1);
  return p;
}
qint64 positionNumber(QByteArrayView p) { return qFromBigEndian<qint64>(p.constData() + 1); }

}  // namespace

// As the engine orders (key, _rowid_): the key's bytes, a shorter key first
// when one begins the other, then the row number.
bool OrderedRows::before(QByteArrayView a, QByteArrayView b) {
  const QByteArrayView x = a.sliced(9), y = b.sliced(9);
  const int c = std::memcmp(x.data(), y.data(), static_cast<size_t>(std::min(x.size(), y.size())));
  if (c != 0) return c < 0;
  if (x.size() != y.size()) return x.size() < y.size();
  return positionNumber(a) < positionNumber(b);
}

namespace {

// quillon_trimmed(value): the value as a row test sees it.
void trimmedFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const QByteArray v = (t ? QString::fromUtf8(t, sqlite3_value_bytes(argv[0])) : QString()).trimmed().toUtf8();
  sqlite3_result_text(ctx, v.constData(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

class FileRows : public OrderedRows {
 public:
  explicit FileRows(const QString& path) : path_(path) {
    if (!QFileInfo(path).isFile())
      throw DbError(QStringLiteral("The database %1 cannot be read: it does not exist.").arg(native(path)));
    try {
      db_ = sqlite::Database(path, sqlite::Database::Mode::ReadOnly, 3000);
    } catch (const DbError& e) {
      throw unreadable(path, QStringLiteral("open"), e.message());
    }
    if (!addSortKeyFunction(db_.get()) ||
        sqlite3_create_function_v2(db_.get(), "quillon_trimmed", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   trimmedFunction, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw unreadable(path, QStringLiteral("open"), db_.errorMessage());
    // Asking for no rows still reads the schema: a file that is not a
    // database, or has no table info with every field, is found here.
    if (sqlite::Statement::tryPrepare(db_, "SELECT " + infoFieldNames().join(QStringLiteral(", ")) + " FROM info LIMIT 0")
            .isNull())
      throw unreadable(path, QStringLiteral("query"), db_.errorMessage());
    rowid_ = !sqlite::Statement::tryPrepare(db_, QStringLiteral("SELECT _rowid_ FROM info LIMIT 0")).isNull();
    // Deferred: the snapshot starts with the first read and lasts until the
    // view goes.
    try {
      db_.exec(QStringLiteral("BEGIN"));
    } catch (const DbError& e) {
      throw unreadable(path, QStringLiteral("open"), e.message());
    }
  }
  ~FileRows() override {
    // Only read: ending the snapshot cannot lose anything.
    sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
  }

  std::unique_ptr<RowCursor> rows(const QList<RowFilter>& where, const QList<RowOrder>& order, qint64 first) override {
    return query(where, order, QByteArray(), std::max<qint64>(first, 0), -1);
  }
  std::unique_ptr<RowCursor> rowsAfter(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                       const QByteArray& after, qint64 limit) override {
    if (after.size() >= 9 && after[0] == 'o') return query(where, order, QByteArray(), positionNumber(after) + 1, limit);
    return query(where, order, after, 0, limit);
  }
  std::unique_ptr<RowCursor> enteredRows(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                         const QByteArray& after, qint64 limit) override {
    if (!rowid_) return nullptr;
    sqlite::Statement st = prepare(where, order, QStringLiteral("_rowid_ > ?"), QStringLiteral(" ORDER BY _rowid_ LIMIT ?"));
    st.bindInt(static_cast<int>(where.size()) + 1, after.size() >= 9 ? positionNumber(after) : std::numeric_limits<qint64>::min());
    st.bindInt(static_cast<int>(where.size()) + 2, limit);
    return std::make_unique<Cursor>(std::move(st), path_, rowid_, 0);
  }
  std::unique_ptr<RowCursor> rowsAt(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                    std::function<const QByteArray*()> next) override {
    if (!rowid_) return nullptr;
    return std::make_unique<AtCursor>(prepare(where, order, QStringLiteral("_rowid_ = ?"), QString()), path_,
                                      static_cast<int>(where.size()) + 1, std::move(next));
  }

 private:
  class Cursor : public RowCursor {
   public:
    Cursor(sqlite::Statement st, QString path, bool rowid, qint64 place)
        : st_(std::move(st)), path_(std::move(path)), rowid_(rowid), place_(place - 1), row_(infoFieldNames().size()) {}
    const QStringList* next() override {
      try {
        if (!st_.step()) return nullptr;
      } catch (const DbError& e) {
        throw unreadable(path_, QStringLiteral("read"), e.message());
      }
      for (int i = 0; i < row_.size(); ++i) row_[i] = st_.text(i);
      ++place_;
      return &row_;
    }
    QByteArray position() const override {
      if (!rowid_) return placePosition(place_);
      const int n = static_cast<int>(row_.size());
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(st_.get(), n));
      return keyPosition(QByteArray(blob, sqlite3_column_bytes(st_.get(), n)), sqlite3_column_int64(st_.get(), n + 1));
    }

   protected:
    sqlite::Statement st_;

   private:
    QString path_;
    bool rowid_;
    qint64 place_;
    QStringList row_;
  };

  // One statement, bound to each row number in turn.
  class AtCursor : public Cursor {
   public:
    AtCursor(sqlite::Statement st, QString path, int param, std::function<const QByteArray*()> next)
        : Cursor(std::move(st), std::move(path), true, 0), param_(param), next_(std::move(next)) {}
    const QStringList* next() override {
      const QByteArray* at = next_();
      if (!at || at->size() < 9) return nullptr;
      st_.reset();
      st_.bindInt(param_, positionNumber(*at));
      return Cursor::next();
    }

   private:
    int param_;
    std::function<const QByteArray*()> next_;
  };

  // The row test's SQL and its values bound from 1 on, the fields, the key
  // and the row number selected; `test` and `tail` are added as given.
  sqlite::Statement prepare(const QList<RowFilter>& where, const QList<RowOrder>& order, const QString& test,
                            const QString& tail) {
    QStringList tests = rowTests(where);
    tests << test;
    const QString sql = QStringLiteral("SELECT ") + infoFieldNames().join(QStringLiteral(", ")) + QStringLiteral(", ") +
                        sortKeySql(order) + QStringLiteral(", _rowid_ FROM info WHERE ") +
                        tests.join(QStringLiteral(" AND ")) + tail;
    sqlite::Statement st = sqlite::Statement::tryPrepare(db_, sql);
    if (st.isNull()) throw unreadable(path_, QStringLiteral("query"), db_.errorMessage());
    int i = 1;
    for (const RowFilter& f : where) st.bindText(i++, f.value);
    return st;
  }

  static QStringList rowTests(const QList<RowFilter>& where) {
    QStringList tests;
    for (const RowFilter& f : where) {
      if (!infoFieldNames().contains(f.field.trimmed().toUpper()))
        throw DbError(QStringLiteral("Item not found in this collection: ") + f.field);
      tests << QStringLiteral("quillon_trimmed(%1) %2 ?").arg(f.field.trimmed().toUpper(), f.equal ? "=" : "<>");
    }
    return tests;
  }

  std::unique_ptr<RowCursor> query(const QList<RowFilter>& where, const QList<RowOrder>& order, const QByteArray& after,
                                   qint64 first, qint64 limit) {
    QStringList tests = rowTests(where);
    const QString key = sortKeySql(order);
    // Rows equal on every key keep the order they were entered in; a table
    // made by hand without row numbers keeps the order the engine gives.
    const bool keyed = rowid_ && !after.isEmpty();
    if (keyed) tests << QStringLiteral("(%1, _rowid_) > (?, ?)").arg(key);
    QString sql = QStringLiteral("SELECT ") + infoFieldNames().join(QStringLiteral(", ")) + QStringLiteral(", ") + key +
                  (rowid_ ? QStringLiteral(", _rowid_") : QString()) + QStringLiteral(" FROM info");
    if (!tests.isEmpty()) sql += QStringLiteral(" WHERE ") + tests.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY ") + key + (rowid_ ? QStringLiteral(", _rowid_") : QString());
    // Rows before `first` are passed over by the engine, never read out.
    if (limit >= 0 || first > 0) sql += QStringLiteral(" LIMIT ? OFFSET ?");
    sqlite::Statement st = sqlite::Statement::tryPrepare(db_, sql);
    if (st.isNull()) throw unreadable(path_, QStringLiteral("query"), db_.errorMessage());
    int i = 1;
    for (const RowFilter& f : where) st.bindText(i++, f.value);
    if (keyed) {
      st.bindBlob(i++, after.mid(9));
      st.bindInt(i++, positionNumber(after));
    }
    if (limit >= 0 || first > 0) {
      st.bindInt(i++, limit);
      st.bindInt(i++, first);
    }
    return std::make_unique<Cursor>(std::move(st), path_, rowid_, first);
  }

  QString path_;
  sqlite::Database db_;
  bool rowid_ = true;
};

// The server's rows for one selection and order, read in one query (one
// snapshot) the first time they are asked for and kept while the view lives.
class ServerRows : public OrderedRows {
 public:
  explicit ServerRows(const QString& dbPath) : server_(RecordBackend::forDatabase(dbPath)) {
    try {
      server_->open();
    } catch (const DbError& e) {
      throw serverUnreadable(e);
    }
  }

  std::unique_ptr<RowCursor> rows(const QList<RowFilter>& where, const QList<RowOrder>& order, qint64 first) override {
    return std::make_unique<Cursor>(load(where, order), std::max<qint64>(first, 0), -1);
  }
  std::unique_ptr<RowCursor> rowsAfter(const QList<RowFilter>& where, const QList<RowOrder>& order,
                                       const QByteArray& after, qint64 limit) override {
    return std::make_unique<Cursor>(load(where, order), after.size() >= 9 ? positionNumber(after) + 1 : 0, limit);
  }
  void forEach(const QList<RowFilter>& where, const QList<RowOrder>& order,
               const std::function<void(const QStringList&)>& each) override {
    if (loaded_ && where == where_ && order == order_) return OrderedRows::forEach(where, order, each);
    // One walk needs no copy of the rows kept.
    try {
      server_->forEachRow(order, [&](const QStringList& row) {
        for (const RowFilter& f : where)
          if (!f.matches(row)) return true;
        each(row);
        return true;
      });
    } catch (const DbError& e) {
      throw serverUnreadable(e);
    }
  }

 private:
  class Cursor : public RowCursor {
   public:
    Cursor(const std::vector<QStringList>& rows, qint64 first, qint64 limit)
        : rows_(rows), at_(first), end_(limit < 0 ? qint64(rows.size()) : std::min<qint64>(first + limit, rows.size())) {}
    const QStringList* next() override { return at_ < end_ ? &rows_[static_cast<size_t>(at_++)] : nullptr; }
    QByteArray position() const override { return placePosition(at_ - 1); }

   private:
    const std::vector<QStringList>& rows_;
    qint64 at_, end_;
  };

  const std::vector<QStringList>& load(const QList<RowFilter>& where, const QList<RowOrder>& order) {
    if (loaded_ && where == where_ && order == order_) return rows_;
    rows_.clear();
    loaded_ = false;
    forEach(where, order, [&](const QStringList& row) { rows_.push_back(row); });
    where_ = where;
    order_ = order;
    loaded_ = true;
    return rows_;
  }

  std::unique_ptr<RecordBackend> server_;
  bool loaded_ = false;
  QList<RowFilter> where_;
  QList<RowOrder> order_;
  std::vector<QStringList> rows_;
};

}  // namespace

std::unique_ptr<OrderedRows> OrderedRows::open(const QString& dbPath) {
  if (QFileInfo::exists(pg::connFilePath(QFileInfo(dbPath).absolutePath()))) return std::make_unique<ServerRows>(dbPath);
  return std::make_unique<FileRows>(dbPath);
}

}  // namespace quillon
