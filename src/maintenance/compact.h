#pragma once
// The file steps of "Compact" around the engine's compaction: the backup is
// made beside the database and the compacted copy takes the database's name
// in one rename, so that at every moment the database's own name holds
// either the file as it was or the complete compacted copy, and a backup
// exists.

#include <QString>

#include "dbengine.h"
#include "toolerror.h"

namespace quillon::dbtool {

// Compacts the database at `dbPath`, keeping the file as it was under
// `backupPath` and dropping the previous backup. The caller holds the
// in-use lock and has settled any journal. On failure everything is put
// back as it was and the error is raised again, its text saying where the
// files lie when putting back failed as well.
void compactKeepingBackup(DBEngine& engine, const QString& dbPath, const QString& backupPath, FaultPlan* plan);

}  // namespace quillon::dbtool
