#include "cardsfromrecords.h"

#include <QDate>
#include <QHash>
#include <algorithm>

#include "recordrow.h"
#include "soldierid.h"
#include "soldierresults.h"
#include "storedresults.h"

namespace quillon {

namespace {

QString compactDate(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("yyyyMMdd")) : QString(); }
QString compactDate(const QString& iso) { return compactDate(QDate::fromString(iso, Qt::ISODate)); }

GoNoGo verdict(const QString& v) {
  if (v == QLatin1String("GO")) return GoNoGo::Go;
  if (v == QLatin1String("NO-GO")) return GoNoGo::NoGo;
  return GoNoGo::Blank;
}

QString pointsText(const std::optional<int>& p) { return p ? QString::number(*p) : QString(); }

// Results by date of test, oldest first, a shared date in the order given.
QList<TestResult> byDate(QList<TestResult> results) {
  std::stable_sort(results.begin(), results.end(), [](const TestResult& a, const TestResult& b) { return a.date < b.date; });
  return results;
}

// How many tests a card holds: the latest ones by date (testsOnCard's rule
// on the dates alone).
constexpr qsizetype kTestsOnCard = 4;

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
  for (qsizetype i = std::max<qsizetype>(0, sorted.size() - kTestsOnCard); i < sorted.size(); ++i) tests << cardTest(sorted[i]);
  card.tests = testsOnCard(tests);
  return card;
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
  return cardOf(byDate(resultsFromFitnessRows(rows, Missing::Scored)), member);
}

QList<FitnessCard> cardsForGroup(const TestGroup& group, const QList<TestResult>& results) {
  const ResultsBySoldier bySoldier(results, group.members);
  QList<FitnessCard> cards;
  for (const GroupMember& m : group.members) cards << cardOf(byDate(bySoldier.of(m.dodId, m.ssn)), m);
  return cards;
}

QList<FitnessCard> cardsForGroup(const TestGroup& group, const std::vector<RowAsRead>& allRows) {
  return cardsForGroup(group, resultsFromFitnessRows(allRows, Missing::Scored));
}

QList<FitnessCard> cardsForGroup(const TestGroup& group, FitnessRecords& records) {
  // Each member by either identifier: the records before the DoD ID name
  // the soldier by SSN alone.
  QStringList soldiers;
  for (const GroupMember& m : group.members)
    for (const QString& id : {normalizedDodId(m.dodId).value_or(QString()), ssnDigits(m.ssn)})
      if (!id.isEmpty()) soldiers << id;
  soldiers.removeDuplicates();
  if (soldiers.isEmpty()) return cardsForGroup(group, QList<TestResult>());
  // Two reads: of every record of the group's soldiers only what picks the
  // card's tests and fills its header, then the whole of the few records the
  // cards show. A soldier of many years has many records.
  static const QStringList kPicking = {"ssn", "dod_id", "name", "sex", "unit", "test_date"};
  QList<TestResult> headers;
  {
    const std::vector<RowAsRead> rows = records.readOfSoldiers(soldiers, kPicking);
    headers.reserve(qsizetype(rows.size()));
    for (const RowAsRead& r : rows) headers << resultHeaderFromFitnessRow(r);
  }
  const ResultsBySoldier picking(headers, group.members);
  QList<qint64> shown;
  for (const QList<TestResult>& all : picking.all()) {
    const QList<TestResult> own = byDate(all);
    for (qsizetype i = std::max<qsizetype>(0, own.size() - kTestsOnCard); i < own.size(); ++i) shown << own[i].id;
  }
  QHash<qint64, TestResult> whole;
  for (const RowAsRead& r : records.readIds(shown)) whole.insert(r.key, resultFromFitnessRow(r, Missing::Scored));
  QList<FitnessCard> cards;
  for (const GroupMember& m : group.members) {
    QList<TestResult> own = byDate(picking.of(m.dodId, m.ssn));
    for (TestResult& r : own)
      if (const auto w = whole.constFind(r.id); w != whole.cend()) r = *w;
    cards << cardOf(own, m);
  }
  return cards;
}

}  // namespace quillon
