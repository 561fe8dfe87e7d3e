#pragma once
// Reading a table out of an old Access (Jet 3 or Jet 4) database file.
//
// The file's kind is told by its first bytes, never by its name: the scorer's
// own databases and the old program's are both called info.mdb.
//
// libmdb reads the file, in a helper process of ours (quillon-mdbread): the
// library trusts the file, and on a damaged one can read out of bounds or
// abort, which in the scorer would lose the clerk's session. Before the
// helper runs, the file's size and header are checked here, so the usual
// wrong files get a precise message; whatever slips past and makes the helper
// fail, crash or hang becomes a "damaged" message. Nothing is stored either way.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace quillon {

enum class DatabaseKind {
  Unreadable,   // cannot be opened or read
  SQLite,       // the scorer's own records database
  Jet3,         // Access 97
  Jet4,         // Access 2000 to 2003
  AccessNewer,  // Access 2007 and later (.accdb), also the encrypted ones
  Other,
};

// Looks at the first bytes only.
DatabaseKind databaseKindOf(const QString& path);

// A table as read, its values as text: numbers in decimal, dates and times
// "Y-MM-DD HH:MM:SS" (years may have fewer or more than four digits).
struct NamedTable {
  enum class Kind { Text, Number, DateTime, Other };
  struct Column {
    QString name;
    Kind kind = Kind::Text;
  };
  QList<Column> columns;
  QList<QStringList> rows;  // one value per column
};

struct JetRead {
  QString error;  // empty when the table was read
  NamedTable table;
  bool ok() const { return error.isEmpty(); }
};

// Refuses what is certainly not a readable Jet 3/4 file: too short, cut
// short within a page, not Jet, or a newer or encrypted Access file. Empty
// when the file may be handed to the reader.
QString checkJetFile(const QString& path);

// Asked about ten times a second while the helper reads; returning false
// stops the helper and the read is refused as cancelled.
using KeepReading = std::function<bool()>;

// Reads one table (its name matched without regard to case) with the helper
// at `helperPath`.
JetRead readJetTable(const QString& path, const QString& table, const QString& helperPath,
                     const KeepReading& keepReading = {});

// The helper beside the running program.
QString defaultMdbHelperPath();

// Decodes the helper's output; anything not exactly in its form, or cut off
// before its end line, is refused.
JetRead decodeMdbHelperOutput(const QByteArray& output);

}  // namespace quillon
