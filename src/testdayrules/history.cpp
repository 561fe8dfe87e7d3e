#include "history.h"

#include <QHash>
#include <algorithm>

#include "cardsfromrecords.h"
#include "fitnessrecords.h"
#include "infofields.h"
#include "recordrow.h"

namespace quillon {

namespace {

std::optional<int> number(const QString& text) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok ? std::optional<int>(v) : std::nullopt;
}

QDate threeEventDate(const QString& dot) {
  const std::optional<QString> d = normalizedDate(dot);
  return d ? QDate::fromString(*d, kInfoDateForm.toString()) : QDate();
}

HistoryEntry fromThreeEvent(const QStringList& row) {
  const auto f = [&](const char* name) { return row.value(fieldIndex(QString::fromLatin1(name))).trimmed(); };
  HistoryEntry e;
  e.kind = HistoryEntry::Kind::ThreeEvent;
  e.id = f("ID").toLongLong();
  e.date = threeEventDate(f("DOT"));
  e.name = f("LNAME");
  e.events << HistoryEvent{QStringLiteral("PU"), f("RAW_PU"), number(f("C_PU"))}
           << HistoryEvent{QStringLiteral("SU"), f("RAW_SU"), number(f("C_SU"))};
  QString run;
  if (!f("RUN_M").isEmpty() || !f("RUN_S").isEmpty())
    run = QStringLiteral("%1:%2").arg(f("RUN_M").toInt()).arg(f("RUN_S").toInt(), 2, 10, QLatin1Char('0'));
  e.events << HistoryEvent{QStringLiteral("RUN"), run, number(f("C_RUN"))};
  e.total = number(f("TOTAL"));
  e.result = f("STAT");
  return e;
}

const char* const kFiveEventCaptions[kCardEvents] = {"MDL", "HRP", "SDC", "PLK", "2MR"};

HistoryEntry fromFiveEvent(const RowAsRead& row) {
  const auto f = [&](const char* name) {
    return row.fields.value(static_cast<int>(fitnessFieldNames().indexOf(QString::fromLatin1(name)))).trimmed();
  };
  // The card's reading of a record is the history's too: the same points,
  // scored the same way where a record lacks them.
  const CardTest t = cardTestFromRecord(row);
  HistoryEntry e;
  e.kind = HistoryEntry::Kind::FiveEvent;
  e.id = row.key;
  e.date = QDate::fromString(f("test_date"), Qt::ISODate);
  e.name = f("name");
  for (int i = 0; i < kCardEvents; ++i) {
    const bool alternate = i == static_cast<int>(CardEvent::Run) && !t.alternate.isEmpty();
    if (alternate) {
      e.events << HistoryEvent{t.alternate, t.alternateTime, number(t.alternatePoints)};
    } else {
      e.events << HistoryEvent{QString::fromLatin1(kFiveEventCaptions[i]), t.events[i].raw, number(t.events[i].points)};
    }
  }
  e.total = number(t.total);
  e.result = t.overall == GoNoGo::Go ? QStringLiteral("GO") : t.overall == GoNoGo::NoGo ? QStringLiteral("NO-GO") : QString();
  return e;
}

bool newerFirst(const HistoryEntry& a, const HistoryEntry& b) {
  if (a.date.isValid() != b.date.isValid()) return a.date.isValid();
  if (a.date != b.date) return a.date > b.date;
  if (a.kind != b.kind) return a.kind == HistoryEntry::Kind::FiveEvent;
  return a.id > b.id;
}

}  // namespace

QList<HistoryEntry> soldierHistory(const QString& ssn, const std::vector<QStringList>& threeEventRows,
                                   const std::vector<RowAsRead>& fiveEventRows) {
  const QString digits = ssnDigits(ssn);
  QList<HistoryEntry> out;
  if (digits.isEmpty()) return out;
  const int ssnField = fieldIndex(QStringLiteral("SSN"));
  for (const QStringList& row : threeEventRows)
    if (ssnDigits(row.value(ssnField)) == digits) out << fromThreeEvent(row);
  const int fitnessSsn = static_cast<int>(fitnessFieldNames().indexOf(QStringLiteral("ssn")));
  for (const RowAsRead& row : fiveEventRows)
    if (ssnDigits(row.fields.value(fitnessSsn)) == digits) out << fromFiveEvent(row);
  std::stable_sort(out.begin(), out.end(), newerFirst);
  return out;
}

QList<HistoryEntry> loadSoldierHistory(const QString& dbPath, const QString& ssn) {
  const QString digits = ssnDigits(ssn);
  if (digits.isEmpty()) return {};
  // Only this soldier's rows are read, through the index by SSN; the few of
  // another SSN form that come along are told apart as any row would be.
  std::unique_ptr<RecordBackend> info = RecordBackend::forDatabase(dbPath);
  info->open();
  const std::vector<QStringList> threeEvent = info->rowsOfSoldier(digits);
  info->close();
  std::unique_ptr<FitnessRecords> fitness = FitnessRecords::forDatabase(dbPath);
  fitness->open();
  const std::vector<RowAsRead> fiveEvent = fitness->readOfSoldiers({digits});
  fitness->close();
  return soldierHistory(ssn, threeEvent, fiveEvent);
}

QList<ChartSeries> historyChart(const QList<HistoryEntry>& history) {
  QList<ChartSeries> series{{QStringLiteral("Total"), {}}};
  for (const char* c : kFiveEventCaptions) series << ChartSeries{QString::fromLatin1(c), {}};
  series.last().name += QStringLiteral(" / alt.");  // an alternate's 60 or 0 stands in the run's place
  for (auto e = history.crbegin(); e != history.crend(); ++e) {
    if (e->kind != HistoryEntry::Kind::FiveEvent || !e->date.isValid()) continue;
    if (e->total) series[0].points << std::pair{e->date, *e->total};
    for (int i = 0; i < e->events.size() && i < kCardEvents; ++i)
      if (e->events[i].points) series[i + 1].points << std::pair{e->date, *e->events[i].points};
  }
  return series;
}

}  // namespace quillon
