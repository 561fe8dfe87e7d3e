#pragma once
// The eighteen fields of table info, each once: its name, what it holds and
// how much the clerk may type into it. The window, the grid, reports, export,
// import and both backends read this list; a name that is not here is a
// programming error and stops the program where a code constant names it.

#include <QString>
#include <QStringList>
#include <QStringView>

#include "columnkind.h"

namespace quillon {

// What a field holds. Dates are written as kInfoDateForm, SSNs as
// "000-00-0000" (normalizedSsn); numbers are stored as text.
using InfoKind = ColumnKind;

struct InfoField {
  const char* name;
  ColumnKind kind;
  int length;  // how many characters the clerk may type; 0: none (the database fills it)
};

// The form a date of birth or of test is written in (QDate::toString).
inline constexpr QStringView kInfoDateForm = u"MM/dd/yyyy";

// The fields in table order, ID first.
const QList<InfoField>& infoFields();
const QStringList& infoFieldNames();

// The field of that name (exact, upper case); asserts on a name that is not a field.
const InfoField& infoField(QStringView name);
// The field of that name, or nullptr: for names that come from outside (a
// report file, a table of another shape).
const InfoField* findInfoField(QStringView name);

// The field's place in infoFieldNames(), blanks around it and case ignored
// (a name a clerk or another program wrote); -1 for a name of no field.
int infoFieldIndex(QStringView name);

// Whether a field holds a number (ID, the raw scores, the run's minutes and
// seconds, the points and TOTAL); false for any other name.
bool isNumberField(QStringView name);

}  // namespace quillon
