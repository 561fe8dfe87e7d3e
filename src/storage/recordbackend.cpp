#include "recordbackend.h"

#include <QDate>
#include <QFileInfo>
#include <QDir>
#include <algorithm>
#include <cmath>

#include "pgbackend.h"
#include "pgconnection.h"
#include "sqlitebackend.h"

namespace quillon {

ConflictError::ConflictError(StoreConflict c) : DbError([&] {
  QStringList fields;
  for (const FieldClash& f : c.clashes) fields << f.field;
  return QStringLiteral("Another station changed this record since it was read (%1); nothing was stored.")
      .arg(fields.join(QStringLiteral(", ")));
}()), c_(std::move(c)) {}

RecordBackend::~RecordBackend() = default;

std::unique_ptr<RecordBackend> RecordBackend::forDatabase(const QString& dbPath) {
  const QString folder = QFileInfo(dbPath).absolutePath();
  const QString conn = pg::connFilePath(folder);
  if (QFileInfo::exists(conn)) return std::make_unique<PgBackend>(conn);
  return std::make_unique<SqliteBackend>(dbPath);
}

int RecordBackend::column(const QString& name) const {
  for (int i = 0; i < columns_.size(); ++i)
    if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

QList<FieldClash> clashesOf(const QStringList& names, const QStringList& asRead, const QStringList& now,
                            const QHash<int, QString>& changes) {
  QList<FieldClash> out;
  for (int c = 0; c < names.size(); ++c) {
    const QString theirs = now.value(c);
    const QString read = asRead.value(c);
    // Text compares as the clerk sees it: no value and empty text are alike.
    if (theirs == read || (theirs.isEmpty() && read.isEmpty())) continue;
    const QString mine = changes.value(c, read);
    out << FieldClash{names.at(c), theirs, read, mine, changes.contains(c) && mine != read};
  }
  return out;
}

std::optional<double> orderValue(RowOrder::As as, const QString& raw) {
  const QString t = raw.trimmed();
  if (as == RowOrder::As::Number) {
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (ok && std::isfinite(v)) return v;
    return std::nullopt;
  }
  for (const char* fmt : {"MM/dd/yyyy", "M/d/yyyy", "yyyy-MM-dd"}) {
    const QDate d = QDate::fromString(t, QString::fromLatin1(fmt));
    if (d.isValid()) return static_cast<double>(d.toJulianDay());
  }
  return std::nullopt;
}

void sortRows(std::vector<QStringList>& rows, const QList<RowOrder>& order) {
  struct Key {
    int column;
    RowOrder::As as;
    bool descending;
  };
  std::vector<Key> keys;
  for (const RowOrder& o : order) {
    const int c = static_cast<int>(infoFieldNames().indexOf(o.field.trimmed().toUpper()));
    if (c < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + o.field);
    keys.push_back({c, o.as, o.descending});
  }
  keys.push_back({0, RowOrder::As::Number, false});  // equal rows in the order they were entered
  // Each value is read once, not at every comparison.
  struct Sortable {
    std::vector<std::optional<double>> numbers;
    QStringList texts;
    size_t index;
  };
  std::vector<Sortable> s(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    s[i].index = i;
    for (const Key& k : keys) {
      const QString v = rows[i].value(k.column);
      if (k.as == RowOrder::As::Text) {
        s[i].numbers.push_back(0.0);
        s[i].texts << v.trimmed().toCaseFolded();
      } else {
        s[i].numbers.push_back(orderValue(k.as, v));
        s[i].texts << QString();
      }
    }
  }
  std::stable_sort(s.begin(), s.end(), [&](const Sortable& a, const Sortable& b) {
    for (size_t k = 0; k < keys.size(); ++k) {
      int c = 0;
      const auto& x = a.numbers[k];
      const auto& y = b.numbers[k];
      if (keys[k].as == RowOrder::As::Text) {
        c = a.texts[qsizetype(k)].compare(b.texts[qsizetype(k)]);
      } else if (x.has_value() != y.has_value()) {
        c = x ? 1 : -1;
      } else if (x && *x != *y) {
        c = *x < *y ? -1 : 1;
      }
      if (keys[k].descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
  std::vector<QStringList> sorted;
  sorted.reserve(rows.size());
  for (const Sortable& x : s) sorted.push_back(std::move(rows[x.index]));
  rows = std::move(sorted);
}

FieldValues::FieldValues(const Record& r) {
  fields_.reserve(r.size());
  for (auto it = r.cbegin(); it != r.cend(); ++it) fields_.append({it.key(), it.value()});
}

void FieldValues::insert(const QString& name, const QString& value) {
  for (Field& f : fields_)
    if (f.name == name) {
      f.value = value;
      return;
    }
  fields_.append({name, value});
}

const FieldValues::Field* FieldValues::find(const QString& name, Qt::CaseSensitivity cs) const {
  for (const Field& f : fields_)
    if (f.name.compare(name, cs) == 0) return &f;
  return nullptr;
}

QString FieldValues::value(const QString& name) const {
  const Field* f = find(name);
  return f ? f->value : QString();
}

Record FieldValues::toRecord() const {
  Record r;
  r.reserve(fields_.size());
  for (const Field& f : fields_) r.insert(f.name, f.value);
  return r;
}

QString deletedMessage(const QString& id) { return QStringLiteral("The record has been deleted: ID ") + id; }

std::optional<QList<BatchChange>> RecordBackend::applyBatch(const QList<BatchOp>&, const BatchProgress&) {
  throw DbError(QStringLiteral("Records on a records server cannot be imported together yet."));
}

}  // namespace quillon
