#pragma once
// The three points tables (2m.dat, su.dat, pu.dat): numbered fixed-length
// records of three-character points fields, read one record per look-up
// straight from files opened once and kept open.

#include <QByteArray>
#include <QFile>
#include <QString>

class QIODevice;

namespace quillon {

struct Lookup {
  enum Kind { Points, InvalidKey, TableFault } kind = Points;
  // Points: exactly the caption for the points label (three characters as
  // stored, spaces included, or the plain "0" / "100").
  QString text;
  // InvalidKey / TableFault: what to tell the clerk (title "Error").
  QString message;
};

enum class Table { Run, SitUp, PushUp };

// A record as read from a table file: 20 fields of three characters (one per
// age group and sex, AM, AF, ... JF) in 2m.dat and pu.dat, 10 (one per age
// group) in su.dat, then two bytes never read. This is the layout of one
// table file.
struct TableLayout {
  const char* fileName;  // as on disk, e.g. "2m.dat"
  int recordLength;      // bytes per record, the closing CR LF included
  int fieldCount;        // three-character fields at the start of each record
  int lastRecord;        // highest record number a look-up asks for
};
const TableLayout& layoutOf(Table t);

// Reads record `record` (from 1) of a table laid out as `layout` from `dev`
// (one seek, one read of the fields) into `row`, then takes field `field`
// (from 1; 0 = the key was not recognised, reported after the read as
// `invalidKeyMessage`). The field must hold a whole number, spaces around
// allowed. Never throws; every fault comes back as a TableFault naming the
// file and the record.
Lookup readPointsField(QIODevice& dev, const TableLayout& layout, int record, int field,
                       const QString& invalidKeyMessage, QByteArray& row);

// Field of 2m.dat / pu.dat named by an age-sex key ("AM" .. "JF"), or 0.
int ageSexField(const QString& ageSexKey);
// Field of su.dat named by an age group letter ("A" .. "J"), or 0.
int ageGroupField(const QString& ageGroup);

class ScoringTables {
 public:
  ScoringTables();
  ~ScoringTables();
  ScoringTables(const ScoringTables&) = delete;
  ScoringTables& operator=(const ScoringTables&) = delete;

  // Opens 2m.dat, su.dat, pu.dat from `dir` read-only and keeps them open
  // for the life of the object. Never throws and reports nothing: a file
  // that cannot be opened is tried again by its next look-up, which reports
  // the failure if it persists.
  void open(const QString& dir);

  Lookup RunPoints(const QString& minutes, int seconds, const QString& ageSexKey);
  Lookup SitUpPoints(const QString& entry, const QString& ageGroup);
  Lookup PushUpPoints(const QString& entry, const QString& ageSexKey);

 private:
  QFile& file(Table t);
  Lookup look(Table t, int record, int field, const QString& invalidKeyMessage);

  QString dir_;
  QFile run_, sitUp_, pushUp_;
};

}  // namespace quillon
