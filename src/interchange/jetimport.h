#pragma once
// Bringing the old program's records over: the table `info` of its Access
// database, read as named columns, mapped onto the eighteen fields and
// sorted into a preview before anything is stored.
//
// Columns are matched to fields by name without regard to case; other
// columns are listed and ignored, and a field without a column stays empty.
// Values are kept as the old program held them, except that date columns are
// written "MM/DD/YYYY" as Convert writes dates, and numbers lose a trailing
// ".0" the old engine may add. Each record keeps its ID when no stored record
// has it; otherwise it is listed as a conflict and may still come over under
// a new ID.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "jetfile.h"
#include "recordrow.h"

namespace quillon {

struct MappedRecords {
  QList<RecordRow> rows;       // in the table's order
  QStringList ignoredColumns;  // as named in the file
  QStringList missingFields;   // fields the table has no column for
};

MappedRecords mapInfoTable(const NamedTable& table);

struct JetImportRow {
  int sourceRow = 0;  // from 1, in the table's order
  RecordRow record;   // ID empty when the row is to get a new one
};

struct JetConflict {
  JetImportRow row;  // with the ID it had
  QString reason;
};

struct JetPreview {
  QString error;                  // the whole file refused
  QList<JetImportRow> keepingId;  // stored under their own ID
  QList<JetImportRow> newId;      // the file gave them no usable ID
  QList<JetConflict> conflicts;   // their ID is taken
  QStringList ignoredColumns;
  QStringList missingFields;
  bool ok() const { return error.isEmpty(); }
};

JetPreview previewJetRecords(const MappedRecords& mapped, const QSet<qint64>& existingIds);

// Checks, reads and previews the table `info` of an old database file.
JetPreview previewJetFile(const QString& path, const QSet<qint64>& existingIds,
                          const QString& helperPath = defaultMdbHelperPath(), const KeepReading& keepReading = {});

// "Y-MM-DD HH:MM:SS" as the reader gives a date column, as "MM/DD/YYYY";
// empty when it is not such a date or its year is not 1 to 9999.
QString dateFromJet(const QString& value);

}  // namespace quillon
