#pragma once
// Reads the rows of table `info` straight off the pages of a database file,
// without the database engine: every table-leaf page whose cells decode as
// records of the eighteen test-record fields gives up its rows, whatever
// became of the pages above it, of page 1 or of the end of the file.
// Bytes in, rows out; nothing here touches the file system.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <vector>

namespace quillon::dbtool::salvage {

// One field as stored in the file.
struct Value {
  enum Kind : std::uint8_t { Null, Integer, Real, Text, Blob };
  Kind kind = Null;
  qint64 integer = 0;
  double real = 0;
  QByteArray bytes;  // text in the file's own encoding, or a blob
  bool operator==(const Value&) const = default;
};

inline constexpr int kFieldCount = 18;

struct Row {
  qint64 rowid = 0;
  // The eighteen fields in table order. The first (ID) is NULL where ID is
  // the row id itself, as in every file the programs make.
  QList<Value> fields;
  quint32 page = 0;  // where it was found, from 1
};

enum class TextEncoding { Utf8 = 1, Utf16le = 2, Utf16be = 3 };

struct Scan {
  quint32 pageSize = 0;
  bool headerSound = false;  // page 1's header could be read
  TextEncoding encoding = TextEncoding::Utf8;
  quint32 pagesInFile = 0;

  // One row per row id, in row id order.
  std::vector<Row> rows;
  // Pages on which rows of `info` were found.
  std::vector<quint32> leafPages;

  // Cells on those pages that do not decode as a row (damaged cells, or an
  // overflow chain that breaks off).
  qint64 damagedCells = 0;
  // Pages that the table's b-tree points to but that are not readable
  // b-tree pages (overwritten, or beyond the end of the file). How many
  // rows such a page held is not known.
  qint64 damagedPages = 0;
  // Row ids found on two pages with different contents where neither copy
  // is reachable through the table's b-tree: one copy was taken.
  qint64 conflictingCopies = 0;
  // Rows on pages the intact b-tree does not reach (left-over copies of
  // pages), not taken because the tree itself was whole.
  qint64 strayRowsIgnored = 0;
  // True when the table's b-tree was found (through the schema on page 1,
  // or, where that is unreadable, as the interior page no other points to
  // with the most pages of rows below it) and walked without meeting damage.
  bool treeWhole = false;
  quint32 infoRoot = 0;  // the table's, from the schema; 0 when it could not be read
  // The highest ID the table ever gave out, from its numbering table; 0
  // when that could not be read.
  qint64 sequence = 0;
};

// Scans a whole database file image.
Scan scanInfoRows(const QByteArray& file);
// The same for the rows of another table of `columns` fields whose first
// is its ID (the row id itself, or a whole number), none of them binary.
Scan scanTableRows(const QByteArray& file, const QByteArray& table, int columns);
// The same for a table whose rows stored before its later columns were
// added hold only the first `fewest` of them.
Scan scanTableRows(const QByteArray& file, const QByteArray& table, int fewest, int columns);

}  // namespace quillon::dbtool::salvage
