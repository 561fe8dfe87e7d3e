#include "storedsoldiers.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include "infofields.h"
#include "recordbackend.h"

namespace quillon {

namespace {

QString isoDate(const QString& stored) {
  const QDate d = QDate::fromString(stored.trimmed(), kInfoDateForm.toString());
  return d.isValid() ? d.toString(Qt::ISODate) : stored.trimmed();
}

}  // namespace

QList<StoredSoldier> storedSoldiers(RecordBackend& records) {
  if (!records.isOpen()) records.open();
  const QStringList& names = infoFieldNames();
  const qsizetype name = names.indexOf(QLatin1String("LNAME")), ssn = names.indexOf(QLatin1String("SSN")),
                  sex = names.indexOf(QLatin1String("SEX")), dob = names.indexOf(QLatin1String("DOB")),
                  dot = names.indexOf(QLatin1String("DOT"));
  static const QRegularExpression nineDigits(QStringLiteral("^[0-9]{9}$"));
  QHash<QString, StoredSoldier> bySsn;
  records.forEachRow({}, [&](const QStringList& row) {
    const QString digits = QString(row.value(ssn)).remove(QLatin1Char('-')).trimmed();
    if (!nineDigits.match(digits).hasMatch()) return true;
    StoredSoldier s{row.value(name).trimmed(), digits, row.value(sex).trimmed().toUpper(), isoDate(row.value(dob)),
                    isoDate(row.value(dot))};
    const auto it = bySsn.constFind(digits);
    // The newest test's particulars win; a record without a date of test
    // loses to any with one.
    if (it == bySsn.constEnd() || it->lastTest.isEmpty() || (!s.lastTest.isEmpty() && s.lastTest >= it->lastTest))
      bySsn.insert(digits, s);
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
