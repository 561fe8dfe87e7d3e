#pragma once
// Moving a folder's records (info.mdb) onto the server's table.
//
// Every record keeps its ID where the server has no row by that ID. A record
// whose ID the server already holds with the same fields is already there
// (so a second run adds nothing); one whose ID is taken by a different
// record is refused and listed, and the rest are stored. It all happens in
// one transaction with the table locked against other writers, so a failure
// stores nothing and no station's add can take an ID in between; afterwards
// the server's ID sequence is beyond every ID in the table.
//
// Needs the rights of the table's owner (setting the sequence is not a
// clerk's right).

#include <QList>
#include <QString>

#include "pgconnection.h"

namespace quillon::pg {

struct ImportRefusal {
  qint64 id = 0;
  QString ourName;    // LNAME in the file
  QString theirName;  // LNAME of the server's row with that ID
};

struct ImportReport {
  int read = 0;
  int added = 0;
  int alreadyThere = 0;
  QList<ImportRefusal> refused;
};

// Throws DbError when the file cannot be read, PgError when the server
// fails; nothing is stored then.
ImportReport importRecords(Connection& server, const QString& mdbPath);

}  // namespace quillon::pg
