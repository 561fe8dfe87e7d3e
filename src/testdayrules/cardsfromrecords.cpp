#include "cardsfromrecords.h"

#include <QDate>
#include <QHash>
#include <algorithm>

#include "fitnessscore.h"
#include "rawentry.h"
#include "recordrow.h"

namespace quillon {

namespace {

using fitness::FitnessTest;

const FitnessTest& test() { return *fitness::fitnessTest2025().test; }

// The record's columns per event, in the test's (and the card's) order.
struct EventColumns {
  const char* key;  // the scoring's event key
  const char* raw;
  const char* points;
  const char* grader;
};
const EventColumns kEvents[kCardEvents] = {{"deadlift", "deadlift_1", "deadlift_pts", "grader_deadlift"},
                                           {"pushup", "pushup", "pushup_pts", "grader_pushup"},
                                           {"sdc", "sdc_s", "sdc_pts", "grader_sdc"},
                                           {"plank", "plank_s", "plank_pts", "grader_plank"},
                                           {"run", "run_s", "run_pts", "grader_run"}};

QString field(const RowAsRead& row, const char* name) {
  const int c = static_cast<int>(fitnessFieldNames().indexOf(QString::fromLatin1(name)));
  Q_ASSERT(c >= 0);
  return row.fields.value(c).trimmed();
}

QString compactDate(const QString& iso) {
  const QDate d = QDate::fromString(iso, Qt::ISODate);
  return d.isValid() ? d.toString(QStringLiteral("yyyyMMdd")) : QString();
}

GoNoGo verdict(const QString& v) {
  if (v == QLatin1String("GO")) return GoNoGo::Go;
  if (v == QLatin1String("NO-GO")) return GoNoGo::NoGo;
  return GoNoGo::Blank;
}

// The heavier attempt counts; either alone when only one was lifted.
QString deadliftCounted(const RowAsRead& row) {
  const QString a = field(row, "deadlift_1"), b = field(row, "deadlift_2");
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() ? b : a;
  return a.toInt() >= b.toInt() ? a : b;
}

QString rawOf(const RowAsRead& row, int event) {
  return event == 0 ? deadliftCounted(row) : field(row, kEvents[event].raw);
}

bool onAlternate(const RowAsRead& row) { return !field(row, "alt_event").isEmpty(); }

// Points for the events a record holds a result of but no points for,
// scored as lane entry scores a soldier still testing: the events not
// entered stand in at a valid figure and only the entered ones are kept.
// The total and overall verdict come only with all five events entered.
struct Rescored {
  std::array<QString, kCardEvents> points;
  QString total;
  GoNoGo overall = GoNoGo::Blank;
};

std::optional<Rescored> rescored(const RowAsRead& row) {
  const bool alt = onAlternate(row);
  std::array<bool, kCardEvents> entered{};
  bool missing = false;
  for (int i = 0; i < kCardEvents; ++i) {
    const bool isAlt = alt && i == test().runEvent;
    entered[i] = !(isAlt ? field(row, "alt_time_s") : rawOf(row, i)).isEmpty();
    const QString stored = isAlt ? field(row, "alt_pts") : field(row, kEvents[i].points);
    missing = missing || (entered[i] && stored.isEmpty());
  }
  const bool all = std::all_of(entered.begin(), entered.end(), [](bool e) { return e; });
  missing = missing || (all && field(row, "total_pts").isEmpty());
  if (!missing) return std::nullopt;

  fitness::Entry e;
  e.sex = field(row, "sex") == QLatin1String("F") ? fitness::Sex::Female : fitness::Sex::Male;
  e.standard = field(row, "standard") == QLatin1String("combat") ? fitness::Standard::Combat : fitness::Standard::General;
  e.dob = QDate::fromString(field(row, "dob"), Qt::ISODate);
  e.testDate = QDate::fromString(field(row, "test_date"), Qt::ISODate);
  for (int i = 0; i < kCardEvents; ++i) {
    const fitness::EventDef& ev = test().events[i];
    if (alt && i == test().runEvent) continue;
    e.raw[i] = fitness::formatRaw(ev.unit, entered[i] ? rawOf(row, i).toInt() : ev.minRaw);
  }
  if (alt) {
    e.alternate = field(row, "alt_event");
    e.alternateTime = fitness::formatTime(entered[test().runEvent] ? field(row, "alt_time_s").toInt() : 0);
  }
  // A record the scoring refuses (no date of birth, say) keeps its boxes
  // blank rather than showing points nobody scored.
  const fitness::Score s = fitness::scoreEntry(test(), e);
  if (!s.scored()) return std::nullopt;
  Rescored out;
  for (int i = 0; i < kCardEvents; ++i)
    if (entered[i]) out.points[i] = QString::number(s.points[i]);
  if (all) {
    out.total = QString::number(s.total);
    out.overall = s.go ? GoNoGo::Go : GoNoGo::NoGo;
  }
  return out;
}

QString timeOf(const QString& seconds) { return seconds.isEmpty() ? QString() : fitness::formatTime(seconds.toInt()); }

QString orStored(const QString& stored, const QString& scored) { return stored.isEmpty() ? scored : stored; }

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

}  // namespace

CardTest cardTestFromRecord(const RowAsRead& row) {
  CardTest t;
  t.date = compactDate(field(row, "test_date"));
  t.mos = field(row, "mos");
  t.payGrade = field(row, "pay_grade");
  const QDate dob = QDate::fromString(field(row, "dob"), Qt::ISODate);
  const QDate on = QDate::fromString(field(row, "test_date"), Qt::ISODate);
  if (dob.isValid() && on.isValid() && dob <= on) t.age = QString::number(fitness::ageOn(dob, on));
  const QString standard = field(row, "standard");
  t.standard = standard == QLatin1String("combat")    ? CardStandard::Combat
               : standard == QLatin1String("general") ? CardStandard::General
                                                      : CardStandard::Blank;
  t.bodyCompositionDate = compactDate(field(row, "bc_date"));
  t.heightInches = field(row, "height_in");
  t.weightPounds = field(row, "weight_lb");
  t.weight = verdict(field(row, "weight_go"));
  t.bodyFatPercent = field(row, "body_fat_pct");
  t.bodyFat = verdict(field(row, "body_fat_go"));
  t.deadliftFirst = field(row, "deadlift_1");
  t.deadliftSecond = field(row, "deadlift_2");

  const std::optional<Rescored> scored = rescored(row);
  const auto scoredPoints = [&](int i) { return scored ? scored->points[i] : QString(); };
  const bool alt = onAlternate(row);
  for (int i = 0; i < kCardEvents; ++i) {
    if (alt && i == test().runEvent) continue;  // the alternate's own boxes hold it
    const fitness::EventDef& ev = test().events[i];
    const QString raw = rawOf(row, i);
    t.events[i].raw = raw.isEmpty() ? QString() : fitness::formatRaw(ev.unit, raw.toInt());
    t.events[i].points = orStored(field(row, kEvents[i].points), scoredPoints(i));
    t.events[i].grader = field(row, kEvents[i].grader);
  }
  if (alt) {
    t.alternate = field(row, "alt_event").toUpper();
    t.alternateTime = timeOf(field(row, "alt_time_s"));
    t.alternatePoints = orStored(field(row, "alt_pts"), scoredPoints(test().runEvent));
    t.alternateResult = verdict(field(row, "alt_go"));
    if (t.alternateResult == GoNoGo::Blank && !t.alternatePoints.isEmpty())
      t.alternateResult = t.alternatePoints.toInt() >= test().alternateGoPoints ? GoNoGo::Go : GoNoGo::NoGo;
    t.alternateGrader = field(row, "grader_alt");
  }
  t.total = orStored(field(row, "total_pts"), scored ? scored->total : QString());
  t.overall = verdict(field(row, "result_go"));
  if (t.overall == GoNoGo::Blank && scored && field(row, "total_pts").isEmpty()) t.overall = scored->overall;
  t.oicName = field(row, "oic_ncoic_name");
  return t;
}

FitnessCard cardFromRecords(const std::vector<RowAsRead>& rows, const GroupMember& member) {
  const std::vector<RowAsRead> sorted = byTestDate(rows);
  // The header is the soldier as last recorded; what no record holds comes
  // from the group.
  const auto latest = [&](const char* name, const QString& fallback) {
    for (auto r = sorted.rbegin(); r != sorted.rend(); ++r)
      if (const QString v = field(*r, name); !v.isEmpty()) return v;
    return fallback.trimmed();
  };
  FitnessCard card;
  const QString name = latest("name", member.name);
  const qsizetype comma = name.indexOf(QLatin1Char(','));
  card.lastName = (comma < 0 ? name : name.left(comma)).trimmed();
  QStringList given = comma < 0 ? QStringList() : name.mid(comma + 1).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  // "Last, First M": a lone letter at the end is the middle initial.
  if (given.size() > 1 && QString(given.last()).remove(QLatin1Char('.')).size() == 1)
    card.middleInitial = given.takeLast().remove(QLatin1Char('.'));
  card.firstName = given.join(QLatin1Char(' '));
  card.sex = latest("sex", member.sex).toUpper();
  card.unit = latest("unit", member.unit);

  QList<CardTest> tests;
  for (const RowAsRead* r : onCard(sorted)) tests << cardTestFromRecord(*r);
  card.tests = testsOnCard(tests);
  return card;
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
