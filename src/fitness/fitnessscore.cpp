#include "fitnessscore.h"

#include <algorithm>

#include "rawentry.h"

namespace quillon::fitness {

namespace {

Score refused(const QString& why) {
  Score s;
  s.refused = why;
  return s;
}

QString isoDate(const QDate& d) { return d.toString(Qt::ISODate); }

}  // namespace

int ageOn(const QDate& dob, const QDate& on) {
  int years = on.year() - dob.year();
  if (on.month() < dob.month() || (on.month() == dob.month() && on.day() < dob.day())) --years;
  return years;
}

int tablePoints(const QList<TableRow>& table, bool largerIsBetter, int column, int raw) {
  // Rows run from 100 down; the first met is the best. A page line out of
  // order (a better figure for fewer points) therefore never lowers a score.
  for (const TableRow& row : table) {
    const std::optional<int>& need = row.raw[column];
    if (need && (largerIsBetter ? raw >= *need : raw <= *need)) return row.points;
  }
  return 0;
}

namespace {

// Where the soldier is read on the day of the test: age, age group and
// column into `s`; why not when the dates allow none.
QString place(const FitnessTest& test, const QDate& dob, const QDate& testDate, Sex sex, Standard standard, Score& s) {
  if (!dob.isValid()) return QStringLiteral("dob: not a date");
  if (!testDate.isValid()) return QStringLiteral("test_date: not a date");
  if (testDate < dob)
    return QStringLiteral("test_date: %1 is before the date of birth %2").arg(isoDate(testDate), isoDate(dob));
  s.age = ageOn(dob, testDate);
  s.ageGroup = test.ageGroupOf(s.age);
  if (s.age < test.minimumAge || s.ageGroup < 0)
    return QStringLiteral("dob: %1 makes the soldier %2 on %3, under %4")
        .arg(isoDate(dob)).arg(s.age).arg(isoDate(testDate)).arg(test.minimumAge);
  s.column = test.rule(standard).maleCombatColumnForAll || sex == Sex::Male ? Column::MaleCombat : Column::Female;
  return {};
}

// The alternate keyed `key` into `s`; why not when the test has none such.
QString takeAlternate(const FitnessTest& test, const QString& key, Score& s) {
  s.alternate = test.alternateIndex(key);
  if (s.alternate >= 0) return {};
  QStringList keys;
  for (const AlternateDef& a : test.alternates) keys << a.key;
  return QStringLiteral("alternate: \"%1\" is not one of %2").arg(key, keys.join(", "));
}

// Points, verdicts and total of figures read, the soldier placed.
Score counted(const FitnessTest& test, Score s, const Figures& f) {
  const PassRule& rule = test.rule(f.standard);
  const int column = columnIndex(s.ageGroup, s.column);
  for (int i = 0; i < kEvents; ++i) {
    if (s.alternate >= 0 && i == test.runEvent) {
      const int limit = test.alternates[s.alternate].maxSeconds[column];
      s.points[i] = f.alternateSeconds <= limit ? test.alternateGoPoints : 0;
    } else {
      s.points[i] = tablePoints(test.tables[i], test.events[i].largerIsBetter, column, f.raw[i]);
    }
    s.eventGo[i] = s.points[i] >= rule.eventMinimum;
    s.total += s.points[i];
  }
  s.go = s.total >= rule.totalMinimum && std::all_of(s.eventGo.begin(), s.eventGo.end(), [](bool g) { return g; });
  return s;
}

}  // namespace

Score scoreEntry(const FitnessTest& test, const Entry& e) {
  Score s;
  if (const QString why = place(test, e.dob, e.testDate, e.sex, e.standard, s); !why.isEmpty()) return refused(why);
  const bool onAlternate = !QStringView(e.alternate).trimmed().isEmpty();
  if (onAlternate) {
    if (const QString why = takeAlternate(test, e.alternate, s); !why.isEmpty()) return refused(why);
    if (!QStringView(e.raw[test.runEvent]).trimmed().isEmpty())
      return refused(QStringLiteral("run: \"%1\" entered beside the alternate event %2")
                         .arg(e.raw[test.runEvent], test.alternates[s.alternate].key));
  } else if (!QStringView(e.alternateTime).trimmed().isEmpty()) {
    return refused(QStringLiteral("alternate_time: \"%1\" entered without an alternate event").arg(e.alternateTime));
  }

  Figures f{e.sex, e.standard, e.dob, e.testDate, {}, {}, 0};
  for (int i = 0; i < kEvents; ++i) {
    if (onAlternate && i == test.runEvent) {
      const RawValue t = parseTime(QStringLiteral("alternate_time"), e.alternateTime);
      if (!t.value) return refused(t.error);
      f.alternateSeconds = *t.value;
    } else {
      const RawValue v = parseRaw(test.events[i], e.raw[i]);
      if (!v.value) return refused(v.error);
      f.raw[i] = *v.value;
    }
  }
  return counted(test, s, f);
}

Score scoreFigures(const FitnessTest& test, const Figures& f) {
  Score s;
  if (const QString why = place(test, f.dob, f.testDate, f.sex, f.standard, s); !why.isEmpty()) return refused(why);
  const bool onAlternate = !QStringView(f.alternate).trimmed().isEmpty();
  if (onAlternate)
    if (const QString why = takeAlternate(test, f.alternate, s); !why.isEmpty()) return refused(why);
  // A figure no entry could give is refused as its written form would be.
  constexpr int kLongestTime = 99 * 60 + 59;
  for (int i = 0; i < kEvents; ++i) {
    if (onAlternate && i == test.runEvent) {
      if (f.alternateSeconds < 0 || f.alternateSeconds > kLongestTime)
        return refused(parseTime(QStringLiteral("alternate_time"), formatTime(f.alternateSeconds)).error);
      continue;
    }
    const EventDef& ev = test.events[i];
    if (f.raw[i] < ev.minRaw || f.raw[i] > ev.maxRaw) return refused(parseRaw(ev, formatRaw(ev.unit, f.raw[i])).error);
  }
  return counted(test, s, f);
}

}  // namespace quillon::fitness
