#pragma once
// What a records server set up by an earlier setup script lacks, found when
// a station starts to use it rather than at the first statement the server
// refuses, and what an administrator does about it: the message names the
// column missing and the script as the package installs it.

#include <QString>

namespace quillon {

namespace pg {
class Connection;
}

// Where the setup script lies once the package is installed.
QString installedSetupScript();

// Throws DbError naming the server, `table`.`column` and the setup script
// to run again when the server's `table` lacks `column` (or the table
// itself); one round trip.
void requireServerColumn(pg::Connection& server, const QString& table, const QString& column);

}  // namespace quillon
