#include "fiveeventkind.h"

#include <algorithm>

#include "fitnessscore.h"
#include "rawentry.h"

namespace quillon {

namespace {

// The short captions a scorecard heads the events with, in the test's order.
const char* const kCaptions[fitness::kEvents] = {"MDL", "HRP", "SDC", "PLK", "2MR"};

EventUnit unitOf(fitness::Unit u) {
  switch (u) {
    case fitness::Unit::Repetitions:
      return EventUnit::Repetitions;
    case fitness::Unit::Pounds:
      return EventUnit::Pounds;
    case fitness::Unit::Time:
      return EventUnit::Time;
  }
  Q_UNREACHABLE();
}

fitness::Standard standardOf(const Soldier& s) {
  return s.standard == QLatin1String("combat") ? fitness::Standard::Combat : fitness::Standard::General;
}

}  // namespace

FiveEventKind::FiveEventKind() {
  const fitness::FitnessTest& t = test();
  Q_ASSERT(t.events.size() == fitness::kEvents);
  for (qsizetype i = 0; i < t.events.size(); ++i) {
    const fitness::EventDef& e = t.events.at(i);
    events_ << TestEvent{e.key, QString::fromLatin1(kCaptions[i]), e.name, unitOf(e.unit), e.minRaw, e.maxRaw};
  }
  const fitness::EventDef& run = t.events.at(t.runEvent);
  for (const fitness::AlternateDef& a : t.alternates)
    alternates_ << TestEvent{a.key, a.key.toUpper(), a.name, EventUnit::Time, run.minRaw, run.maxRaw, t.runEvent};
}

const fitness::FitnessTest& FiveEventKind::test() const { return *fitness::fitnessTest2025().test; }

RawReading FiveEventKind::read(int event, const QString& text) const {
  const fitness::RawValue v = fitness::parseRaw(test().events.at(event), text);
  return {v.value, v.error};
}

QString FiveEventKind::written(int event, int value) const { return fitness::formatRaw(test().events.at(event).unit, value); }

ScoredTest FiveEventKind::score(const Soldier& soldier, const QDate& on, const QList<EventResult>& entered) const {
  const fitness::FitnessTest& t = test();
  // The figures as read: no text between the result and the tables.
  fitness::Figures f;
  f.sex = soldier.sex == QLatin1String("F") ? fitness::Sex::Female : fitness::Sex::Male;
  f.standard = standardOf(soldier);
  f.dob = soldier.dob;
  f.testDate = on;
  std::array<bool, fitness::kEvents> in{};
  std::array<std::optional<int>, fitness::kEvents> raw{};
  for (const EventResult& r : entered) {
    if (r.event < 0 || r.event >= fitness::kEvents) continue;
    raw[r.event] = r.raw;
    in[r.event] = r.raw.has_value();
    if (!r.alternate.isEmpty()) f.alternate = r.alternate;
  }
  ScoredTest out;
  // A key of blanks stands for no alternate and leaves the run without a
  // figure.
  if (!f.alternate.isEmpty() && f.alternate.trimmed().isEmpty()) {
    out.refused = fitness::parseRaw(t.events.at(t.runEvent), QString()).error;
    return out;
  }
  for (int i = 0; i < fitness::kEvents; ++i) f.raw[i] = raw[i].value_or(t.events.at(i).minRaw);
  if (!f.alternate.isEmpty()) f.alternateSeconds = raw[t.runEvent].value_or(0);
  const fitness::Score s = fitness::scoreFigures(t, f);
  if (!s.scored()) {
    out.refused = s.refused;
    return out;
  }
  out.points.resize(fitness::kEvents);
  for (int i = 0; i < fitness::kEvents; ++i)
    if (in[i]) out.points[i] = s.points[i];
  if (std::all_of(in.begin(), in.end(), [](bool b) { return b; })) {
    out.total = s.total;
    out.result = s.go ? passWord() : QStringLiteral("NO-GO");
  }
  return out;
}

QString FiveEventKind::verdict(const Soldier& soldier, const QList<int>& points) const {
  const fitness::PassRule& rule = test().rule(standardOf(soldier));
  int total = 0;
  bool each = true;
  for (int p : points) {
    total += p;
    each = each && p >= rule.eventMinimum;
  }
  return each && total >= rule.totalMinimum ? passWord() : QStringLiteral("NO-GO");
}

}  // namespace quillon

namespace quillon {

int FiveEventKind::age(const QDate& dob, const QDate& on) const { return fitness::ageOn(dob, on); }

QString FiveEventKind::eventVerdict(const Soldier& soldier, const EventResult& event) const {
  if (!event.points) return {};
  const int mark = event.alternate.isEmpty() ? test().rule(standardOf(soldier)).eventMinimum : test().alternateGoPoints;
  return *event.points >= mark ? passWord() : QStringLiteral("NO-GO");
}

PointsScale FiveEventKind::scale() const {
  const fitness::FitnessTest& t = test();
  PointsScale s;
  // Each table lists its best points first.
  for (const QList<fitness::TableRow>& table : t.tables) {
    const int top = table.isEmpty() ? 0 : table.first().points;
    s.eventTop = std::max(s.eventTop, top);
    s.totalTop += top;
  }
  for (const fitness::PassRule& r : t.passRules) {
    s.eventPass << r.eventMinimum;
    s.totalPass << r.totalMinimum;
  }
  for (QList<int>* marks : {&s.eventPass, &s.totalPass}) {
    std::sort(marks->begin(), marks->end());
    marks->erase(std::unique(marks->begin(), marks->end()), marks->end());
  }
  return s;
}

}  // namespace quillon
