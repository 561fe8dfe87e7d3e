#pragma once
// Importing a roster: a CSV file or the first sheet of an Excel workbook
// (.xlsx, see xlsxreader.h) with a header row, one soldier a line,
// checked and sorted into a preview before anything is stored.
//
// How a roster's values become record fields:
// - Columns are found by their header, ignoring case, spaces, '_', '-' and
//   '.': Name (also "Full Name", "Soldier"), or Last Name ("Surname",
//   "LName") with First Name ("Given Name", "FName") and an optional Middle
//   Name / MI; Rank ("Grade"); SSN ("Social Security Number"); Sex
//   ("Gender"); DOB ("Date of Birth", "Birth Date"); Unit ("Unit Name",
//   "Organization"); Standard ("Scoring Standard"). Other columns are listed
//   and ignored. A name and an SSN column are required.
// - LNAME is written "Last, First M" as the clerk writes it in the grid, or
//   the Name column as given; spaces are collapsed either way. A name longer
//   than the field's 25 characters is refused, never cut.
// - SSN: nine digits with or without dashes, stored "000-00-0000".
// - Rank: one of the grid's ranks, in any letter case; Sex: M or F (also
//   Male/Female), in any letter case; DOB: a date as the window accepts it,
//   stored "MM/DD/YYYY" as Convert writes dates. An empty rank, sex or DOB
//   stays empty: a record may be incomplete, as one added in the grid is.
// - Unit: kept as written, spaces collapsed. Standard: kept as written
//   (trimmed); the test groups, the only records that keep one, judge it
//   (grouproster.h). The three-event records keep neither, so their import
//   lists both columns as not used.
// - DoD ID ("DoD ID Number", "EDIPI"): read for the five-event side only,
//   which takes it as the soldier's identifier; there a line needs an SSN
//   or a DoD ID number, either may stand alone. Ten digits; an SSN in its
//   column, or a DoD ID number in the SSN column, is refused by name. The
//   three-event records keep none: for them it is a column not used.
// - Rows that carry the same SSN, or the same DoD ID number, are all
//   refused: the file cannot say which one is right.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "csvreader.h"
#include "recordrow.h"

namespace quillon {

// The fields of a record a roster can fill.
enum class RosterField { Name, Rank, Ssn, Sex, Dob, Unit, Standard, DodId };

// Which records a roster fills: the three-event records need an SSN on
// every line; the five-event side takes a DoD ID number in its place.
enum class RosterFor { ThreeEvent, FiveEvent };

// Which of them a roster has a column for.
class RosterColumns {
 public:
  bool has(RosterField f) const { return bits_ & bit(f); }
  void add(RosterField f) { bits_ |= bit(f); }

 private:
  static unsigned bit(RosterField f) { return 1u << static_cast<unsigned>(f); }
  unsigned bits_ = 0;
};

// One accepted line of the roster, its values already in record form.
struct RosterRow {
  int line = 0;
  QString name, rank, ssn, sex, dob, unit, standard;
  QString dodId;  // ten digits, five-event side only; ssn may then be empty
};

// An accepted line whose SSN some stored records already carry.
struct RosterMatch {
  RosterRow row;
  QList<qint64> ids;  // every stored record with that SSN (nothing keeps SSNs unique)
};

struct RosterRefusal {
  int line = 0;
  QString reason;
};

struct RosterPreview {
  QString error;  // the whole file refused: nothing of it may be stored
  int errorLine = 0;
  QList<RosterRow> toAdd;
  QList<RosterMatch> matches;
  QList<RosterRefusal> refused;  // in line order
  QStringList ignoredColumns;    // not used by the three-event records; headers as written in the file
  QStringList groupIgnoredColumns;  // not used by a test group; as written
  QString standardHeader;        // the Standard column's header as written, or empty
  RosterColumns columns;
  bool ok() const { return error.isEmpty(); }
};

// The stored records a roster is matched against: SSN (either stored form)
// to the IDs of the records that carry it.
using SsnIndex = QHash<QString, QList<qint64>>;

// Adds one stored record to an index; an SSN in neither form is left out.
void addToSsnIndex(SsnIndex& index, const QString& storedSsn, qint64 id);

// Parses and classifies a roster file's contents.
RosterPreview previewRoster(const QByteArray& data, const SsnIndex& existing,
                            RosterFor side = RosterFor::ThreeEvent);

// Parses and classifies rows already read from a file: the header first,
// each record's `line` the line or sheet row it came from.
RosterPreview previewRosterTable(const CsvTable& table, const SsnIndex& existing,
                                 RosterFor side = RosterFor::ThreeEvent);

// Reads the file as a workbook when it is a zip or named .xlsx, else as CSV
// (refusing one over 64 MiB or one that cannot be read) and
// previews it.
RosterPreview previewRosterFile(const QString& path, const SsnIndex& existing,
                                RosterFor side = RosterFor::ThreeEvent);

// A new record for an accepted line: the roster's fields filled, the rest
// (ID included) empty.
RecordRow recordFromRoster(const RosterRow& row);

// Updates a stored record from a matching line: name, rank, sex and date of
// birth, each only when the roster has a column for it. ID, SSN and the test
// results are left as they are.
void updateFromRoster(RecordRow& record, const RosterRow& row, const RosterColumns& columns);

}  // namespace quillon
