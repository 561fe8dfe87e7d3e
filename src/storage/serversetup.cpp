#include "serversetup.h"

#include "pgconnection.h"

namespace quillon {

QString installedSetupScript() { return QStringLiteral(QUILLON_SETUP_SQL_INSTALLED); }

void requireServerColumn(pg::Connection& server, const QString& table, const QString& column) {
  const pg::Result r = server.exec("SELECT EXISTS (SELECT FROM pg_attribute WHERE attrelid = to_regclass($1) "
                                   "AND attname = $2 AND NOT attisdropped)",
                                   {pg::text(table), pg::text(column)});
  if (r.value(0, 0) == QLatin1String("t")) return;
  throw DbError(QStringLiteral("The records server (%1) was set up before this version of Quillon: its table %2 "
                               "has no column %3. An administrator runs the setup script %4 on it again (it "
                               "keeps every record and only adds what is missing).")
                    .arg(server.description(), table, column, installedSetupScript()));
}

}  // namespace quillon
