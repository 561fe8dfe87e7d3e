#include "threeeventkind.h"

#include <QDir>

#include "infofields.h"
#include "numeric.h"
#include "rawentry.h"
#include "statusword.h"

namespace quillon {

namespace {

// The records keep each count and the run's minutes in two digits.
int widest(const char* field) {
  int v = 1;
  for (int i = 0; i < infoField(QString::fromLatin1(field)).length; ++i) v *= 10;
  return v - 1;
}

QList<TestEvent> makeEvents() {
  return {{QStringLiteral("RAW_PU"), QStringLiteral("PU"), QStringLiteral("Push-ups"), EventUnit::Repetitions, 0, widest("RAW_PU")},
          {QStringLiteral("RAW_SU"), QStringLiteral("SU"), QStringLiteral("Sit-ups"), EventUnit::Repetitions, 0, widest("RAW_SU")},
          {QStringLiteral("RUN"), QStringLiteral("RUN"), QStringLiteral("2-mile run"), EventUnit::Time, 0,
           widest("RUN_M") * 60 + 59}};
}

}  // namespace

ThreeEventKind::ThreeEventKind(QString tablesDir) : dir_(std::move(tablesDir)) {}

ThreeEventKind::ThreeEventKind(ScoringTables& tables) : tables_(&tables) {}

const QList<TestEvent>& ThreeEventKind::events() const {
  static const QList<TestEvent> events = makeEvents();
  return events;
}

const QList<TestEvent>& ThreeEventKind::alternates() const {
  static const QList<TestEvent> none;
  return none;
}

RawReading ThreeEventKind::read(int event, const QString& text) const {
  const TestEvent& ev = events().at(event);
  RawReading r;
  if (ev.unit == EventUnit::Time) {
    const fitness::RawValue t = fitness::parseTime(ev.caption, text);
    r.value = t.value;
    r.error = t.error;
  } else if (const auto n = roundedWhole(text)) {
    r.value = int(std::clamp<qint64>(*n, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  } else {
    r.error = QStringLiteral("%1: \"%2\" is not a number").arg(ev.caption, text);
  }
  if (r.value && (*r.value < ev.minRaw || *r.value > ev.maxRaw)) {
    r.error = QStringLiteral("%1: \"%2\" is outside %3 to %4")
                  .arg(ev.caption, text.trimmed(), written(event, ev.minRaw), written(event, ev.maxRaw));
    r.value.reset();
  }
  return r;
}

QString ThreeEventKind::written(int event, int value) const {
  return events().at(event).unit == EventUnit::Time ? fitness::formatTime(value) : QString::number(value);
}

ScoredTest ThreeEventKind::score(const Soldier& soldier, const QDate& on, const QList<EventResult>& entered) const {
  ScoredTest out;
  if (!soldier.dob.isValid() || !on.isValid()) {
    out.refused = QStringLiteral("Entry for DOB is not valid");
    return out;
  }
  const QString group = ageGroupOf(scoringAge(soldier.dob, on));
  out.points.resize(events().size());
  bool all = true;
  for (const EventResult& e : entered) {
    if (!e.raw || e.event < 0 || e.event >= events().size()) continue;
    const int raw = *e.raw;
    const Lookup l = points(Event(e.event), QString::number(e.event == Run ? raw / 60 : raw), raw % 60, group,
                            soldier.sex.trimmed().toUpper());
    if (l.kind != Lookup::Points) {
      out.refused = l.message;
      out.points.clear();
      return out;
    }
    out.points[e.event] = wholeNumber(l.text);
  }
  QList<int> points;
  for (const std::optional<int>& p : std::as_const(out.points)) {
    all = all && p.has_value();
    points << p.value_or(0);
  }
  if (all) {
    out.total = 0;
    for (int p : points) *out.total += p;
    out.result = verdict(soldier, points);
  }
  return out;
}

Lookup ThreeEventKind::points(Event event, const QString& entry, int seconds, const QString& group,
                              const QString& sex) const {
  if (!tables_) {
    own_.open(dir_.isEmpty() ? QDir::currentPath() : dir_);
    tables_ = &own_;
  }
  switch (event) {
    case Run: return tables_->RunPoints(entry, seconds, group + sex);
    case SitUp: return tables_->SitUpPoints(entry, group);
    case PushUp: break;
  }
  return tables_->PushUpPoints(entry, group + sex);
}

namespace {
// The least points an event passes with; the tables top at 100 in every
// column.
constexpr int kEventPass = 60;
constexpr int kEventTop = 100;
}  // namespace

QString ThreeEventKind::verdict(const Soldier&, const QList<int>& points) const {
  // Below the mark in any event fails the test; the permanent profile, which
  // could pass it, is the clerk's answer at Convert and never a figure.
  for (int p : points)
    if (p < kEventPass) return StatusWord::FAIL;
  return StatusWord::PASS;
}

QString ThreeEventKind::eventVerdict(const Soldier& soldier, const EventResult& event) const {
  return event.points ? verdict(soldier, {*event.points}) : QString();
}

int ThreeEventKind::age(const QDate& dob, const QDate& on) const { return int(scoringAge(dob, on)); }

QString ThreeEventKind::passWord() const { return StatusWord::PASS; }

// The test passes on each event alone: no total is asked.
PointsScale ThreeEventKind::scale() const { return {kEventTop, {kEventPass}, kEventTop * int(events().size()), {}}; }

}  // namespace quillon
