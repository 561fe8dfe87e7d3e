#include "salvagefitness.h"

#include <QDir>

#include "changetrail.h"
#include "fitnessrecords.h"
#include "sqlitedb.h"

namespace quillon::dbtool {
namespace {

using sqlite::Database;
using sqlite::Statement;
using sqlite::quoted;

// The table's columns as made: every field, the row version, then the
// fields added later.
QStringList columnNames() { return fitnessTableColumns(); }

[[noreturn]] void failOn(const Database& db, const QString& path) {
  throw ToolError(db.errorCode(), QDir::toNativeSeparators(path) + ": " + db.errorMessage());
}

}  // namespace

bool isFitnessTable(const QString& type, const QString& name) {
  return type == QLatin1String("table") && name.compare(fitnessTableName(), Qt::CaseInsensitive) == 0;
}

salvage::Scan scanFitnessRows(const QByteArray& image) {
  // A row stored before the later fields were added holds none of them.
  const int all = int(columnNames().size());
  return salvage::scanTableRows(image, fitnessTableName().toUtf8(), all - int(fitnessFieldsAddedLater().size()), all);
}

QStringList fitnessTableStatements() { return fitnessTableSqliteDdl(); }

// Writes the scanned rows into `table` if it has exactly `cols`.
bool insertSalvagedRows(const Database& db, const QString& table, const QStringList& cols, const salvage::Scan& scan,
                        const QString& path) {
  {
    Statement shape = Statement::tryPrepare(db, "PRAGMA table_info(" + quoted(table) + ")");
    if (shape.isNull()) failOn(db, path);
    QStringList have;
    while (shape.tryStep() == Statement::Step::Row) have << shape.text(1).toLower();
    if (have != cols) return false;
  }
  QStringList marks;
  for (qsizetype i = 0; i < cols.size(); ++i) marks << QStringLiteral("?");
  Statement ins = Statement::tryPrepare(
      db, QString("INSERT INTO %1(%2) VALUES(%3)").arg(quoted(table), cols.join(','), marks.join(',')));
  if (ins.isNull()) failOn(db, path);
  const Statement::Encoding textEncoding = scan.encoding == salvage::TextEncoding::Utf16le ? Statement::Encoding::Utf16le
                                           : scan.encoding == salvage::TextEncoding::Utf16be
                                               ? Statement::Encoding::Utf16be
                                               : Statement::Encoding::Utf8;
  for (const salvage::Row& r : scan.rows) {
    ins.reset();
    // The ID is the row id itself, stored as no value in the row.
    const salvage::Value& id = r.fields.value(0);
    ins.bindInt(1, id.kind == salvage::Value::Integer ? id.integer : r.rowid);
    for (int i = 1; i < cols.size(); ++i) {
      const salvage::Value v = r.fields.value(i);
      switch (v.kind) {
        case salvage::Value::Null: ins.bindNull(i + 1); break;
        case salvage::Value::Integer: ins.bindInt(i + 1, v.integer); break;
        case salvage::Value::Real: ins.bindDouble(i + 1, v.real); break;
        case salvage::Value::Text: ins.bindTextBytes(i + 1, v.bytes, textEncoding); break;
        case salvage::Value::Blob: ins.bindBlob(i + 1, v.bytes); break;
      }
    }
    if (ins.tryStep() != Statement::Step::Done) failOn(db, path);
  }
  return true;
}

bool insertSalvagedFitness(const Database& db, const QString& table, const salvage::Scan& scan, const QString& path) {
  return insertSalvagedRows(db, table, columnNames(), scan, path);
}

bool isTrailTable(const QString& type, const QString& name) {
  return type == QLatin1String("table") && name.compare(changeTrailTableName(), Qt::CaseInsensitive) == 0;
}

salvage::Scan scanTrailRows(const QByteArray& image) {
  return salvage::scanTableRows(image, changeTrailTableName().toUtf8(), int(changeTrailColumns().size()));
}

QStringList trailTableStatements() { return changeTrailSqliteDdl(); }

bool insertSalvagedTrail(const Database& db, const QString& table, const salvage::Scan& scan, const QString& path) {
  return insertSalvagedRows(db, table, changeTrailColumns(), scan, path);
}

}  // namespace quillon::dbtool
