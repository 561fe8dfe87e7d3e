#include "gatewaydialects.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "ssnkey.h"

namespace quillon {

namespace {

class SqliteDialect : public Gateway::Dialect {
 public:
  SqliteDialect(RecordsSession& s, RecordsSession::Needs needs) : session_(s), needs_(needs) {}
  QString param(int) const override { return QStringLiteral("?"); }
  QString keyParam(int) const override { return QStringLiteral("CAST(? AS INTEGER)"); }
  // Backquotes always name a column: a double-quoted name the table lacks
  // would be read as text instead.
  QString name(const QString& column) const override {
    return '`' + QString(column).replace('`', QStringLiteral("``")) + '`';
  }
  QString asText(const QString& column) const override {
    return "coalesce(CAST(" + column + " AS TEXT), '') COLLATE BINARY";
  }
  QString oneOf(const QString& expr, int, bool) const override {
    return expr + " IN (SELECT value FROM json_each(?))";
  }
  // A group's worth of identifiers is written at every poll: straight into
  // one string, escaped as JSON asks, rather than through a document.
  QString listParam(const QStringList& items) const override {
    QString out;
    qsizetype size = 2;
    for (const QString& item : items) size += item.size() + 3;
    out.reserve(size);
    out += QLatin1Char('[');
    for (const QString& item : items) {
      if (out.size() > 1) out += QLatin1Char(',');
      out += QLatin1Char('"');
      for (const QChar c : item) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
          out += QLatin1Char('\\');
          out += c;
        } else if (c.unicode() < 0x20) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
      }
      out += QLatin1Char('"');
    }
    out += QLatin1Char(']');
    return out;
  }
  QString ssnKey(const QString& column) const override { return ssnKeySqlite(column); }
  // The file's name columns compare without case by their own collation.
  QString nameOrder(const QString& column) const override { return column; }
  // The engine's date() takes a day past the month's end as it is written,
  // but moves it into the next month once it counts days from it.
  QString plainDate(const QString& column) const override {
    return "coalesce(" + column + " GLOB '[1-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]' AND date(" + column +
           ", '+0 days') = " + column + ", 0)";
  }
  QString versionBump() const override { return QStringLiteral(", version = version + 1"); }
  QString overridingKey() const override { return QString(); }
  // The file has one writer at a time, so the counter grows in the order
  // changes are committed: everything after a mark is above it.
  QString markNow(const QString& counter) const override {
    return "(SELECT coalesce(max(change_no), 0) FROM " + counter + ")";
  }
  QString changedAfter(const QString& change, int) const override { return change + " > ?"; }
  bool hasTable(const QString& name) override { return sqlite::hasTable(session_.file(needs_), name); }
  // The file keeps its recent statements ready whatever they are.
  std::vector<RowAsRead> run(const QString& sql, const QStringList& params, int columns, bool versioned,
                             qint64* mark, bool, const QList<int>& only) override {
    std::vector<RowAsRead> out;
    rows(sql, params, columns, versioned, mark, only, [&out](RowAsRead& r, QStringList& before) {
      before = r.fields;
      out.push_back(std::move(r));
      return true;
    });
    return out;
  }
  void each(const QString& sql, const QStringList& params, int columns, bool versioned, qint64* mark, bool,
            const QList<int>& only, const Gateway::RowSink& sink) override {
    rows(sql, params, columns, versioned, mark, only, [&sink](RowAsRead& r, QStringList& before) {
      const bool more = sink(r);
      // The row just read is the next one's row before; the one before it,
      // unless the callee kept it, takes the next row's fields in place.
      std::swap(before, r.fields);
      return more;
    });
  }

 private:
  // Each row into `r`, handed to `take` with the row before it, which
  // `take` leaves in `before`. A soldier's rows repeat most of their fields
  // (name, unit, graders, verdicts, figures): a field that holds what it
  // held in the row before shares that text instead of making it again.
  template <class Take>
  void rows(const QString& sql, const QStringList& params, int columns, bool versioned, qint64* mark,
            const QList<int>& only, Take take) {
    sqlite::Statement st(session_.file(needs_), sql);
    for (int i = 0; i < params.size(); ++i) st.bindText(i + 1, params.at(i), true);
    const int markColumn = columns + (versioned ? 1 : 0);
    RowAsRead r;
    QStringList before;
    std::vector<std::optional<qint64>> numbers;
    while (st.step()) {
      if (mark) {
        *mark = st.integer(markColumn);
        if (st.text(0).isNull()) continue;
      }
      r.fields.resize(columns);
      if (only.isEmpty())
        st.readSharing(r.fields.data(), columns, before, numbers);
      else
        st.readSharing(r.fields.data(), only, before, numbers);
      r.key = st.integer(0);
      if (versioned) r.version = st.integer(columns);
      if (!take(r, before)) return;
    }
  }

  RecordsSession& session_;
  RecordsSession::Needs needs_;
};

class PostgresDialect : public Gateway::Dialect {
 public:
  explicit PostgresDialect(RecordsSession& s) : session_(s) {}
  QString param(int n) const override { return '$' + QString::number(n); }
  QString keyParam(int n) const override { return param(n); }
  // The server's columns are the descriptors', plain words folded to lower case.
  QString name(const QString& column) const override { return column; }
  QString asText(const QString& column) const override { return "coalesce(" + column + "::text, '')"; }
  QString oneOf(const QString& expr, int n, bool numbers) const override {
    return expr + " = ANY($" + QString::number(n) + (numbers ? "::bigint[])" : "::text[])");
  }
  QString listParam(const QStringList& items) const override {
    QStringList quoted;
    for (QString s : items) quoted << '"' + s.replace('\\', "\\\\").replace('"', "\\\"") + '"';
    return '{' + quoted.join(',') + '}';
  }
  QString ssnKey(const QString& column) const override { return ssnKeyPostgres(column); }
  QString nameOrder(const QString& column) const override { return "lower(" + column + " COLLATE \"C\")"; }
  // The server refuses to read a day past the month's end as a date, so the
  // day is held against the month's last before anything is read as one.
  QString plainDate(const QString& column) const override {
    return "coalesce(CASE WHEN " + column +
           " ~ '^[1-9][0-9]{3}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])$' THEN substr(" + column +
           ", 9, 2)::int <= extract(day from to_date(substr(" + column +
           ", 1, 7), 'YYYY-MM') + interval '1 month - 1 day') END, false)";
  }
  QString versionBump() const override { return QString(); }
  QString overridingKey() const override { return QStringLiteral(" OVERRIDING SYSTEM VALUE"); }
  // Changes carry the number of the transaction that made them. Numbers are
  // given when a transaction starts writing, not when it commits, so the
  // mark is the oldest transaction still running: whatever commits after
  // a look has a number at or above the mark that look gave.
  QString markNow(const QString&) const override {
    return QStringLiteral("pg_snapshot_xmin(pg_current_snapshot())::text::bigint");
  }
  QString changedAfter(const QString& change, int n) const override {
    return change + " >= " + param(n) + "::text::xid8";
  }
  bool hasTable(const QString& name) override {
    const pg::Result r = session_.server().exec("SELECT to_regclass($1) IS NOT NULL", {pg::text(name)});
    return r.value(0, 0) == QLatin1String("t");
  }
  std::vector<RowAsRead> run(const QString& sql, const QStringList& params, int columns, bool versioned,
                             qint64* mark, bool repeated, const QList<int>& only) override {
    std::vector<RowAsRead> out;
    rows(sql, params, columns, versioned, mark, repeated, only, [&out](RowAsRead& row) {
      out.push_back(std::move(row));
      return true;
    });
    return out;
  }
  void each(const QString& sql, const QStringList& params, int columns, bool versioned, qint64* mark,
            bool repeated, const QList<int>& only, const Gateway::RowSink& sink) override {
    rows(sql, params, columns, versioned, mark, repeated, only, [&sink](RowAsRead& row) { return sink(row); });
  }

 private:
  template <class Take>
  void rows(const QString& sql, const QStringList& params, int columns, bool versioned, qint64* mark,
            bool repeated, const QList<int>& only, Take take) {
    std::vector<pg::Param> wire;
    wire.reserve(params.size());
    for (const QString& p : params) wire.push_back(p.isNull() ? pg::Param() : pg::text(p));
    // Sent with its parameters in one message: one round trip, whether or
    // not this session ran the statement before. A store is parsed and
    // planned once per session, as a prepared statement.
    const QByteArray text = sql.toUtf8();
    const pg::Result r =
        repeated ? session_.server().execPrepared(text, wire) : session_.server().exec(text.constData(), wire);
    const int markColumn = columns + (versioned ? 1 : 0);
    RowAsRead row;
    for (int i = 0; i < r.rows(); ++i) {
      if (mark) {
        *mark = r.integer(i, markColumn);
        if (r.isNull(i, 0)) continue;
      }
      row.fields.resize(columns);
      const auto read = [&](int c) { row.fields[c] = r.isNull(i, c) ? QString() : r.value(i, c); };
      if (only.isEmpty())
        for (int c = 0; c < columns; ++c) read(c);
      else
        for (const int c : only) read(c);
      row.key = r.integer(i, 0);
      if (versioned) row.version = r.integer(i, columns);
      if (!take(row)) return;
    }
  }

  RecordsSession& session_;
};

}  // namespace

RecordsSession::Needs needsOf(const RecordTable& t) {
  // Table info may be described as a file holds it (infoTableOfFile).
  if (t.name == infoTable().name) return RecordsSession::Needs::ThreeEvent;
  if (&t == &fitnessTable()) return RecordsSession::Needs::FiveEvent;
  return RecordsSession::Needs::TestGroups;
}

std::unique_ptr<Gateway::Dialect> makeDialect(RecordsSession& session, const RecordTable& table) {
  if (session.isServer()) return std::make_unique<PostgresDialect>(session);
  return std::make_unique<SqliteDialect>(session, needsOf(table));
}

}  // namespace quillon
