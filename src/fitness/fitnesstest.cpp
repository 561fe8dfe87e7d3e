#include "fitnesstest.h"

#include <QFile>

#include "rawentry.h"

namespace quillon::fitness {

namespace {

// The page headings of every table file, in file order.
QStringList columnHeadings(const QList<AgeGroup>& groups) {
  QStringList h;
  for (const AgeGroup& g : groups) h << g.label + QStringLiteral(" M|C") << g.label + QStringLiteral(" F");
  return h;
}

QList<AgeGroup> ageGroups() {
  QList<AgeGroup> g;
  for (int from = 17; from <= 57; from += 5) g.append({from, from + 4, QStringLiteral("%1-%2").arg(from).arg(from + 4)});
  g.append({62, -1, QStringLiteral("62+")});
  return g;
}

QList<QByteArray> lines(const QByteArray& csv) {
  QList<QByteArray> out;
  for (const QByteArray& l : csv.split('\n'))
    if (!l.trimmed().isEmpty()) out << l.trimmed();
  return out;
}

QString checkHeading(const QByteArray& line, const QString& first, const QString& file) {
  const QStringList want = QStringList{first} + columnHeadings(ageGroups());
  if (QString::fromUtf8(line).split(',') != want) return file + QStringLiteral(": heading is not ") + want.join(',');
  return {};
}

QByteArray resource(const QString& name) {
  QFile f(QStringLiteral(":/fitness-2025/") + name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

QString parseEventTable(const QByteArray& csv, const EventDef& event, QList<TableRow>& out) {
  const QString file = event.key + QStringLiteral(".csv");
  const QList<QByteArray> ls = lines(csv);
  if (ls.isEmpty()) return file + QStringLiteral(": empty");
  if (QString e = checkHeading(ls.first(), QStringLiteral("points"), file); !e.isEmpty()) return e;
  out.clear();
  for (qsizetype i = 1; i < ls.size(); ++i) {
    const QList<QByteArray> cells = ls[i].split(',');
    const QString where = file + QStringLiteral(" line %1").arg(i + 1);
    if (cells.size() != kColumns + 1) return where + QStringLiteral(": %1 cells").arg(cells.size());
    TableRow row{};
    bool ok = false;
    row.points = cells[0].toInt(&ok);
    if (!ok || row.points < 0 || row.points > 100) return where + QStringLiteral(": points \"%1\"").arg(QString(cells[0]));
    if (!out.isEmpty() && row.points >= out.last().points) return where + QStringLiteral(": points out of order");
    for (int c = 0; c < kColumns; ++c) {
      if (cells[c + 1] == "---") continue;
      const RawValue v = event.unit == Unit::Time ? parseTime(where, QString::fromUtf8(cells[c + 1]))
                                                  : parseCount(where, QString::fromUtf8(cells[c + 1]));
      if (!v.value) return v.error;
      row.raw[c] = v.value;
    }
    out.append(row);
  }
  if (out.isEmpty() || out.first().points != 100 || out.last().points != 0)
    return file + QStringLiteral(": the 100- and 0-point lines must open and close the table");
  for (int c = 0; c < kColumns; ++c)
    if (!out.first().raw[c] || !out.last().raw[c]) return file + QStringLiteral(": a column without a 100- or 0-point figure");
  return {};
}

QString parseAlternateTable(const QByteArray& csv, QList<AlternateDef>& alternates) {
  const QString file = QStringLiteral("alternate.csv");
  const QList<QByteArray> ls = lines(csv);
  if (ls.isEmpty()) return file + QStringLiteral(": empty");
  if (QString e = checkHeading(ls.first(), QStringLiteral("event"), file); !e.isEmpty()) return e;
  QList<bool> seen(alternates.size(), false);
  for (qsizetype i = 1; i < ls.size(); ++i) {
    const QList<QByteArray> cells = ls[i].split(',');
    const QString where = file + QStringLiteral(" line %1").arg(i + 1);
    if (cells.size() != kColumns + 1) return where + QStringLiteral(": %1 cells").arg(cells.size());
    qsizetype a = 0;
    while (a < alternates.size() && alternates[a].key != QString::fromUtf8(cells[0])) ++a;
    if (a == alternates.size() || seen[a]) return where + QStringLiteral(": event \"%1\"").arg(QString(cells[0]));
    seen[a] = true;
    for (int c = 0; c < kColumns; ++c) {
      const RawValue v = parseTime(where, QString::fromUtf8(cells[c + 1]));
      if (!v.value) return v.error;
      alternates[a].maxSeconds[c] = *v.value;
    }
  }
  if (seen.contains(false)) return file + QStringLiteral(": an alternate event is missing");
  return {};
}

int FitnessTest::ageGroupOf(int age) const {
  for (qsizetype i = 0; i < ageGroups.size(); ++i)
    if (age >= ageGroups[i].from && (ageGroups[i].to < 0 || age <= ageGroups[i].to)) return int(i);
  return -1;
}

const PassRule& FitnessTest::rule(Standard s) const {
  for (const PassRule& r : passRules)
    if (r.standard == s) return r;
  Q_ASSERT_X(false, "FitnessTest::rule", "a standard without a pass rule");
  return passRules.first();
}

int FitnessTest::eventIndex(const QString& key) const {
  for (qsizetype i = 0; i < events.size(); ++i)
    if (events[i].key == key) return int(i);
  return -1;
}

int FitnessTest::alternateIndex(const QString& key) const {
  for (qsizetype i = 0; i < alternates.size(); ++i)
    if (QStringView(alternates[i].key).compare(QStringView(key).trimmed(), Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

const LoadedTest& fitnessTest2025() {
  static const LoadedTest loaded = [] {
    FitnessTest t;
    t.edition = QStringLiteral("June 2025");
    t.effective = QDate(2025, 6, 1);
    // Valid entries are wide on purpose: a result the tables give no points
    // for still scores 0 rather than being refused, so only what no soldier
    // can do (or a slip of the keyboard) is turned back.
    t.events = {
        {QStringLiteral("deadlift"), QStringLiteral("3-repetition maximum deadlift"), Unit::Pounds, true, 0, 700},
        {QStringLiteral("pushup"), QStringLiteral("hand-release push-up"), Unit::Repetitions, true, 0, 200},
        {QStringLiteral("sdc"), QStringLiteral("sprint-drag-carry"), Unit::Time, false, 30, 20 * 60},
        {QStringLiteral("plank"), QStringLiteral("plank"), Unit::Time, true, 0, 20 * 60},
        {QStringLiteral("run"), QStringLiteral("2-mile run"), Unit::Time, false, 8 * 60, 99 * 60 + 59},
    };
    t.runEvent = 4;
    t.ageGroups = ageGroups();
    t.passRules = {{Standard::General, 60, 300, false}, {Standard::Combat, 60, 350, true}};
    t.alternates = {
        {QStringLiteral("walk"), QStringLiteral("2.5-mile walk"), {}},
        {QStringLiteral("bike"), QStringLiteral("12 km bike"), {}},
        {QStringLiteral("swim"), QStringLiteral("1 km swim"), {}},
        {QStringLiteral("row"), QStringLiteral("5 km row"), {}},
    };
    LoadedTest out;
    for (const EventDef& e : t.events) {
      QList<TableRow> rows;
      out.error = parseEventTable(resource(e.key + QStringLiteral(".csv")), e, rows);
      if (!out.error.isEmpty()) return out;
      t.tables.append(rows);
    }
    out.error = parseAlternateTable(resource(QStringLiteral("alternate.csv")), t.alternates);
    if (out.error.isEmpty()) out.test = t;
    return out;
  }();
  return loaded;
}

}  // namespace quillon::fitness
