#pragma once
// The tables of the records, each described once as data: its columns with
// their kinds and lengths, its key and how its rows are versioned. The
// gateway (gateway.h) makes every statement of both engines from these, so
// a field added here is read, written and checked everywhere at once.

#include <QList>
#include <QString>
#include <QStringList>

#include "columnkind.h"

namespace quillon {

struct RecordColumn {
  using Kind = ColumnKind;
  QString name;
  ColumnKind kind = ColumnKind::Text;
  int length = 0;  // how many characters a clerk may type; 0: no limit the program sets
};

struct RecordTable {
  // How a store tells that another station changed the row since it was read.
  enum class Versioned {
    Always,      // a version column on both engines, bumped at every change
    ServerOnly,  // the server keeps one; the file, whose format stays as older
                 // programs made it, keeps none and its fields are compared
    Never,       // rows are replaced whole under a lock (a group's members)
  };
  QString name;
  QList<RecordColumn> columns;  // in table order
  QStringList key;        // the columns that name one row
  Versioned versioned = Versioned::Always;
  // The table beside it that counts changes of its rows (schemaupgrade.h,
  // the server's setup script); empty where none does.
  QString changes = {};

  QStringList names() const;
  // The column's position, name compared without case; -1 when absent.
  int column(const QString& name) const;
  bool hasVersion(bool onServer) const {
    return versioned == Versioned::Always || (onServer && versioned == Versioned::ServerOnly);
  }
};

// Table info: the eighteen fields of infoFields(), ID the key.
const RecordTable& infoTable();
// Table info as a records file holds it: a file made by hand may lack some
// of the eighteen fields and hold columns of its own. `columns` are the
// table's own names of the fields a row source shows, `key` the column that
// names a row: the engine's row number (_rowid_), or ID where the source has
// none. A field of the eighteen keeps its kind, any other is text. The file
// keeps no row versions, so a store there compares the fields as read.
RecordTable infoTableOfFile(const QString& key, const QStringList& columns);
// Table fitness_tests: one row per soldier per date of test.
const RecordTable& fitnessTable();
// Tables test_groups and test_group_members: who tests on which day where.
const RecordTable& testGroupsTable();
const RecordTable& testGroupMembersTable();

}  // namespace quillon
