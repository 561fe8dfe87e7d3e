#pragma once
// Repair's steps around the page scan that need the engine or the disk:
// telling whether the records table needs rebuilding, writing the salvaged
// records into the new file, and keeping the damaged original beside it.
// Each failure raises ToolError.

#include <QString>

#include "repair.h"
#include "salvage.h"
#include "toolerror.h"

namespace quillon::sqlite {
class Database;
}

namespace quillon::dbtool {

// True when `table` has the eighteen record fields in their order, so the
// rows the page scan read fit it.
bool hasInfoFields(const sqlite::Database& db, const QString& table, const QString& path);

// True when some ID of table info is held by more than one record (a table
// edited by hand, whose ID is not the row number).
bool infoIdsShared(const sqlite::Database& db, const QString& path);

// Writes the records the page scan read, each under its planned ID, every
// other field exactly as it was stored.
void insertSalvaged(const sqlite::Database& db, const QString& table, const SalvagePlan& plan, salvage::TextEncoding encoding,
                    const QString& path);

// Puts the damaged file at `dbPath` also under damagedKeepPath(dbPath),
// replacing what stood there in one rename; returns that path. The file
// at `dbPath` itself is left as it is.
QString keepDamagedOriginal(const QString& dbPath);

}  // namespace quillon::dbtool
