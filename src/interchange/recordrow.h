#pragma once
// A test record as it travels in and out of files: its eighteen field values
// as text, in table order (infoFieldNames()), and the rules for the values
// that come from outside and must look as the window writes them.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// Eighteen values in the order of infoFieldNames(); ID first.
using RecordRow = QStringList;

// Index of a field in a RecordRow; asserts on a name that is not a field.
int fieldIndex(const QString& field);

// A blank row: eighteen empty values.
RecordRow blankRecordRow();

// Nine digits, with or without the dashes of "000-00-0000" and spaces around:
// "000-00-0000", the form the grid shows. nullopt for anything else.
std::optional<QString> normalizedSsn(const QString& text);

// The nine digits of an SSN as stored in either form ("123-45-6789",
// "123456789"), for matching; empty when it is neither.
QString ssnDigits(const QString& stored);

// A date as the window accepts one (M/D/YYYY, MM/DD/YYYY, YYYY-MM-DD),
// written "MM/DD/YYYY" as Convert writes the date of test. nullopt when it
// is not a date.
std::optional<QString> normalizedDate(const QString& text);

}  // namespace quillon
