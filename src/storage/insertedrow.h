#pragma once
// What a row an insert added to table info holds, known without reading it
// back: the fields it was given, the row number where a field is the row
// number, and the table's constant default in a field it was not given.
// A batch of many thousand inserts reported each added row by reading it
// back, which cost more than the inserts.
//
// Only text kept as given is taken on trust. Where the engine may keep a
// value in another form (a field of a number type, a default worked out per
// row, a generated field, a trigger) every row is read back as before. The
// first row of each set of fields is read back anyway and compared with
// what was expected; should they differ, every further row is read too.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "recordbackend.h"
#include "sqlitedb.h"

namespace quillon {

// Whether the text survives the way to UTF-8 as it is (no half surrogate
// pair): QStringView::isValidUtf16, with the common text that holds no
// surrogate at all settled in one quick pass.
inline bool holdsValidUtf16(const QString& v) {
  for (QChar c : v)
    if (c.isSurrogate()) return QStringView(v).isValidUtf16();
  return true;
}

// Table info's definition, as far as it decides what an inserted row holds.
struct InfoTableDefinition {
  enum class Fill { Nothing, Constant, PerRow };  // what a field an insert leaves out holds
  struct Column {
    QString name;
    bool keepsText = false;  // text given is stored as that very text
    bool rowNumber = false;  // the engine's row number under a name of its own
    Fill fill = Fill::Nothing;
  };
  QList<Column> columns;
  bool triggers = false;  // a trigger may change a row after it was added

  static InfoTableDefinition read(const sqlite::Database& db);
};

// The rows added by inserts that give one set of fields.
class InsertedRowForm {
 public:
  // `reported`: the fields an added record is reported in, in that order
  // (the row source's); `given`: the fields the inserts give, in the order
  // their values come.
  InsertedRowForm(const InfoTableDefinition& table, const QStringList& reported, const QList<QString>& given);

  // The record the insert of `values` added as row `rowid`; none while the
  // row must be read back.
  std::optional<FieldValues> expected(qint64 rowid, const std::vector<const QString*>& values) const;
  // Takes the first row read back: learns the defaults from it and trusts
  // expected() from now on when it holds what was expected.
  void learn(qint64 rowid, const std::vector<const QString*>& values, const FieldValues& stored);

 private:
  struct Entry {
    enum Kind { Given, RowNumber, Learned } kind;
    QString name;  // as reported
    int given = -1;
    QString learned;
  };
  FieldValues build(qint64 rowid, const std::vector<const QString*>& values, bool* ok) const;

  QList<Entry> entries_;
  bool possible_ = true;
  bool seen_ = false;
  bool trusted_ = false;
};

}  // namespace quillon
