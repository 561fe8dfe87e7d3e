#include "insertedrow.h"

namespace quillon {

namespace {

// The engine's rules for the kind of value a field's declared type keeps.
bool keepsText(const QString& declared) {
  const QString t = declared.toUpper();
  if (t.contains(QLatin1String("INT"))) return false;
  if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
    return true;
  // No type, or BLOB: a value is kept as it was given.
  return t.isEmpty() || t.contains(QLatin1String("BLOB"));
}

// A default written as a literal gives every row the same value; one like
// CURRENT_TIMESTAMP or an expression may give each row its own.
InfoTableDefinition::Fill fillOf(const QString& dflt, bool isNull) {
  if (isNull) return InfoTableDefinition::Fill::Nothing;
  const QString d = dflt.trimmed();
  if (d.startsWith(u'\'') || d.startsWith(QLatin1String("x'"), Qt::CaseInsensitive))
    return InfoTableDefinition::Fill::Constant;
  for (const char* word : {"NULL", "TRUE", "FALSE"})
    if (d.compare(QLatin1String(word), Qt::CaseInsensitive) == 0) return InfoTableDefinition::Fill::Constant;
  bool number = false;
  QString(d).remove(u'+').toDouble(&number);
  return number ? InfoTableDefinition::Fill::Constant : InfoTableDefinition::Fill::PerRow;
}

// The row number as text, as QString::number writes it: that goes through a
// general formatter, once for each of many thousand added rows.
QString rowNumberText(qint64 n) {
  if (n < 0) return QString::number(n);
  char16_t digits[20];
  int at = 20;
  do {
    digits[--at] = char16_t(u'0' + n % 10);
    n /= 10;
  } while (n > 0);
  return QString(reinterpret_cast<const QChar*>(digits + at), 20 - at);
}

bool sameRecord(const FieldValues& a, const FieldValues& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if (i->name != j->name || i->value != j->value || i->value.isNull() != j->value.isNull()) return false;
  return true;
}

}  // namespace

InfoTableDefinition InfoTableDefinition::read(const sqlite::Database& db) {
  InfoTableDefinition def;
  sqlite::Statement cols(db, QStringLiteral("PRAGMA table_xinfo(info)"));
  int keys = 0;
  int keyColumn = -1;
  QString keyType;
  while (cols.step()) {
    Column c;
    c.name = cols.text(1);
    c.keepsText = keepsText(cols.text(2));
    c.fill = fillOf(cols.text(4), cols.text(4).isNull());
    // A generated field is worked out from the others.
    if (cols.integer(6) >= 2) c.fill = Fill::PerRow;
    if (cols.integer(5) > 0) {
      ++keys;
      keyColumn = int(def.columns.size());
      keyType = cols.text(2).trimmed();
    }
    def.columns << c;
  }
  // A single key of type INTEGER is the row number itself.
  if (keys == 1 && keyType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
    def.columns[keyColumn].rowNumber = true;
  for (const char* schema : {"sqlite_master", "sqlite_temp_master"}) {
    sqlite::Statement t(db, QStringLiteral("SELECT count(*) FROM %1 WHERE type='trigger' AND tbl_name='info' COLLATE NOCASE")
                                .arg(QLatin1String(schema)));
    if (t.step() && t.integer(0) > 0) def.triggers = true;
  }
  return def;
}

InsertedRowForm::InsertedRowForm(const InfoTableDefinition& table, const QStringList& reported,
                                 const QList<QString>& given) {
  possible_ = !table.triggers;
  for (const QString& name : reported) {
    const InfoTableDefinition::Column* col = nullptr;
    for (const InfoTableDefinition::Column& c : table.columns)
      if (c.name.compare(name, Qt::CaseInsensitive) == 0) col = &c;
    if (!col) continue;  // not a field of the table: never reported
    // A field the row source names twice is reported once, as
    // FieldValues::insert would have kept it.
    bool again = false;
    for (const Entry& e : entries_) again = again || e.name == name;
    if (again) continue;
    int at = -1;
    for (int i = 0; i < given.size(); ++i)
      if (given.at(i).compare(name, Qt::CaseInsensitive) == 0) at = i;
    if (col->rowNumber) {
      if (at >= 0) possible_ = false;
      entries_.append({Entry::RowNumber, name, -1, {}});
    } else if (at >= 0) {
      if (!col->keepsText) possible_ = false;
      entries_.append({Entry::Given, name, at, {}});
    } else if (col->fill == InfoTableDefinition::Fill::Constant) {
      entries_.append({Entry::Learned, name, -1, {}});
    } else if (col->fill == InfoTableDefinition::Fill::PerRow) {
      possible_ = false;
    }
  }
}

FieldValues InsertedRowForm::build(qint64 rowid, const std::vector<const QString*>& values, bool* ok) const {
  FieldValues rec;
  rec.reserve(entries_.size());
  *ok = true;
  for (const Entry& e : entries_) {
    switch (e.kind) {
      case Entry::RowNumber:
        rec.append(e.name, rowNumberText(rowid));
        break;
      case Entry::Given: {
        const QString& v = *values[size_t(e.given)];
        if (v.isNull()) break;  // stored as no value
        // Half a surrogate pair does not survive the way to UTF-8 as it was.
        if (!holdsValidUtf16(v)) *ok = false;
        rec.append(e.name, v);
        break;
      }
      case Entry::Learned:
        if (!e.learned.isNull()) rec.append(e.name, e.learned);
        break;
    }
  }
  return rec;
}

std::optional<FieldValues> InsertedRowForm::expected(qint64 rowid, const std::vector<const QString*>& values) const {
  if (!trusted_) return std::nullopt;
  bool ok = true;
  FieldValues rec = build(rowid, values, &ok);
  if (!ok) return std::nullopt;
  return rec;
}

void InsertedRowForm::learn(qint64 rowid, const std::vector<const QString*>& values, const FieldValues& stored) {
  if (seen_ || !possible_) return;
  seen_ = true;
  for (Entry& e : entries_)
    if (e.kind == Entry::Learned) {
      const FieldValues::Field* f = stored.find(e.name);
      e.learned = f ? f->value : QString();
    }
  bool ok = true;
  const FieldValues rec = build(rowid, values, &ok);
  trusted_ = ok && sameRecord(rec, stored);
}

}  // namespace quillon
