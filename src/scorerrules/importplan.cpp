#include "importplan.h"

#include "dbfile.h"

namespace quillon {

FieldValues insertFields(const RecordRow& row) {
  FieldValues r;
  const QStringList& names = infoFieldNames();
  for (int i = 1; i < names.size() && i < row.size(); ++i)
    if (!row.at(i).isEmpty()) r.insert(names.at(i), row.at(i));
  return r;
}

QList<RecordStore::BatchOp> rosterPlan(const RosterPreview& preview, bool updateMatches,
                                       const std::function<std::optional<Record>(qint64)>& stored) {
  QList<RecordStore::BatchOp> ops;
  ops.reserve(preview.toAdd.size() + preview.matches.size());
  const QStringList& names = infoFieldNames();
  // insertFields(recordFromRoster(row)) without the blank row in between:
  // a roster fills five fields of a record.
  const QString* const keys[] = {&names.at(fieldIndex("LNAME")), &names.at(fieldIndex("RANK")),
                                 &names.at(fieldIndex("SSN")), &names.at(fieldIndex("SEX")), &names.at(fieldIndex("DOB"))};
  for (const RosterRow& row : preview.toAdd) {
    FieldValues r;
    r.reserve(5);
    const QString* const values[] = {&row.name, &row.rank, &row.ssn, &row.sex, &row.dob};
    for (int f = 0; f < 5; ++f)
      if (!values[f]->isEmpty()) r.append(*keys[f], *values[f]);  // five distinct fields
    ops.append({RecordStore::BatchOp::Insert, 0, std::move(r)});
  }
  if (!updateMatches) return ops;
  for (const RosterMatch& m : preview.matches) {
    for (qint64 id : m.ids) {
      const std::optional<Record> now = stored(id);
      if (!now) continue;  // gone since the preview: nothing to update
      RecordRow row = blankRecordRow();
      for (int i = 0; i < names.size(); ++i)
        for (auto it = now->cbegin(); it != now->cend(); ++it)
          if (it.key().compare(names.at(i), Qt::CaseInsensitive) == 0) row[i] = it.value();
      const RecordRow before = row;
      updateFromRoster(row, m.row, preview.columns);
      FieldValues fields;
      for (int i = 1; i < names.size(); ++i)
        if (row.at(i) != before.at(i)) fields.insert(names.at(i), row.at(i));
      if (!fields.isEmpty()) ops.append({RecordStore::BatchOp::Update, id, fields});
    }
  }
  return ops;
}

QList<RecordStore::BatchOp> jetPlan(const JetPreview& preview, bool takeConflicts) {
  QList<RecordStore::BatchOp> ops;
  const int id = fieldIndex(QStringLiteral("ID"));
  for (const JetImportRow& r : preview.keepingId)
    ops.append({RecordStore::BatchOp::Insert, r.record.at(id).toLongLong(), insertFields(r.record)});
  for (const JetImportRow& r : preview.newId) ops.append({RecordStore::BatchOp::Insert, 0, insertFields(r.record)});
  if (takeConflicts)
    for (const JetConflict& c : preview.conflicts)
      ops.append({RecordStore::BatchOp::Insert, 0, insertFields(c.row.record)});
  return ops;
}

}  // namespace quillon
