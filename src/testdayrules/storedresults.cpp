#include "storedresults.h"

#include <algorithm>

#include "fitnessrecords.h"
#include "infofields.h"
#include "numeric.h"
#include "recordrow.h"
#include "soldierid.h"

namespace quillon {

namespace {

std::optional<int> number(const QString& text) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok ? std::optional<int>(v) : std::nullopt;
}

// A figure as the records hold it: empty is none, anything else is read as
// the forms always read it.
std::optional<int> figure(const QString& text) { return text.isEmpty() ? std::nullopt : std::optional<int>(text.toInt()); }

// The five-event record's columns per event, in the test's order.
struct EventColumns {
  const char* raw;
  const char* points;
  const char* go;
  const char* grader;
};
const EventColumns kFiveEventColumns[] = {{"deadlift_1", "deadlift_pts", "deadlift_go", "grader_deadlift"},
                                          {"pushup", "pushup_pts", "pushup_go", "grader_pushup"},
                                          {"sdc_s", "sdc_pts", "sdc_go", "grader_sdc"},
                                          {"plank_s", "plank_pts", "plank_go", "grader_plank"},
                                          {"run_s", "run_pts", "run_go", "grader_run"}};

// A record's fields by name, blanks around a value dropped.
struct Fields {
  const QHash<QString, QString>& stored;
  QString value(const char* name) const { return stored.value(QLatin1String(name)).trimmed(); }
};

// The heavier deadlift attempt counts; either alone when only one was lifted.
QString deadliftCounted(const Fields& f) {
  const QString a = f.value("deadlift_1"), b = f.value("deadlift_2");
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() ? b : a;
  return a.toInt() >= b.toInt() ? a : b;
}

// Points for what the record entered but holds no points of, and the total
// and verdict when every event is in and no total is stored.
void scoreWhatIsMissing(TestResult& r) {
  const bool all = std::all_of(r.events.cbegin(), r.events.cend(), [](const EventResult& e) { return e.raw.has_value(); });
  const bool missing = std::any_of(r.events.cbegin(), r.events.cend(), [](const EventResult& e) { return e.raw && !e.points; });
  if (!missing && !(all && !r.total)) return;
  const ScoredTest s = kindOf(r).score(r.soldier, r.date, r.events);
  if (!s.scored()) return;
  for (EventResult& e : r.events)
    if (e.raw && !e.points) e.points = s.points.value(e.event);
  if (!r.total) {
    r.total = s.total;
    if (r.result.isEmpty()) r.result = s.result;
  }
}

}  // namespace

TestResult resultFromInfoRow(const QStringList& row) {
  const auto f = [&](const char* name) { return row.value(fieldIndex(QString::fromLatin1(name))).trimmed(); };
  TestResult r;
  r.kind = TestKindId::ThreeEvent;
  r.id = f("ID").toLongLong();
  r.date = parseDateOfBirth(f("DOT")).value_or(QDate());  // the form a date of test is read in too
  r.soldier.ssn = ssnDigits(f("SSN"));
  r.soldier.name = f("LNAME");
  r.soldier.sex = f("SEX").toUpper();
  r.soldier.dob = parseDateOfBirth(f("DOB")).value_or(QDate());
  const auto event = [](int i, std::optional<int> raw, const QString& points) {
    EventResult e;
    e.event = i;
    e.raw = raw;
    e.points = number(points);
    return e;
  };
  std::optional<int> run;
  if (!f("RUN_M").isEmpty() || !f("RUN_S").isEmpty()) run = f("RUN_M").toInt() * 60 + f("RUN_S").toInt();
  r.events << event(0, number(f("RAW_PU")), f("C_PU")) << event(1, number(f("RAW_SU")), f("C_SU")) << event(2, run, f("C_RUN"));
  r.total = number(f("TOTAL"));
  r.result = f("STAT");
  for (qsizetype i = 0; i < infoFieldNames().size(); ++i) r.particulars.insert(infoFieldNames()[i], row.value(i));
  return r;
}

TestResult resultFromFitnessRow(const RowAsRead& row, Missing missing) {
  TestResult r;
  r.kind = TestKindId::FiveEvent;
  r.id = row.key;
  const QStringList& names = fitnessFieldNames();
  for (qsizetype i = 0; i < names.size(); ++i) r.particulars.insert(names[i], row.fields.value(i));
  const Fields f{r.particulars};
  r.date = QDate::fromString(f.value("test_date"), Qt::ISODate);
  r.soldier = Soldier{ssnDigits(f.value("ssn")), f.value("name"), f.value("sex"),
                      QDate::fromString(f.value("dob"), Qt::ISODate), f.value("unit"), f.value("standard"),
                      normalizedDodId(f.value("dod_id")).value_or(QString())};
  const TestKind& kind = kindOf(r);
  const QString alternate = f.value("alt_event");
  for (int i = 0; i < kind.events().size(); ++i) {
    const EventColumns& c = kFiveEventColumns[i];
    EventResult e;
    e.event = i;
    if (!alternate.isEmpty() && i == kind.alternates().value(0).replaces) {
      e.alternate = alternate;
      e.raw = figure(f.value("alt_time_s"));
      e.points = number(f.value("alt_pts"));
      e.verdict = f.value("alt_go");
      e.grader = f.value("grader_alt");
    } else {
      e.raw = figure(i == 0 ? deadliftCounted(f) : f.value(c.raw));
      e.points = number(f.value(c.points));
      e.verdict = f.value(c.go);
      e.grader = f.value(c.grader);
    }
    r.events << e;
  }
  r.total = number(f.value("total_pts"));
  r.result = f.value("result_go");
  if (missing == Missing::Scored) scoreWhatIsMissing(r);
  return r;
}

QList<TestResult> resultsFromInfoRows(const std::vector<QStringList>& infoRows) {
  QList<TestResult> out;
  out.reserve(qsizetype(infoRows.size()));
  for (const QStringList& row : infoRows) out << resultFromInfoRow(row);
  return out;
}

QList<TestResult> resultsFromFitnessRows(const std::vector<RowAsRead>& rows, Missing missing) {
  QList<TestResult> out;
  out.reserve(qsizetype(rows.size()));
  for (const RowAsRead& row : rows) out << resultFromFitnessRow(row, missing);
  return out;
}

}  // namespace quillon
