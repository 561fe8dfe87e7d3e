#pragma once
// Soldiers taken into a test group from the stored records: the
// three-event records (table info) and the five-event ones, which may know
// a soldier by the DoD ID number alone. One entry per soldier, with the
// particulars of that soldier's newest record, and the search a clerk
// narrows them with.

#include <QList>
#include <QString>

#include "testgroups.h"

namespace quillon {

class FitnessRecords;
class RecordBackend;

struct StoredSoldier {
  QString name;  // as the records write it
  QString ssn;   // nine digits, or empty for a soldier known by the DoD ID alone
  QString sex;   // as stored, upper case
  QString dob;   // YYYY-MM-DD when the stored date reads, else as stored
  QString lastTest;  // the newest record's date of test, YYYY-MM-DD or empty
  QString dodId = {};  // ten digits, or empty
};

// Every soldier of the records by name, then SSN: those of the three-event
// `records` and of the five-event `fiveEvent` (when given), a five-event
// record joining the soldier it names by the DoD ID, else by the SSN
// (soldierid.h). Records that name nobody by a nine-digit SSN or a
// ten-digit DoD ID cannot key a group member and are left out. Throws
// DbError as the stores do.
QList<StoredSoldier> storedSoldiers(RecordBackend& records, FitnessRecords* fiveEvent = nullptr);

// Those whose name contains `text` (case ignored) or whose SSN or DoD ID
// contains its digits; all of them for blank text.
QList<StoredSoldier> matchingSoldiers(const QList<StoredSoldier>& all, const QString& text);

// A stored soldier as a group member under `standard`; the unit is left
// for the clerk, as the three-event records keep none.
GroupMember memberFromStored(const StoredSoldier& s, const QString& standard);

}  // namespace quillon
