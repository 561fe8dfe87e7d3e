#include "infofields.h"

namespace quillon {

const QList<InfoField>& infoFields() {
  // DOT is typed ten long although Convert writes it; REMARK takes a
  // hundred characters in its box.
  static const QList<InfoField> fields = {
      {"ID", InfoKind::Key, 0}   ,     {"LNAME", InfoKind::Text, 25},  {"RANK", InfoKind::Text, 3},
      {"SSN", InfoKind::Ssn, 11},      {"SEX", InfoKind::Text, 1},     {"DOB", InfoKind::Date, 10},
      {"DOT", InfoKind::Date, 10},     {"RAW_PU", InfoKind::Number, 2}, {"RAW_SU", InfoKind::Number, 2},
      {"RUN_M", InfoKind::Number, 2},  {"RUN_S", InfoKind::Number, 2}, {"C_PU", InfoKind::Number, 0},
      {"C_SU", InfoKind::Number, 0},   {"C_RUN", InfoKind::Number, 0}, {"TOTAL", InfoKind::Number, 0},
      {"STAT", InfoKind::Text, 0},     {"PROFILE", InfoKind::Text, 0}, {"REMARK", InfoKind::Text, 100}};
  return fields;
}

const QStringList& infoFieldNames() {
  static const QStringList names = [] {
    QStringList n;
    for (const InfoField& f : infoFields()) n << QString::fromLatin1(f.name);
    return n;
  }();
  return names;
}

const InfoField* findInfoField(QStringView name) {
  for (const InfoField& f : infoFields())
    if (name == QLatin1String(f.name)) return &f;
  return nullptr;
}

int infoFieldIndex(QStringView name) {
  const QStringView n = name.trimmed();
  const QList<InfoField>& fields = infoFields();
  for (qsizetype i = 0; i < fields.size(); ++i)
    if (n.compare(QLatin1String(fields.at(i).name), Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  return -1;
}

const InfoField& infoField(QStringView name) {
  const InfoField* f = findInfoField(name);
  if (!f) qFatal("infoField: %s is no field of the records", qPrintable(name.toString()));
  return *f;
}

bool isNumberField(QStringView name) {
  const InfoField* f = findInfoField(name);
  return f && (f->kind == ColumnKind::Number || f->kind == ColumnKind::Key);
}

}  // namespace quillon
