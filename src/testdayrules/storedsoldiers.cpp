#include "storedsoldiers.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <optional>

#include "fitnessrecords.h"
#include "recordbackend.h"
#include "soldierid.h"
#include "storedresults.h"

namespace quillon {

namespace {

bool isoWritten(const QString& text) {
  if (text.size() != 10) return false;
  for (qsizetype i = 0; i < 10; ++i) {
    const char16_t c = text.at(i).unicode();
    if (i == 4 || i == 7 ? c != u'-' : (c < u'0' || c > u'9')) return false;
  }
  return true;
}

// YYYY-MM-DD when the stored date reads, else as stored. The picker makes
// one for every record of a division: a date already written so is kept as
// it is, and the others are written digit by digit, where QDate's own
// formatting goes through printf.
QString isoDate(const QDate& read, const QString& stored) {
  if (!read.isValid()) return stored.trimmed();
  if (isoWritten(stored)) return stored;
  int y = 0, m = 0, d = 0;
  read.getDate(&y, &m, &d);
  if (y < 1 || y > 9999) return read.toString(Qt::ISODate);
  QString out(10, Qt::Uninitialized);
  QChar* c = out.data();
  const auto put = [&c](int n, int digits) {
    for (int i = digits - 1; i >= 0; --i, n /= 10) c[i] = QChar(u'0' + n % 10);
    c += digits;
  };
  put(y, 4);
  *c++ = u'-';
  put(m, 2);
  *c++ = u'-';
  put(d, 2);
  return out;
}

}  // namespace

namespace {

// The soldiers found so far, each once, by either identifier.
class Soldiers {
 public:
  void take(const StoredSoldier& s) {
    std::optional<qsizetype> at;
    if (!s.dodId.isEmpty()) at = find(byDodId_, s.dodId);
    // By the SSN only one whose DoD ID is unknown or the same.
    if (!at && !s.ssn.isEmpty())
      if (const std::optional<qsizetype> bySsn = find(bySsn_, s.ssn);
          bySsn && (s.dodId.isEmpty() || all_.at(*bySsn).dodId.isEmpty()))
        at = bySsn;
    if (!at) {
      at = all_.size();
      all_ << s;
    } else {
      StoredSoldier& known = all_[*at];
      // The newest test's particulars win; a record without a date of test
      // loses to any with one. Identifiers are gained, never lost.
      if (known.lastTest.isEmpty() || (!s.lastTest.isEmpty() && s.lastTest >= known.lastTest)) {
        const QString ssn = known.ssn, dodId = known.dodId;
        known = s;
        if (known.ssn.isEmpty()) known.ssn = ssn;
        if (known.dodId.isEmpty()) known.dodId = dodId;
      } else {
        if (known.ssn.isEmpty()) known.ssn = s.ssn;
        if (known.dodId.isEmpty()) known.dodId = s.dodId;
      }
    }
    const StoredSoldier& now = all_.at(*at);
    if (!now.ssn.isEmpty()) bySsn_.insert(now.ssn, *at);
    if (!now.dodId.isEmpty()) byDodId_.insert(now.dodId, *at);
  }
  QList<StoredSoldier> sorted() && {
    std::sort(all_.begin(), all_.end(), [](const StoredSoldier& a, const StoredSoldier& b) {
      const int c = a.name.compare(b.name, Qt::CaseInsensitive);
      return c != 0 ? c < 0 : a.ssn != b.ssn ? a.ssn < b.ssn : a.dodId < b.dodId;
    });
    return std::move(all_);
  }

 private:
  static std::optional<qsizetype> find(const QHash<QString, qsizetype>& in, const QString& id) {
    const auto it = in.constFind(id);
    return it == in.constEnd() ? std::nullopt : std::optional<qsizetype>(*it);
  }
  QList<StoredSoldier> all_;
  QHash<QString, qsizetype> bySsn_, byDodId_;
};

}  // namespace

QList<StoredSoldier> storedSoldiers(RecordBackend& records, FitnessRecords* fiveEvent) {
  if (!records.isOpen()) records.open();
  Soldiers soldiers;
  // Of each three-event record only what names the soldier and the test.
  records.forEachRowOf(infoHeaderFields(), [&](const QStringList& header) {
    const TestResult r = resultHeaderFromInfoFields(header);
    if (r.soldier.ssn.isEmpty()) return true;
    soldiers.take(StoredSoldier{r.soldier.name, r.soldier.ssn, r.soldier.sex,
                                isoDate(r.soldier.dob, header.value(HeaderDateOfBirth)),
                                isoDate(r.date, header.value(HeaderDateOfTest))});
    return true;
  });
  if (fiveEvent) {
    fiveEvent->open();
    // Of each five-event record likewise only what names the soldier and
    // the test, read one record at a time: a division's records are never
    // held at once.
    enum { Ssn, DodId, Name, Sex, Dob, TestDate };
    static const QStringList read{QStringLiteral("ssn"), QStringLiteral("dod_id"), QStringLiteral("name"),
                                  QStringLiteral("sex"), QStringLiteral("dob"),    QStringLiteral("test_date")};
    QList<qsizetype> at;
    for (const QString& name : read) at << fitnessFieldNames().indexOf(name);
    fiveEvent->forEachOf(read, [&](const RowAsRead& row) {
      const auto field = [&](int f) { return row.fields.value(at.at(f)).trimmed(); };
      const QString ssn = ssnNineDigits(field(Ssn));
      const QString dodId = normalizedDodId(field(DodId)).value_or(QString());
      if (ssn.isEmpty() && dodId.isEmpty()) return true;
      const QString dob = field(Dob), date = field(TestDate);
      soldiers.take(StoredSoldier{field(Name), ssn, field(Sex).toUpper(),
                                  isoDate(QDate::fromString(dob, Qt::ISODate), dob),
                                  isoDate(QDate::fromString(date, Qt::ISODate), date), dodId});
      return true;
    });
  }
  return std::move(soldiers).sorted();
}

QList<StoredSoldier> matchingSoldiers(const QList<StoredSoldier>& all, const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return all;
  QString digits = t;
  digits.remove(QLatin1Char('-'));
  static const QRegularExpression onlyDigits(QStringLiteral("^[0-9]+$"));
  const bool byNumber = onlyDigits.match(digits).hasMatch();
  QList<StoredSoldier> out;
  for (const StoredSoldier& s : all)
    if (s.name.contains(t, Qt::CaseInsensitive) || (byNumber && (s.ssn.contains(digits) || s.dodId.contains(digits))))
      out << s;
  return out;
}

GroupMember memberFromStored(const StoredSoldier& s, const QString& standard) {
  return GroupMember{s.ssn, s.name, s.sex, s.dob, QString(), standard, QString(), s.dodId};
}

}  // namespace quillon
