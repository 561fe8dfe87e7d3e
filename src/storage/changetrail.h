#pragma once
// The trail of changes to the stored test results of either test: for every
// add, change and delete, when, who, from where, which record, which field,
// and the value before and after. The database writes it itself in the same
// transaction as the change (triggers on the server and in a records file
// alike), so no change is stored without its trail. On the server every
// change is traced, whatever program or person made it; in a file, every
// change these programs make (addChangeTrail). Here it is read and exported.
//
// On a server, who is the database user that logged in and the trail is
// held to units like the records: a clerk reads the changes to their own
// unit's soldiers and can change none. In a file, who is the system account
// that ran the program and where is the program and the machine.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace quillon {

namespace sqlite {
class Database;
}

// The tables whose changes are traced.
enum class TracedTable { ThreeEvent, FiveEvent };
QString tracedTableName(TracedTable t);

struct TrailEntry {
  enum class Action { Add, Change, Delete };
  qint64 id = 0;  // the order the changes were made in
  QDateTime when;  // UTC
  QString who;
  QString station;  // the program and machine, as they named themselves
  QString address;  // the machine's network address on a server; none locally
  TracedTable table = TracedTable::ThreeEvent;
  qint64 record = 0;
  QString unit;
  Action action = Action::Change;
  QString field;  // lower case, as the server names the column
  QString before, after;  // null for no value
};
QString actionName(TrailEntry::Action a);

class ChangeTrail {
 public:
  virtual ~ChangeTrail();

  // The trail beside the records at `dbPath` (a folder's info.mdb): on the
  // server its connection file names, else in the file.
  static std::unique_ptr<ChangeTrail> forDatabase(const QString& dbPath);
  static std::unique_ptr<ChangeTrail> onServer(const QString& conninfo);

  // The changes to one record, oldest first. Throws DbError.
  virtual std::vector<TrailEntry> ofRecord(TracedTable table, qint64 record) = 0;
  // Every change this clerk may read, oldest first. Throws DbError.
  virtual std::vector<TrailEntry> all() = 0;
};

// Writes `entries` to `path` as CSV (a header line, then one line per
// entry, times in UTC as ISO 8601), readable by its owner only: the trail
// names soldiers and their values. Replaces the file whole or leaves it as
// it was. Throws DbError naming the file.
void exportTrailCsv(const std::vector<TrailEntry>& entries, const QString& path);

// Adds the trail table to a records file that lacks it (a file made before
// the trail, or by another program), in one transaction, and traces the
// changes this connection makes from now on: triggers of the connection
// (not of the file, so that another program without quillon_who() and
// quillon_where(), sqlitedb.h, can still change the file, untraced) write
// the trail in the same transaction as each change. The triggers are made
// just before the connection first changes a traced table, so one that
// only reads never pays for them. Called again after a table gained
// fields, it traces those too. Throws DbError with the engine's message.
void addChangeTrail(sqlite::Database& db);

// The table of the trail in a records file, as the statements that make it
// (the table, then its index), and its columns in table order.
inline QString changeTrailTableName() { return QStringLiteral("change_trail"); }
QStringList changeTrailSqliteDdl();
QStringList changeTrailColumns();

}  // namespace quillon
