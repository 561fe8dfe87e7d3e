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

Score scoreEntry(const FitnessTest& test, const Entry& e) {
  if (!e.dob.isValid()) return refused(QStringLiteral("dob: not a date"));
  if (!e.testDate.isValid()) return refused(QStringLiteral("test_date: not a date"));
  if (e.testDate < e.dob)
    return refused(QStringLiteral("test_date: %1 is before the date of birth %2").arg(isoDate(e.testDate), isoDate(e.dob)));
  Score s;
  s.age = ageOn(e.dob, e.testDate);
  s.ageGroup = test.ageGroupOf(s.age);
  if (s.age < test.minimumAge || s.ageGroup < 0)
    return refused(QStringLiteral("dob: %1 makes the soldier %2 on %3, under %4")
                       .arg(isoDate(e.dob)).arg(s.age).arg(isoDate(e.testDate)).arg(test.minimumAge));
  const PassRule& rule = test.rule(e.standard);
  s.column = rule.maleCombatColumnForAll || e.sex == Sex::Male ? Column::MaleCombat : Column::Female;
  const int column = columnIndex(s.ageGroup, s.column);

  const bool onAlternate = !QStringView(e.alternate).trimmed().isEmpty();
  if (onAlternate) {
    s.alternate = test.alternateIndex(e.alternate);
    if (s.alternate < 0) {
      QStringList keys;
      for (const AlternateDef& a : test.alternates) keys << a.key;
      return refused(QStringLiteral("alternate: \"%1\" is not one of %2").arg(e.alternate, keys.join(", ")));
    }
    if (!QStringView(e.raw[test.runEvent]).trimmed().isEmpty())
      return refused(QStringLiteral("run: \"%1\" entered beside the alternate event %2")
                         .arg(e.raw[test.runEvent], test.alternates[s.alternate].key));
  } else if (!QStringView(e.alternateTime).trimmed().isEmpty()) {
    return refused(QStringLiteral("alternate_time: \"%1\" entered without an alternate event").arg(e.alternateTime));
  }

  for (int i = 0; i < kEvents; ++i) {
    if (onAlternate && i == test.runEvent) {
      const RawValue t = parseTime(QStringLiteral("alternate_time"), e.alternateTime);
      if (!t.value) return refused(t.error);
      const int limit = test.alternates[s.alternate].maxSeconds[column];
      s.points[i] = *t.value <= limit ? test.alternateGoPoints : 0;
    } else {
      const EventDef& ev = test.events[i];
      const RawValue v = parseRaw(ev, e.raw[i]);
      if (!v.value) return refused(v.error);
      s.points[i] = tablePoints(test.tables[i], ev.largerIsBetter, column, *v.value);
    }
    s.eventGo[i] = s.points[i] >= rule.eventMinimum;
    s.total += s.points[i];
  }
  s.go = s.total >= rule.totalMinimum && std::all_of(s.eventGo.begin(), s.eventGo.end(), [](bool g) { return g; });
  return s;
}

}  // namespace quillon::fitness
