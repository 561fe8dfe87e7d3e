#include "cardsfromrecords.h"

#include <QDate>
#include <QHash>
#include <algorithm>

#include "recordrow.h"
#include "storedresults.h"

namespace quillon {

namespace {

QString field(const RowAsRead& row, const char* name) {
  const int c = static_cast<int>(fitnessFieldNames().indexOf(QString::fromLatin1(name)));
  Q_ASSERT(c >= 0);
  return row.fields.value(c).trimmed();
}

QString compactDate(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("yyyyMMdd")) : QString(); }
QString compactDate(const QString& iso) { return compactDate(QDate::fromString(iso, Qt::ISODate)); }

GoNoGo verdict(const QString& v) {
  if (v == QLatin1String("GO")) return GoNoGo::Go;
  if (v == QLatin1String("NO-GO")) return GoNoGo::NoGo;
  return GoNoGo::Blank;
}

QString pointsText(const std::optional<int>& p) { return p ? QString::number(*p) : QString(); }

std::vector<RowAsRead> byTestDate(std::vector<RowAsRead> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const RowAsRead& a, const RowAsRead& b) {
    return field(a, "test_date") < field(b, "test_date");
  });
  return rows;
}

// The rows of the tests a card shows, by the card's own rule (testsOnCard)
// on the dates alone: the latest four, ties in the order of `sorted`
// (byTestDate).
std::vector<const RowAsRead*> onCard(const std::vector<RowAsRead>& sorted) {
  std::vector<std::pair<QString, const RowAsRead*>> dated;
  dated.reserve(sorted.size());
  for (const RowAsRead& r : sorted) dated.emplace_back(compactDate(field(r, "test_date")), &r);
  std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<const RowAsRead*> out;
  for (auto d = dated.size() > 4 ? dated.end() - 4 : dated.begin(); d != dated.end(); ++d) out.push_back(d->second);
  return out;
}

// Rows by the nine digits of their SSN, each soldier's in the order given;
// a row naming no SSN the rules accept is left out.
QHash<QString, std::vector<RowAsRead>> bySoldier(const std::vector<RowAsRead>& rows) {
  QHash<QString, std::vector<RowAsRead>> out;
  for (const RowAsRead& r : rows)
    if (const QString digits = ssnDigits(field(r, "ssn")); !digits.isEmpty()) out[digits].push_back(r);
  return out;
}

// One soldier's card from their results by date of test, oldest first.
FitnessCard cardOf(const QList<TestResult>& sorted, const GroupMember& member) {
  // The header is the soldier as last recorded; what no record holds comes
  // from the group.
  const auto latest = [&](QString Soldier::*part, const QString& fallback) {
    for (auto r = sorted.crbegin(); r != sorted.crend(); ++r)
      if (const QString& v = (*r).soldier.*part; !v.isEmpty()) return v;
    return fallback.trimmed();
  };
  FitnessCard card;
  const QString name = latest(&Soldier::name, member.name);
  const qsizetype comma = name.indexOf(QLatin1Char(','));
  card.lastName = (comma < 0 ? name : name.left(comma)).trimmed();
  QStringList given = comma < 0 ? QStringList() : name.mid(comma + 1).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  // "Last, First M": a lone letter at the end is the middle initial.
  if (given.size() > 1 && QString(given.last()).remove(QLatin1Char('.')).size() == 1)
    card.middleInitial = given.takeLast().remove(QLatin1Char('.'));
  card.firstName = given.join(QLatin1Char(' '));
  card.sex = latest(&Soldier::sex, member.sex).toUpper();
  card.unit = latest(&Soldier::unit, member.unit);

  // The card's own rule (testsOnCard) on the dates alone: the latest four.
  QList<CardTest> tests;
  for (qsizetype i = std::max<qsizetype>(0, sorted.size() - 4); i < sorted.size(); ++i) tests << cardTest(sorted[i]);
  card.tests = testsOnCard(tests);
  return card;
}

QList<TestResult> resultsByDate(const std::vector<RowAsRead>& rows) {
  QList<TestResult> out = resultsFromFitnessRows(byTestDate(rows), Missing::Scored);
  std::stable_sort(out.begin(), out.end(), [](const TestResult& a, const TestResult& b) { return a.date < b.date; });
  return out;
}

}  // namespace

CardTest cardTest(const TestResult& r) {
  const TestKind& kind = kindOf(r);
  const auto p = [&r](const char* name) { return r.particulars.value(QLatin1String(name)).trimmed(); };
  CardTest t;
  t.date = compactDate(r.date);
  t.mos = p("mos");
  t.payGrade = p("pay_grade");
  if (r.soldier.dob.isValid() && r.date.isValid() && r.soldier.dob <= r.date)
    t.age = QString::number(kind.age(r.soldier.dob, r.date));
  t.standard = r.soldier.standard == QLatin1String("combat")    ? CardStandard::Combat
               : r.soldier.standard == QLatin1String("general") ? CardStandard::General
                                                                : CardStandard::Blank;
  t.bodyCompositionDate = compactDate(p("bc_date"));
  t.heightInches = p("height_in");
  t.weightPounds = p("weight_lb");
  t.weight = verdict(p("weight_go"));
  t.bodyFatPercent = p("body_fat_pct");
  t.bodyFat = verdict(p("body_fat_go"));
  t.deadliftFirst = p("deadlift_1");
  t.deadliftSecond = p("deadlift_2");

  for (const EventResult& e : r.events) {
    if (e.event < 0 || e.event >= kCardEvents) continue;
    if (!e.alternate.isEmpty()) {
      // The alternate's own boxes hold it; the event's stay empty.
      t.alternate = e.alternate.toUpper();
      t.alternateTime = kind.rawText(e);
      t.alternatePoints = pointsText(e.points);
      t.alternateResult = verdict(e.verdict);
      if (t.alternateResult == GoNoGo::Blank) t.alternateResult = verdict(kind.eventVerdict(r.soldier, e));
      t.alternateGrader = e.grader;
      continue;
    }
    t.events[e.event].raw = kind.rawText(e);
    t.events[e.event].points = pointsText(e.points);
    t.events[e.event].grader = e.grader;
  }
  t.total = pointsText(r.total);
  t.overall = verdict(r.result);
  t.oicName = p("oic_ncoic_name");
  return t;
}

CardTest cardTestFromRecord(const RowAsRead& row) { return cardTest(resultFromFitnessRow(row, Missing::Scored)); }

FitnessCard cardFromRecords(const std::vector<RowAsRead>& rows, const GroupMember& member) {
  return cardOf(resultsByDate(rows), member);
}

QList<FitnessCard> cardsForGroup(const TestGroup& group, const std::vector<RowAsRead>& allRows) {
  const QHash<QString, std::vector<RowAsRead>> bySsn = bySoldier(allRows);
  QList<FitnessCard> cards;
  for (const GroupMember& m : group.members) cards << cardFromRecords(bySsn.value(ssnDigits(m.ssn)), m);
  return cards;
}

QList<FitnessCard> cardsForGroup(const TestGroup& group, FitnessRecords& records) {
  QStringList soldiers;
  for (const GroupMember& m : group.members)
    if (const QString digits = ssnDigits(m.ssn); !digits.isEmpty()) soldiers << digits;
  soldiers.removeDuplicates();
  if (soldiers.isEmpty()) return cardsForGroup(group, std::vector<RowAsRead>());
  // Two reads: of every record of the group's soldiers only what picks the
  // card's tests and fills its header, then the whole of the few records the
  // cards show. A soldier of many years has many records.
  static const QStringList kPicking = {"ssn", "name", "sex", "unit", "test_date"};
  QHash<QString, std::vector<RowAsRead>> bySsn = bySoldier(records.readOfSoldiers(soldiers, kPicking));
  QList<qint64> shown;
  for (auto it = bySsn.begin(); it != bySsn.end(); ++it) {
    it.value() = byTestDate(std::move(it.value()));
    for (const RowAsRead* r : onCard(it.value())) shown << r->key;
  }
  QHash<qint64, RowAsRead> whole;
  for (RowAsRead& r : records.readIds(shown)) whole.insert(r.key, std::move(r));
  QList<FitnessCard> cards;
  for (const GroupMember& m : group.members) {
    std::vector<RowAsRead> rows = bySsn.value(ssnDigits(m.ssn));
    for (RowAsRead& r : rows)
      if (const auto w = whole.constFind(r.key); w != whole.cend()) r = *w;
    cards << cardFromRecords(rows, m);
  }
  return cards;
}

}  // namespace quillon
