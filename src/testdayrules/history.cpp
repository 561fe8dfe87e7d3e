#include "history.h"

#include <QSet>
#include <algorithm>

#include "fitnessrecords.h"
#include "recordrow.h"
#include "soldierid.h"
#include "storedresults.h"

namespace quillon {

namespace {

bool newerFirst(const TestResult& a, const TestResult& b) {
  if (a.date.isValid() != b.date.isValid()) return a.date.isValid();
  if (a.date != b.date) return a.date > b.date;
  if (a.kind != b.kind) return a.kind > b.kind;
  return a.id > b.id;
}

}  // namespace

QList<TestResult> soldierHistory(const QString& ssn, const QList<TestResult>& results) {
  const QString digits = ssnDigits(ssn);
  QList<TestResult> out;
  if (digits.isEmpty()) return out;
  for (const TestResult& r : results)
    if (r.soldier.ssn == digits) out << r;
  std::stable_sort(out.begin(), out.end(), newerFirst);
  return out;
}

QList<TestResult> soldierHistory(const QString& ssn, const std::vector<QStringList>& threeEventRows,
                                 const std::vector<RowAsRead>& fiveEventRows) {
  // The card's reading of a five-event record is the history's too: the
  // same points, scored the same way where a record lacks them.
  return soldierHistory(ssn, resultsFromInfoRows(threeEventRows) + resultsFromFitnessRows(fiveEventRows, Missing::Scored));
}

QList<TestResult> loadSoldierHistory(const QString& dbPath, const QString& soldier) {
  const std::optional<QString> dodId = normalizedDodId(soldier);
  if (!dodId) {
    const QString digits = ssnDigits(soldier);
    if (digits.isEmpty()) return {};
    // Only this soldier's rows are read, through the index by SSN; the few
    // of another SSN form that come along are told apart as any row would be.
    // The five-event records open while the three-event ones still hold the
    // folder's records session, so both reads share one open file (one
    // connection to a server) and its checks.
    std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(dbPath);
    info->open();
    const std::vector<QStringList> threeEvent = info->rowsOfSoldier(digits);
    std::unique_ptr<FitnessRecords> fitness = FitnessRecords::forDatabase(dbPath);
    fitness->open();
    info->close();
    const std::vector<RowAsRead> fiveEvent = fitness->readOfSoldiersUnordered({digits});
    fitness->close();
    return soldierHistory(soldier, threeEvent, fiveEvent);
  }
  // By the DoD ID number: the five-event records that carry it, and through
  // the SSN they carry the soldier's records from before the number (the
  // three-event records keep none). Each record is read once: those of the
  // SSNs that carry the number already came with it.
  std::unique_ptr<FitnessRecords> fitness = FitnessRecords::forDatabase(dbPath);
  fitness->open();
  std::vector<RowAsRead> fiveEvent = fitness->readOfSoldiersUnordered({*dodId});
  QStringList ssns;
  QSet<qint64> read;
  for (const RowAsRead& row : fiveEvent) {
    read.insert(row.key);
    if (const QString ssn = resultHeaderFromFitnessRow(row).soldier.ssn; !ssn.isEmpty()) ssns << ssn;
  }
  ssns.removeDuplicates();
  std::vector<QStringList> threeEvent;
  if (!ssns.isEmpty()) {
    for (RowAsRead& row : fitness->readOfSoldiersUnordered(ssns))
      if (!read.contains(row.key)) fiveEvent.push_back(std::move(row));
    std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(dbPath);
    info->open();
    for (const QString& ssn : ssns)
      for (QStringList& row : info->rowsOfSoldier(ssn)) threeEvent.push_back(std::move(row));
    info->close();
  }
  fitness->close();
  QList<TestResult> out;
  for (const TestResult& r : resultsFromInfoRows(threeEvent) + resultsFromFitnessRows(fiveEvent, Missing::Scored)) {
    // Another number on a record of one of the SSNs is another soldier.
    const bool theirs = r.soldier.dodId.isEmpty() ? ssns.contains(r.soldier.ssn) : r.soldier.dodId == *dodId;
    if (theirs) out << r;
  }
  std::stable_sort(out.begin(), out.end(), newerFirst);
  return out;
}

QList<ChartSeries> historyChart(const QList<TestResult>& history, TestKindId charted) {
  const TestKind& kind = testKind(charted);
  QList<ChartSeries> series{{QStringLiteral("Total"), {}}};
  for (const TestEvent& ev : kind.events()) series << ChartSeries{ev.caption, {}};
  // An alternate's points stand in the place of the event it replaces.
  for (const TestEvent& alt : kind.alternates())
    if (!series[alt.replaces + 1].name.endsWith(QLatin1String(" / alt.")))
      series[alt.replaces + 1].name += QStringLiteral(" / alt.");
  for (auto e = history.crbegin(); e != history.crend(); ++e) {
    if (e->kind != charted || !e->date.isValid()) continue;
    if (e->total) series[0].points << std::pair{e->date, *e->total};
    for (int i = 0; i < e->events.size() && i < kind.events().size(); ++i)
      if (e->events[i].points) series[i + 1].points << std::pair{e->date, *e->events[i].points};
  }
  return series;
}

}  // namespace quillon
