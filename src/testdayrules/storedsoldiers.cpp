#include "storedsoldiers.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include "recordbackend.h"
#include "storedresults.h"

namespace quillon {

namespace {

// YYYY-MM-DD when the stored date reads, else as stored.
QString isoDate(const QDate& read, const QString& stored) {
  return read.isValid() ? read.toString(Qt::ISODate) : stored.trimmed();
}

}  // namespace

QList<StoredSoldier> storedSoldiers(RecordBackend& records) {
  if (!records.isOpen()) records.open();
  QHash<QString, StoredSoldier> bySsn;
  records.forEachRow({}, [&](const QStringList& row) {
    const TestResult r = resultFromInfoRow(row);
    if (r.soldier.ssn.isEmpty()) return true;
    StoredSoldier s{r.soldier.name, r.soldier.ssn, r.soldier.sex, isoDate(r.soldier.dob, r.particulars.value("DOB")),
                    isoDate(r.date, r.particulars.value("DOT"))};
    const auto it = bySsn.constFind(s.ssn);
    // The newest test's particulars win; a record without a date of test
    // loses to any with one.
    if (it == bySsn.constEnd() || it->lastTest.isEmpty() || (!s.lastTest.isEmpty() && s.lastTest >= it->lastTest))
      bySsn.insert(s.ssn, s);
    return true;
  });
  QList<StoredSoldier> out = bySsn.values();
  std::sort(out.begin(), out.end(), [](const StoredSoldier& a, const StoredSoldier& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.ssn < b.ssn;
  });
  return out;
}

QList<StoredSoldier> matchingSoldiers(const QList<StoredSoldier>& all, const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return all;
  QString digits = t;
  digits.remove(QLatin1Char('-'));
  static const QRegularExpression onlyDigits(QStringLiteral("^[0-9]+$"));
  const bool bySsn = onlyDigits.match(digits).hasMatch();
  QList<StoredSoldier> out;
  for (const StoredSoldier& s : all)
    if (s.name.contains(t, Qt::CaseInsensitive) || (bySsn && s.ssn.contains(digits))) out << s;
  return out;
}

GroupMember memberFromStored(const StoredSoldier& s, const QString& standard) {
  return GroupMember{s.ssn, s.name, s.sex, s.dob, QString(), standard};
}

}  // namespace quillon
