#pragma once
// What a stored field holds, one list for every table of the records: the
// three-event fields (infofields.h), the five-event results and the test
// groups (storage's table descriptors) say it the same way, so a report, an
// export or a grid asks one question of any field.

namespace quillon {

enum class ColumnKind {
  Key,      // the row's number, given by the database
  Text,     // kept as given
  Number,   // a whole number (raw scores, points, times as whole seconds)
  Decimal,  // a number with at most two decimals (height, body fat)
  Date,     // a date, in the form its table writes dates in
  Ssn,      // a social security number, as written ("000-00-0000" or nine digits)
  Verdict,  // GO or NO-GO
};

// How a field's values compare and how a sheet holds them: Number for
// every kind that reads as a number, Date for dates, Text for the rest.
// Orders, reports and exports ask this, never the kind itself.
constexpr ColumnKind comparedAs(ColumnKind k) {
  switch (k) {
    case ColumnKind::Key:
    case ColumnKind::Number:
    case ColumnKind::Decimal: return ColumnKind::Number;
    case ColumnKind::Date: return ColumnKind::Date;
    case ColumnKind::Text:
    case ColumnKind::Ssn:
    case ColumnKind::Verdict: return ColumnKind::Text;
  }
  return ColumnKind::Text;
}

}  // namespace quillon
