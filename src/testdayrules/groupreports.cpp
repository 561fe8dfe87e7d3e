#include "groupreports.h"

#include <algorithm>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "fitnesstest.h"
#include "grouprecordfields.h"
#include "ranks.h"
#include "rawentry.h"

namespace quillon {

namespace {

using K = ExportTable::Kind;
using namespace recordfields;

QString standardLetter(const QString& standard) {
  if (standard == QLatin1String("combat")) return QStringLiteral("C");
  if (standard == QLatin1String("general")) return QStringLiteral("G");
  return standard;
}

// "190 (80)": the figure as the tables write it and the points it earned.
QString eventCell(const RowAsRead& row, int event) {
  const fitness::EventDef& ev = fiveEventTest().events.at(event);
  QString raw = field(row, kRawColumns[event]);
  if (event == 0) {
    // Two deadlift attempts: the heavier counts.
    const QString a = field(row, "deadlift_1"), b = field(row, "deadlift_2");
    raw = a.isEmpty() ? b : b.isEmpty() ? a : (a.toInt() >= b.toInt() ? a : b);
  }
  if (raw.isEmpty()) return {};
  const QString pts = field(row, kPointColumns[event]);
  const QString shown = fitness::formatRaw(ev.unit, raw.toInt());
  return pts.isEmpty() ? shown : QStringLiteral("%1 (%2)").arg(shown, pts);
}

// The run, or the alternate event taken instead with its time and verdict.
QString aerobicCell(const RowAsRead& row) {
  const QString alt = field(row, "alt_event");
  if (alt.isEmpty()) return eventCell(row, fiveEventTest().runEvent);
  const QString time = field(row, "alt_time_s");
  QString out = alternateName(alt);
  if (!time.isEmpty()) out += QLatin1Char(' ') + fitness::formatTime(time.toInt());
  if (const QString go = field(row, "alt_go"); !go.isEmpty()) out += QLatin1Char(' ') + go;
  return out;
}

struct ResultLine {
  const GroupMember* member;
  const RowAsRead* record;
  std::optional<int> total;
};

bool byName(const ResultLine& a, const ResultLine& b) {
  const int c = a.member->name.compare(b.member->name, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a.member->ssn < b.member->ssn;
}

}  // namespace

MemberRecords groupRecords(const TestGroup& group, const std::vector<RowAsRead>& fiveEvent) {
  MemberRecords out;
  for (const GroupMember& m : group.members) {
    std::optional<RowAsRead> found;
    for (const RowAsRead& r : fiveEvent)
      if (field(r, "ssn") == m.ssn && field(r, "test_date") == group.testDate) found = r;
    out << found;
  }
  return out;
}

ReportTable groupResults(const TestGroup& group, const MemberRecords& records, ResultOrder order) {
  ReportTable t;
  t.title = QStringLiteral("%1: %2, %3")
                .arg(order == ResultOrder::ByName ? QStringLiteral("Results by Name") : QStringLiteral("Results by Total"),
                     group.testDate, group.location);
  t.landscape = true;
  t.columns = {{"name", "Name", 22, K::Text}, {"ssn", "SSN", 11, K::Text, "ssn"}, {"std", "Std", 4, K::Text}};
  for (int e = 0; e < fitness::kEvents; ++e)
    t.columns << ReportTable::Column{QString::fromLatin1(kRawColumns[e]), eventCaption(e), e == fiveEventTest().runEvent ? 15.0 : 9.0,
                                     K::Text};
  t.columns << ReportTable::Column{"total", "Total", 6, K::Number} << ReportTable::Column{"result", "Result", 9, K::Text}
            << ReportTable::Column{"failed", "NO-GO in", 14, K::Text};

  std::vector<ResultLine> lines;
  for (int i = 0; i < group.members.size(); ++i) {
    const RowAsRead* rec = records.value(i) ? &*records[i] : nullptr;
    std::optional<int> total;
    if (rec && !field(*rec, "total_pts").isEmpty()) total = field(*rec, "total_pts").toInt();
    lines.push_back({&group.members[i], rec, total});
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
      for (int e = 0; e < fitness::kEvents; ++e) row << QString();
      row << QString() << QStringLiteral("Not tested") << QString();
    } else {
      for (int e = 0; e < fitness::kEvents; ++e) row << (e == fiveEventTest().runEvent ? aerobicCell(*l.record) : eventCell(*l.record, e));
      const QString result = field(*l.record, "result_go");
      row << (l.total ? QString::number(*l.total) : QString()) << (result.isEmpty() ? QStringLiteral("Incomplete") : result)
          << failedEvents(*l.record).join(QStringLiteral(", "));
    }
    t.rows << row;
  }
  return t;
}

ReportTable goNoGoSummary(const TestGroup& group, const MemberRecords& records) {
  ReportTable t;
  t.title = QStringLiteral("GO/NO-GO Summary: %1, %2").arg(group.testDate, group.location);
  t.columns = {{"event", "Event", 16, K::Text}, {"tested", "Tested", 6, K::Number}, {"go", "GO", 6, K::Number},
               {"nogo", "NO-GO", 6, K::Number}, {"who", "NO-GO soldiers", 40, K::Text}};
  t.emptyText = QStringLiteral("The group has no soldiers.");

  // Each line counts the verdicts `verdictOf` finds; none means the soldier
  // did not take that event.
  const auto line = [&](const QString& caption, const std::function<QString(const RowAsRead&)>& verdictOf) {
    int tested = 0, go = 0;
    QStringList failed;
    for (int i = 0; i < records.size(); ++i) {
      if (!records[i]) continue;
      const QString v = verdictOf(*records[i]);
      if (v.isEmpty()) continue;
      ++tested;
      if (v == QLatin1String("GO"))
        ++go;
      else
        failed << group.members.at(i).name;
    }
    std::sort(failed.begin(), failed.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    t.rows << QStringList{caption, QString::number(tested), QString::number(go), QString::number(tested - go),
                          failed.join(QStringLiteral("; "))};
  };
  const fitness::FitnessTest& test = fiveEventTest();
  for (int e = 0; e < fitness::kEvents; ++e)
    line(test.events.at(e).name, [e, &test](const RowAsRead& r) {
      if (e == test.runEvent && !field(r, "alt_event").isEmpty()) return QString();
      return field(r, kGoColumns[e]);
    });
  // Alternates in the test's order, each only when someone took it; one the
  // test does not know is still counted, under its stored name.
  QStringList taken;
  for (const auto& r : records)
    if (r && !field(*r, "alt_event").isEmpty() && !taken.contains(alternateName(field(*r, "alt_event"))))
      taken << alternateName(field(*r, "alt_event"));
  QStringList ordered;
  for (const fitness::AlternateDef& a : test.alternates)
    if (taken.contains(a.name)) ordered << a.name;
  for (const QString& name : taken)
    if (!ordered.contains(name)) ordered << name;
  for (const QString& name : ordered)
    line(name, [&name](const RowAsRead& r) {
      return alternateName(field(r, "alt_event")) == name ? field(r, "alt_go") : QString();
    });
  line(QStringLiteral("Overall result"), [](const RowAsRead& r) { return field(r, "result_go"); });
  QStringList waiting;
  for (int i = 0; i < group.members.size(); ++i)
    if (!records.value(i) || field(*records[i], "result_go").isEmpty()) waiting << group.members[i].name;
  std::sort(waiting.begin(), waiting.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  t.rows << QStringList{QStringLiteral("No result yet"), QString(), QString(), QString(),
                        waiting.join(QStringLiteral("; "))};
  return t;
}

ReportTable groupRecordsTable(const TestGroup& group, const MemberRecords& records) {
  ReportTable t;
  t.title = QStringLiteral("Five-event records: %1, %2").arg(group.testDate, group.location);
  for (const FitnessField& f : fitnessFields()) {
    const K kind = f.kind == FitnessField::Kind::Key || f.kind == FitnessField::Kind::Whole || f.kind == FitnessField::Kind::Decimal
                       ? K::Number
                   : f.kind == FitnessField::Kind::Date ? K::Date
                                                        : K::Text;
    t.columns << ReportTable::Column{f.name, f.name, 10, kind};
  }
  for (int i = 0; i < group.members.size(); ++i) {
    if (records.value(i)) {
      t.rows << records[i]->fields.mid(0, fitnessFieldNames().size());
      continue;
    }
    const GroupMember& m = group.members[i];
    QStringList row(fitnessFieldNames().size());
    const auto set = [&](const char* name, const QString& v) { row[fitnessFieldNames().indexOf(QLatin1String(name))] = v; };
    set("test_group", group.id ? QString::number(group.id) : QString());
    set("name", m.name);
    set("ssn", m.ssn);
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

TestDayRecords readTestDayRecords(const QString& dbPath, bool withInfo) {
  TestDayRecords out;
  const std::unique_ptr<FitnessRecords> five = FitnessRecords::forDatabase(dbPath);
  five->open();
  out.fiveEvent = five->readAll();
  five->close();
  if (withInfo) {
    const std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(dbPath);
    info->open();
    info->forEachRow({}, [&](const QStringList& row) {
      out.info.push_back(row);
      return true;
    });
    info->close();
    // A soldier put on a test day before any record of theirs exists is
    // known by the groups alone, on the file and on a records server alike.
    for (const TestGroup& g : TestGroups::forDatabase(dbPath)->all()) out.groupMembers << g.members;
  }
  return out;
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
