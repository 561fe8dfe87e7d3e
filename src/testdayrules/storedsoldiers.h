#pragma once
// Soldiers taken into a test group from the stored three-event records
// (table info): one entry per SSN, with the particulars of that soldier's
// newest record, and the search a clerk narrows them with.

#include <QList>
#include <QString>

#include "testgroups.h"

namespace quillon {

class RecordBackend;

struct StoredSoldier {
  QString name;  // as the records write it
  QString ssn;   // nine digits
  QString sex;   // as stored, upper case
  QString dob;   // YYYY-MM-DD when the stored date reads, else as stored
  QString lastTest;  // the newest record's date of test, YYYY-MM-DD or empty
};

// Every soldier of the open records by name, then SSN. Records whose SSN is
// not nine digits in a form the rules accept cannot key a group member and
// are left out. Throws DbError as the backend does.
QList<StoredSoldier> storedSoldiers(RecordBackend& records);

// Those whose name contains `text` (case ignored) or whose SSN contains its
// digits; all of them for blank text.
QList<StoredSoldier> matchingSoldiers(const QList<StoredSoldier>& all, const QString& text);

// A stored soldier as a group member under `standard`; the unit is left
// for the clerk, as the three-event records keep none.
GroupMember memberFromStored(const StoredSoldier& s, const QString& standard);

}  // namespace quillon
