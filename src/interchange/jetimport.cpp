#include "jetimport.h"

#include <QDate>
#include <QRegularExpression>

#include "infofields.h"

namespace quillon {

namespace {

QString numberFromJet(const QString& value) {
  static const QRegularExpression trailing(QStringLiteral("^(-?[0-9]+)\\.0*$"));
  const auto m = trailing.match(value);
  return m.hasMatch() ? m.captured(1) : value;
}

}  // namespace

QString dateFromJet(const QString& value) {
  static const QRegularExpression form(QStringLiteral("^([0-9]{1,4})-([0-9]{2})-([0-9]{2})(?: [0-9]{2}:[0-9]{2}:[0-9]{2})?$"));
  const auto m = form.match(value);
  if (!m.hasMatch()) return {};
  const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  if (!d.isValid() || d.year() < 1) return {};
  return d.toString(QStringLiteral("MM/dd/")) + QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
}

MappedRecords mapInfoTable(const NamedTable& table) {
  const QStringList& fields = infoFieldNames();
  MappedRecords out;
  QList<int> fieldOfColumn;
  QSet<int> seen;
  for (const NamedTable::Column& c : table.columns) {
    int f = -1;
    for (int k = 0; k < fields.size(); ++k)
      if (fields[k].compare(c.name.trimmed(), Qt::CaseInsensitive) == 0) f = k;
    if (f >= 0 && seen.contains(f)) f = -1;  // a second column of the same name: the first one counts
    if (f < 0) out.ignoredColumns << c.name;
    else seen.insert(f);
    fieldOfColumn << f;
  }
  for (int k = 0; k < fields.size(); ++k)
    if (!seen.contains(k)) out.missingFields << fields[k];

  for (const QStringList& values : table.rows) {
    RecordRow r = blankRecordRow();
    for (qsizetype c = 0; c < table.columns.size() && c < values.size(); ++c) {
      const int f = fieldOfColumn[c];
      if (f < 0) continue;
      const QString& v = values[c];
      switch (table.columns[c].kind) {
        case NamedTable::Kind::DateTime: {
          const QString d = dateFromJet(v);
          r[f] = d.isEmpty() ? v : d;
          break;
        }
        case NamedTable::Kind::Number: r[f] = numberFromJet(v); break;
        default: r[f] = v; break;
      }
    }
    out.rows << r;
  }
  return out;
}

JetPreview previewJetRecords(const MappedRecords& mapped, const QSet<qint64>& existingIds) {
  JetPreview p;
  p.ignoredColumns = mapped.ignoredColumns;
  p.missingFields = mapped.missingFields;
  const int idAt = fieldIndex(QStringLiteral("ID"));
  QSet<qint64> taken = existingIds;
  for (qsizetype i = 0; i < mapped.rows.size(); ++i) {
    JetImportRow row{int(i + 1), mapped.rows[i]};
    bool isNum = false;
    const qint64 id = row.record[idAt].trimmed().toLongLong(&isNum);
    if (!isNum || id <= 0) {
      row.record[idAt].clear();
      p.newId << row;
    } else if (taken.contains(id)) {
      const QString why = existingIds.contains(id) ? QStringLiteral("ID %1 belongs to a stored record")
                                                   : QStringLiteral("ID %1 is used twice in the file");
      p.conflicts << JetConflict{row, why.arg(id)};
    } else {
      row.record[idAt] = QString::number(id);
      taken.insert(id);
      p.keepingId << row;
    }
  }
  return p;
}

JetPreview previewJetFile(const QString& path, const QSet<qint64>& existingIds, const QString& helperPath,
                          const KeepReading& keepReading) {
  const JetRead read = readJetTable(path, QStringLiteral("info"), helperPath, keepReading);
  if (!read.ok()) {
    JetPreview p;
    p.error = read.error;
    return p;
  }
  const MappedRecords mapped = mapInfoTable(read.table);
  if (mapped.missingFields.size() == infoFieldNames().size()) {
    JetPreview p;
    p.error = QStringLiteral("the table info has none of the record's fields");
    return p;
  }
  return previewJetRecords(mapped, existingIds);
}

}  // namespace quillon
