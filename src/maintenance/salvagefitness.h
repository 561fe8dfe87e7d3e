#pragma once
// Repair's part for the five-event records (table fitness_tests) and the
// trail of changes (table change_trail): their rows come off the pages as
// those of info do, so a file whose schema or index pages are damaged keeps
// every five-event record, and every entry of the trail, still on a leaf
// page. Each failure raises ToolError.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "salvage.h"
#include "toolerror.h"

namespace quillon::sqlite {
class Database;
}

namespace quillon::dbtool {

bool isFitnessTable(const QString& type, const QString& name);

// The five-event rows on the pages of a whole file image.
salvage::Scan scanFitnessRows(const QByteArray& image);

// The statements that make the table again where the schema was lost.
QStringList fitnessTableStatements();

// Writes the rows the scan read into `table` of the new file, each under its
// own ID, every field exactly as stored. False (nothing written) when that
// table is not of the shape the rows were read in; the caller then copies
// it through the engine.
bool insertSalvagedFitness(const sqlite::Database& db, const QString& table, const salvage::Scan& scan,
                           const QString& path);

// The same for the trail of changes.
bool isTrailTable(const QString& type, const QString& name);
salvage::Scan scanTrailRows(const QByteArray& image);
QStringList trailTableStatements();
bool insertSalvagedTrail(const sqlite::Database& db, const QString& table, const salvage::Scan& scan,
                         const QString& path);

}  // namespace quillon::dbtool
