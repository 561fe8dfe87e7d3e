#include "storedresults.h"

#include <QHash>
#include <algorithm>
#include <vector>

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

// Where each field read here sits in a row, found once: looking a field up
// by its name for every row of a soldier of many years cost more than
// everything else this reading does.
int fitnessColumn(const char* name) {
  const int i = int(fitnessFieldNames().indexOf(QLatin1String(name)));
  Q_ASSERT_X(i >= 0, "fitnessColumn", name);
  return i;
}
struct EventAt {
  int raw, points, go, grader;
};
struct FiveEventAt {
  int testDate = fitnessColumn("test_date"), ssn = fitnessColumn("ssn"), name = fitnessColumn("name"),
      sex = fitnessColumn("sex"), dob = fitnessColumn("dob"), unit = fitnessColumn("unit"),
      standard = fitnessColumn("standard"), dodId = fitnessColumn("dod_id"), altEvent = fitnessColumn("alt_event"),
      altTime = fitnessColumn("alt_time_s"), altPoints = fitnessColumn("alt_pts"), altGo = fitnessColumn("alt_go"),
      altGrader = fitnessColumn("grader_alt"), deadlift1 = fitnessColumn("deadlift_1"),
      deadlift2 = fitnessColumn("deadlift_2"), total = fitnessColumn("total_pts"), result = fitnessColumn("result_go");
  EventAt events[std::size(kFiveEventColumns)];
  FiveEventAt() {
    for (size_t i = 0; i < std::size(kFiveEventColumns); ++i) {
      const EventColumns& c = kFiveEventColumns[i];
      events[i] = {fitnessColumn(c.raw), fitnessColumn(c.points), fitnessColumn(c.go), fitnessColumn(c.grader)};
    }
  }
};
const FiveEventAt& fiveEventAt() {
  static const FiveEventAt at;
  return at;
}

// A record's particulars, every field by its name: a copy of one table made
// once, then each value put in its place. Making the table afresh for every
// record (hashing each name, growing it) cost more than all the rest of
// turning a row into a result.
class Particulars {
 public:
  explicit Particulars(const QStringList& names) : names_(names) {
    for (const QString& n : names) empty_.insert(n, QString());
    for (auto it = empty_.cbegin(); it != empty_.cend(); ++it) at_.push_back(names.indexOf(it.key()));
  }
  QHash<QString, QString> of(const QStringList& fields) const {
    QHash<QString, QString> out = empty_;
    // A copy keeps the table's layout, so its names come in the order noted
    // when it was made; each is still the very name noted (the same text,
    // shared), or the table is filled by name after all.
    auto place = at_.cbegin();
    for (auto it = out.begin(); it != out.end(); ++it, ++place) {
      if (it.key().constData() != names_.at(*place).constData()) return byName(fields);
      it.value() = fields.value(*place);
    }
    return out;
  }

 private:
  QHash<QString, QString> byName(const QStringList& fields) const {
    QHash<QString, QString> out;
    for (qsizetype i = 0; i < names_.size(); ++i) out.insert(names_.at(i), fields.value(i));
    return out;
  }
  QStringList names_;
  QHash<QString, QString> empty_;
  std::vector<qsizetype> at_;
};

// A record's fields by place, blanks around a value dropped.
struct Fields {
  const QStringList& stored;
  QString value(int at) const { return stored.value(at).trimmed(); }
};

// The heavier deadlift attempt counts; either alone when only one was lifted.
QString deadliftCounted(const Fields& f) {
  const QString a = f.value(fiveEventAt().deadlift1), b = f.value(fiveEventAt().deadlift2);
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

TestResult infoHeader(const QString& id, const QString& ssn, const QString& name, const QString& dateOfTest,
                      const QString& sex, const QString& dateOfBirth) {
  TestResult r;
  r.kind = TestKindId::ThreeEvent;
  r.id = id.trimmed().toLongLong();
  r.date = parseDateOfBirth(dateOfTest.trimmed()).value_or(QDate());  // the form a date of test is read in too
  r.soldier.ssn = ssnDigits(ssn.trimmed());
  r.soldier.name = name.trimmed();
  r.soldier.sex = sex.trimmed().toUpper();
  r.soldier.dob = parseDateOfBirth(dateOfBirth.trimmed()).value_or(QDate());
  return r;
}

}  // namespace

TestResult resultFromInfoRow(const QStringList& row) {
  // The places of the fields read, found once (as for the five-event rows).
  static const struct {
    int id = fieldIndex(QStringLiteral("ID")), dot = fieldIndex(QStringLiteral("DOT")),
        ssn = fieldIndex(QStringLiteral("SSN")), lname = fieldIndex(QStringLiteral("LNAME")),
        sex = fieldIndex(QStringLiteral("SEX")), dob = fieldIndex(QStringLiteral("DOB")),
        runM = fieldIndex(QStringLiteral("RUN_M")), runS = fieldIndex(QStringLiteral("RUN_S")),
        rawPu = fieldIndex(QStringLiteral("RAW_PU")), cPu = fieldIndex(QStringLiteral("C_PU")),
        rawSu = fieldIndex(QStringLiteral("RAW_SU")), cSu = fieldIndex(QStringLiteral("C_SU")),
        cRun = fieldIndex(QStringLiteral("C_RUN")), total = fieldIndex(QStringLiteral("TOTAL")),
        stat = fieldIndex(QStringLiteral("STAT"));
  } at;
  const auto f = [&](int i) { return row.value(i).trimmed(); };
  TestResult r = infoHeader(row.value(at.id), row.value(at.ssn), row.value(at.lname), row.value(at.dot),
                            row.value(at.sex), row.value(at.dob));
  const auto event = [](int i, std::optional<int> raw, const QString& points) {
    EventResult e;
    e.event = i;
    e.raw = raw;
    e.points = number(points);
    return e;
  };
  std::optional<int> run;
  if (!f(at.runM).isEmpty() || !f(at.runS).isEmpty()) run = f(at.runM).toInt() * 60 + f(at.runS).toInt();
  r.events << event(0, number(f(at.rawPu)), f(at.cPu)) << event(1, number(f(at.rawSu)), f(at.cSu)) << event(2, run, f(at.cRun));
  r.total = number(f(at.total));
  r.result = f(at.stat);
  static const Particulars particulars(infoFieldNames());
  r.particulars = particulars.of(row);
  return r;
}

const QStringList& infoHeaderFields() {
  static const QStringList fields{QStringLiteral("ID"),  QStringLiteral("SSN"), QStringLiteral("LNAME"),
                                  QStringLiteral("DOT"), QStringLiteral("SEX"), QStringLiteral("DOB")};
  return fields;
}

TestResult resultHeaderFromInfoFields(const QStringList& header) {
  return infoHeader(header.value(HeaderId), header.value(HeaderSsn), header.value(HeaderName),
                    header.value(HeaderDateOfTest), header.value(HeaderSex), header.value(HeaderDateOfBirth));
}

TestResult resultHeaderFromFitnessRow(const RowAsRead& row) {
  const Fields f{row.fields};
  const FiveEventAt& at = fiveEventAt();
  TestResult r;
  r.kind = TestKindId::FiveEvent;
  r.id = row.key;
  r.date = QDate::fromString(f.value(at.testDate), Qt::ISODate);
  r.soldier = Soldier{ssnDigits(f.value(at.ssn)), f.value(at.name), f.value(at.sex),
                      QDate::fromString(f.value(at.dob), Qt::ISODate), f.value(at.unit), f.value(at.standard),
                      normalizedDodId(f.value(at.dodId)).value_or(QString())};
  return r;
}

TestResult resultFromFitnessRow(const RowAsRead& row, Missing missing) {
  TestResult r = resultHeaderFromFitnessRow(row);
  static const Particulars particulars(fitnessFieldNames());
  r.particulars = particulars.of(row.fields);
  const Fields f{row.fields};
  const FiveEventAt& at = fiveEventAt();
  const TestKind& kind = kindOf(r);
  r.events.reserve(kind.events().size());
  const QString alternate = f.value(at.altEvent);
  for (int i = 0; i < kind.events().size(); ++i) {
    const EventAt& c = at.events[i];
    EventResult e;
    e.event = i;
    if (!alternate.isEmpty() && i == kind.alternates().value(0).replaces) {
      e.alternate = alternate;
      e.raw = figure(f.value(at.altTime));
      e.points = number(f.value(at.altPoints));
      e.verdict = f.value(at.altGo);
      e.grader = f.value(at.altGrader);
    } else {
      e.raw = figure(i == 0 ? deadliftCounted(f) : f.value(c.raw));
      e.points = number(f.value(c.points));
      e.verdict = f.value(c.go);
      e.grader = f.value(c.grader);
    }
    r.events << e;
  }
  r.total = number(f.value(at.total));
  r.result = f.value(at.result);
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
