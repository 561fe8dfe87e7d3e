#include "groupreports.h"

#include <QHash>
#include <algorithm>
#include <functional>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "ranks.h"
#include "recordrow.h"
#include "soldierid.h"
#include "soldierresults.h"
#include "storedresults.h"

namespace quillon {

namespace {

using K = ExportTable::Kind;

// Whether an alternate may be taken in event `e`'s place.
bool replaced(const TestKind& kind, int e) {
  return std::any_of(kind.alternates().cbegin(), kind.alternates().cend(), [e](const TestEvent& a) { return a.replaces == e; });
}

// The short caption a scorecard gives the event, one an alternate may
// replace naming that too.
QString eventHeading(const TestKind& kind, int e) {
  return kind.events().at(e).caption + (replaced(kind, e) ? QStringLiteral(" / Alt") : QString());
}

QString standardLetter(const QString& standard) {
  if (standard == QLatin1String("combat")) return QStringLiteral("C");
  if (standard == QLatin1String("general")) return QStringLiteral("G");
  return standard;
}

// "190 (80)": the figure as the test writes it and the points it earned;
// an alternate taken instead by its name, time and verdict.
QString eventCell(const TestKind& kind, const EventResult& e) {
  if (!e.alternate.isEmpty()) {
    QString out = kind.alternateName(e.alternate);
    if (e.raw) out += QLatin1Char(' ') + kind.rawText(e);
    if (!e.verdict.isEmpty()) out += QLatin1Char(' ') + e.verdict;
    return out;
  }
  if (!e.raw) return {};
  const QString shown = kind.rawText(e);
  return e.points ? QStringLiteral("%1 (%2)").arg(shown).arg(*e.points) : shown;
}

// The events the result failed, in the test's order; an alternate taken
// instead is judged by its own verdict.
QStringList failedEvents(const TestResult& r) {
  const TestKind& kind = kindOf(r);
  QStringList out;
  for (const EventResult& e : r.events)
    if (!e.verdict.isEmpty() && e.verdict != kind.passWord())
      out << (e.alternate.isEmpty() ? kind.events().at(e.event).caption : kind.alternateName(e.alternate));
  return out;
}

struct ResultLine {
  const GroupMember* member;
  const TestResult* record;
  std::optional<int> total;
};

bool byName(const ResultLine& a, const ResultLine& b) {
  const int c = a.member->name.compare(b.member->name, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a.member->ssn < b.member->ssn;
}

}  // namespace

MemberRecords groupRecords(const TestGroup& group, const QList<TestResult>& results) {
  const QDate on = QDate::fromString(group.testDate, Qt::ISODate);
  QList<TestResult> ofTheDay;
  for (const TestResult& r : results)
    if (r.kind == kGroupTest && r.date == on) ofTheDay << r;
  const ResultsBySoldier bySoldier(ofTheDay, group.members);
  MemberRecords out;
  for (const GroupMember& m : group.members) {
    // Of two, the later read.
    const QList<TestResult> found = bySoldier.of(m.dodId, m.ssn);
    out << (found.isEmpty() ? std::nullopt : std::optional<TestResult>(found.last()));
  }
  return out;
}

QList<TestResult> readGroupResults(const QString& dbPath, const TestGroup& group) {
  QStringList soldiers;
  for (const GroupMember& m : group.members)
    for (const QString& id : {normalizedDodId(m.dodId).value_or(QString()), ssnDigits(m.ssn)})
      if (!id.isEmpty()) soldiers << id;
  soldiers.removeDuplicates();
  if (soldiers.isEmpty()) return {};
  const std::unique_ptr<FitnessRecords> five = FitnessRecords::forDatabase(dbPath);
  five->open();
  const std::vector<RowAsRead> rows = five->readOfSoldiers(soldiers);
  five->close();
  return resultsFromFitnessRows(rows, Missing::AsStored);
}

ReportTable groupResults(const TestGroup& group, const MemberRecords& records, ResultOrder order) {
  const TestKind& kind = testKind(kGroupTest);
  ReportTable t;
  t.title = QStringLiteral("%1: %2, %3")
                .arg(order == ResultOrder::ByName ? QStringLiteral("Results by Name") : QStringLiteral("Results by Total"),
                     group.testDate, group.location);
  t.landscape = true;
  t.columns = {{"name", "Name", 22, K::Text}, {"ssn", "SSN", 11, K::Text, "ssn"}, {"std", "Std", 4, K::Text}};
  for (int e = 0; e < kind.events().size(); ++e)
    t.columns << ReportTable::Column{kind.events()[e].key, eventHeading(kind, e), replaced(kind, e) ? 15.0 : 9.0, K::Text};
  t.columns << ReportTable::Column{"total", "Total", 6, K::Number} << ReportTable::Column{"result", "Result", 9, K::Text}
            << ReportTable::Column{"failed", "NO-GO in", 14, K::Text};

  std::vector<ResultLine> lines;
  for (int i = 0; i < group.members.size(); ++i) {
    const TestResult* rec = records.value(i) ? &*records[i] : nullptr;
    lines.push_back({&group.members[i], rec, rec ? rec->total : std::nullopt});
  }
  std::stable_sort(lines.begin(), lines.end(), [&](const ResultLine& a, const ResultLine& b) {
    if (order == ResultOrder::ByTotal && a.total != b.total) {
      if (!a.total || !b.total) return a.total.has_value();
      return *a.total > *b.total;
    }
    return byName(a, b);
  });

  for (const ResultLine& l : lines) {
    QStringList row{l.member->name, l.member->ssn, standardLetter(l.member->standard)};
    if (!l.record) {
      for (int e = 0; e < kind.events().size(); ++e) row << QString();
      row << QString() << QStringLiteral("Not tested") << QString();
    } else {
      for (const EventResult& e : l.record->events) row << eventCell(kind, e);
      const QString& result = l.record->result;
      row << (l.total ? QString::number(*l.total) : QString()) << (result.isEmpty() ? QStringLiteral("Incomplete") : result)
          << failedEvents(*l.record).join(QStringLiteral(", "));
    }
    t.rows << row;
  }
  return t;
}

ReportTable goNoGoSummary(const TestGroup& group, const MemberRecords& records) {
  const TestKind& kind = testKind(kGroupTest);
  ReportTable t;
  t.title = QStringLiteral("GO/NO-GO Summary: %1, %2").arg(group.testDate, group.location);
  t.columns = {{"event", "Event", 16, K::Text}, {"tested", "Tested", 6, K::Number}, {"go", "GO", 6, K::Number},
               {"nogo", "NO-GO", 6, K::Number}, {"who", "NO-GO soldiers", 40, K::Text}};
  t.emptyText = QStringLiteral("The group has no soldiers.");

  // Each line counts the verdicts `verdictOf` finds; none means the soldier
  // did not take that event.
  const auto line = [&](const QString& caption, const std::function<QString(const TestResult&)>& verdictOf) {
    int tested = 0, go = 0;
    QStringList failed;
    for (int i = 0; i < records.size(); ++i) {
      if (!records[i]) continue;
      const QString v = verdictOf(*records[i]);
      if (v.isEmpty()) continue;
      ++tested;
      if (v == kind.passWord())
        ++go;
      else
        failed << group.members.at(i).name;
    }
    std::sort(failed.begin(), failed.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    t.rows << QStringList{caption, QString::number(tested), QString::number(go), QString::number(tested - go),
                          failed.join(QStringLiteral("; "))};
  };
  // An event's own verdict; none when an alternate was taken in its place.
  for (int e = 0; e < kind.events().size(); ++e)
    line(kind.events().at(e).name, [e](const TestResult& r) {
      const EventResult& ev = r.events.at(e);
      return ev.alternate.isEmpty() ? ev.verdict : QString();
    });
  // Alternates in the test's order, each only when someone took it; one the
  // test does not know is still counted, under its stored name.
  const auto alternateOf = [](const TestResult& r) -> const EventResult* {
    for (const EventResult& e : r.events)
      if (!e.alternate.isEmpty()) return &e;
    return nullptr;
  };
  QStringList taken;
  for (const auto& r : records)
    if (const EventResult* a = r ? alternateOf(*r) : nullptr; a && !taken.contains(kind.alternateName(a->alternate)))
      taken << kind.alternateName(a->alternate);
  QStringList ordered;
  for (const TestEvent& a : kind.alternates())
    if (taken.contains(a.name)) ordered << a.name;
  for (const QString& name : taken)
    if (!ordered.contains(name)) ordered << name;
  for (const QString& name : ordered)
    line(name, [&](const TestResult& r) {
      const EventResult* a = alternateOf(r);
      return a && kind.alternateName(a->alternate) == name ? a->verdict : QString();
    });
  line(QStringLiteral("Overall result"), [](const TestResult& r) { return r.result; });
  QStringList waiting;
  for (int i = 0; i < group.members.size(); ++i)
    if (!records.value(i) || records[i]->result.isEmpty()) waiting << group.members[i].name;
  std::sort(waiting.begin(), waiting.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  t.rows << QStringList{QStringLiteral("No result yet"), QString(), QString(), QString(),
                        waiting.join(QStringLiteral("; "))};
  return t;
}

ReportTable groupRecordsTable(const TestGroup& group, const MemberRecords& records) {
  ReportTable t;
  t.title = QStringLiteral("Five-event records: %1, %2").arg(group.testDate, group.location);
  for (const FitnessField& f : fitnessFields()) {
    t.columns << ReportTable::Column{f.name, f.name, 10, comparedAs(f.kind)};
  }
  for (int i = 0; i < group.members.size(); ++i) {
    if (records.value(i)) {
      QStringList row;
      for (const QString& name : fitnessFieldNames()) row << records[i]->particulars.value(name);
      t.rows << row;
      continue;
    }
    const GroupMember& m = group.members[i];
    QStringList row(fitnessFieldNames().size());
    const auto set = [&](const char* name, const QString& v) { row[fitnessFieldNames().indexOf(QLatin1String(name))] = v; };
    set("test_group", group.id ? QString::number(group.id) : QString());
    set("name", m.name);
    set("ssn", m.ssn);
    set("dod_id", m.dodId);
    set("sex", m.sex);
    set("dob", m.dob);
    set("unit", m.unit);
    set("standard", m.standard);
    set("pay_grade", payGradeOf(m.rank));
    set("test_date", group.testDate);
    t.rows << row;
  }
  return t;
}

namespace {

// The three-event records: none, whole, or of each only what picks a
// soldier's tests (its key, date of test and soldier).
enum class Info { None, Whole, Headers };

TestDayRecords readRecords(const QString& dbPath, Info read,
                           const std::function<std::vector<RowAsRead>(FitnessRecords&)>& readFive) {
  TestDayRecords out;
  const bool withInfo = read != Info::None;
  if (withInfo) {
    const std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(dbPath);
    info->open();
    if (read == Info::Whole)
      info->forEachRow({}, [&](const QStringList& row) {
        out.results << resultFromInfoRow(row);
        return true;
      });
    else
      info->forEachRowOf(infoHeaderFields(), [&](const QStringList& header) {
        out.results << resultHeaderFromInfoFields(header);
        return true;
      });
    info->close();
  }
  const std::unique_ptr<FitnessRecords> five = FitnessRecords::forDatabase(dbPath);
  five->open();
  out.results << resultsFromFitnessRows(readFive(*five), Missing::AsStored);
  five->close();
  if (withInfo) {
    // A soldier put on a test day before any record of theirs exists is
    // known by the groups alone, on the file and on a records server alike.
    for (const TestGroup& g : TestGroups::forDatabase(dbPath)->all()) out.groupMembers << g.members;
  }
  return out;
}

}  // namespace

TestDayRecords readTestDayRecords(const QString& dbPath, bool withInfo) {
  return readRecords(dbPath, withInfo ? Info::Whole : Info::None, [](FitnessRecords& five) { return five.readAll(); });
}

TestDayRecords readDueListRecords(const QString& dbPath, const QDate& asOf) {
  const QString upTo = asOf.toString(Qt::ISODate);
  return readRecords(dbPath, Info::Headers, [&upTo](FitnessRecords& five) { return five.readLatest(upTo); });
}

PreparedReport preparedReport(const ReportTable& table) {
  ReportLayout L;
  L.title = table.title;
  L.emptyText = table.emptyText;
  L.orientation = table.landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
  // The rows come in print order: the first field numbers them so the
  // engine, which orders rows no key orders by their number, keeps it.
  L.fields << QStringLiteral("ID");
  for (const ReportTable::Column& c : table.columns) {
    L.fields << c.key;
    ReportColumn rc;
    rc.fields = QStringList{c.key};
    rc.heading = c.heading;
    rc.width = c.width;
    rc.format = !c.printed.isEmpty() ? c.printed : c.kind == K::Number ? QStringLiteral("number") : QStringLiteral("text");
    rc.align = c.kind == K::Number ? Qt::AlignRight : Qt::AlignLeft;
    L.columns << rc;
  }
  std::vector<ReportRow> rows;
  rows.reserve(table.rows.size());
  for (qsizetype i = 0; i < table.rows.size(); ++i) rows.push_back(QStringList{QString::number(i + 1)} + table.rows[i]);
  return prepareReport(L, std::move(rows), {});
}

ExportTable exportTable(const ReportTable& table) {
  ExportTable out;
  for (const ReportTable::Column& c : table.columns) {
    out.headings << c.heading;
    out.kinds << c.kind;
  }
  out.rows = table.rows;
  return out;
}

}  // namespace quillon
