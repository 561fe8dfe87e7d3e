#include "laneentry.h"

#include <QUndoCommand>
#include <QUndoStack>

#include "dbfile.h"
#include "rawentry.h"

namespace quillon {

namespace {

using fitness::FitnessTest;

const FitnessTest& test() { return *fitness::fitnessTest2025().test; }

// The event of the test a lane field feeds; both deadlift attempts feed the
// deadlift, the heavier counting.
int eventOf(LaneField f) {
  switch (f) {
    case LaneField::DeadliftFirst:
    case LaneField::DeadliftSecond: return test().eventIndex(QStringLiteral("deadlift"));
    case LaneField::PushUp: return test().eventIndex(QStringLiteral("pushup"));
    case LaneField::SprintDragCarry: return test().eventIndex(QStringLiteral("sdc"));
    case LaneField::Plank: return test().eventIndex(QStringLiteral("plank"));
    case LaneField::Run: return test().eventIndex(QStringLiteral("run"));
  }
  Q_UNREACHABLE();
}

const char* const kPointColumns[fitness::kEvents] = {"deadlift_pts", "pushup_pts", "sdc_pts", "plank_pts", "run_pts"};
const char* const kGoColumns[fitness::kEvents] = {"deadlift_go", "pushup_go", "sdc_go", "plank_go", "run_go"};

QString fieldOf(const RowAsRead& row, const QString& name) {
  return row.fields.value(static_cast<int>(fitnessFieldNames().indexOf(name)));
}

class LaneStep : public QUndoCommand {
 public:
  LaneStep(LaneSheet& sheet, int member, LaneField field, QString before, QString after, const QString& who)
      : sheet_(sheet), member_(member), field_(field), before_(std::move(before)), after_(std::move(after)) {
    setText(QStringLiteral("%1 of %2").arg(laneCaption(field), who));
  }
  // The first store was made by enter() before the step was pushed, so a
  // refused store never leaves a step behind.
  void redo() override {
    if (first_) {
      first_ = false;
      return;
    }
    sheet_.write(member_, field_, after_);
  }
  void undo() override { sheet_.write(member_, field_, before_); }

 private:
  LaneSheet& sheet_;
  int member_;
  LaneField field_;
  QString before_, after_;
  bool first_ = true;
};

}  // namespace

QString laneColumn(LaneField f) {
  static const char* const names[kLaneFields] = {"deadlift_1", "deadlift_2", "pushup", "sdc_s", "plank_s", "run_s"};
  return QString::fromLatin1(names[static_cast<int>(f)]);
}

QString laneCaption(LaneField f) {
  static const char* const names[kLaneFields] = {"MDL 1st", "MDL 2nd", "HRP", "SDC", "PLK", "Run"};
  return QString::fromLatin1(names[static_cast<int>(f)]);
}

LaneSheet::LaneSheet(const TestGroup& group, FitnessRecords& store, QUndoStack& undo)
    : group_(group), store_(store), undo_(undo) {
  for (const GroupMember& m : group_.members) rows_ << store_.find(m.ssn, group_.testDate);
}

QString LaneSheet::storedValue(int member, LaneField field) const {
  return rows_.at(member) ? fieldOf(*rows_.at(member), laneColumn(field)) : QString();
}

Record LaneSheet::scoredChanges(int member, LaneField field, const QString& stored) const {
  Record changes{{laneColumn(field), stored}};
  std::array<QString, kLaneFields> raw;
  for (int f = 0; f < kLaneFields; ++f)
    raw[f] = f == static_cast<int>(field) ? stored : storedValue(member, static_cast<LaneField>(f));

  // The events entered so far are scored by the test's own rules with the
  // events not yet entered standing in at a valid figure; only the entered
  // events' points are kept, and the total and result wait for all five.
  const GroupMember& m = group_.members.at(member);
  fitness::Entry e;
  e.sex = m.sex == QLatin1String("F") ? fitness::Sex::Female : fitness::Sex::Male;
  e.standard = m.standard == QLatin1String("combat") ? fitness::Standard::Combat : fitness::Standard::General;
  e.dob = QDate::fromString(m.dob, Qt::ISODate);
  e.testDate = QDate::fromString(group_.testDate, Qt::ISODate);
  std::array<bool, fitness::kEvents> entered{};
  const auto rawFor = [&](int event) -> QString {
    if (event == eventOf(LaneField::DeadliftFirst)) {
      const QString a = raw[0], b = raw[1];
      if (a.isEmpty() || b.isEmpty()) return a.isEmpty() ? b : a;
      return a.toInt() >= b.toInt() ? a : b;
    }
    for (int f = 2; f < kLaneFields; ++f)
      if (eventOf(static_cast<LaneField>(f)) == event) return raw[f];
    return {};
  };
  for (int i = 0; i < fitness::kEvents; ++i) {
    const fitness::EventDef& ev = test().events[i];
    const QString r = rawFor(i);
    entered[i] = !r.isEmpty();
    e.raw[i] = entered[i] ? fitness::formatRaw(ev.unit, r.toInt()) : fitness::formatRaw(ev.unit, ev.minRaw);
  }
  const fitness::Score s = fitness::scoreEntry(test(), e);
  bool all = s.scored();
  for (int i = 0; i < fitness::kEvents; ++i) {
    const bool has = s.scored() && entered[i];
    all = all && entered[i];
    // Only this lane's event is written: the others are other lanes' fields.
    if (i != eventOf(field)) continue;
    changes.insert(QString::fromLatin1(kPointColumns[i]), has ? QString::number(s.points[i]) : QString());
    changes.insert(QString::fromLatin1(kGoColumns[i]),
                   has ? (s.eventGo[i] ? QStringLiteral("GO") : QStringLiteral("NO-GO")) : QString());
  }
  changes.insert(QStringLiteral("total_pts"), all ? QString::number(s.total) : QString());
  changes.insert(QStringLiteral("result_go"), all ? (s.go ? QStringLiteral("GO") : QStringLiteral("NO-GO")) : QString());
  return changes;
}

QString LaneSheet::write(int member, LaneField field, const QString& stored) {
  const GroupMember& m = group_.members.at(member);
  try {
    if (!rows_[member]) {
      // The first value of the day makes the soldier's record of the test.
      rows_[member] = store_.add({{QStringLiteral("test_group"), QString::number(group_.id)},
                                  {QStringLiteral("name"), m.name},
                                  {QStringLiteral("ssn"), m.ssn},
                                  {QStringLiteral("sex"), m.sex},
                                  {QStringLiteral("dob"), m.dob},
                                  {QStringLiteral("unit"), m.unit},
                                  {QStringLiteral("standard"), m.standard},
                                  {QStringLiteral("edition"), test().edition},
                                  {QStringLiteral("test_date"), group_.testDate}});
    }
    // The other lanes of this soldier are taken as stored now, so the total
    // counts what they entered meanwhile; this lane's own fields stay as this
    // station read them, so a change made to them elsewhere is still a clash.
    const RowAsRead read = *rows_[member];
    const std::optional<RowAsRead> now = store_.fetch(read.key);
    if (!now) throw DbError(QStringLiteral("The five-event record of %1 was deleted at another station.").arg(m.name));
    RowAsRead asRead = *now;
    const int event = eventOf(field);
    for (const QString& name : {laneColumn(field), QString::fromLatin1(kPointColumns[event]),
                                QString::fromLatin1(kGoColumns[event])}) {
      const int c = static_cast<int>(fitnessFieldNames().indexOf(name));
      asRead.fields[c] = read.fields.value(c);
    }
    rows_[member] = asRead;
    rows_[member] = store_.store(asRead, scoredChanges(member, field, stored));
    return {};
  } catch (const ConflictError& e) {
    QStringList parts;
    for (const FieldClash& c : e.conflict().clashes)
      parts << QStringLiteral("%1: stored now \"%2\", ours \"%3\"").arg(c.field, c.theirs, c.ours);
    rows_[member] = e.conflict().theirs;
    return QStringLiteral("%1 of %2 was changed at another station meanwhile; nothing was stored. %3")
        .arg(laneCaption(field), m.name, parts.join(QStringLiteral("; ")));
  } catch (const DbError& e) {
    return e.message();
  }
}

QString LaneSheet::enter(int member, LaneField field, const QString& text) {
  const fitness::EventDef& ev = test().events[eventOf(field)];
  const fitness::RawValue v = fitness::parseRaw(ev, text);
  if (!v.value) return QStringLiteral("%1: %2").arg(laneCaption(field), v.error);
  const QString before = storedValue(member, field), after = QString::number(*v.value);
  if (before == after) return {};
  if (const QString why = write(member, field, after); !why.isEmpty()) return why;
  undo_.push(new LaneStep(*this, member, field, before, after, group_.members.at(member).name));
  return {};
}

LaneLine LaneSheet::line(int member) const {
  LaneLine out;
  if (!rows_.at(member)) return out;
  const RowAsRead& row = *rows_.at(member);
  for (int f = 0; f < kLaneFields; ++f) {
    const QString v = fieldOf(row, laneColumn(static_cast<LaneField>(f)));
    const fitness::Unit unit = test().events[eventOf(static_cast<LaneField>(f))].unit;
    out.shown[f] = v.isEmpty() ? QString() : fitness::formatRaw(unit, v.toInt());
  }
  for (int i = 0; i < fitness::kEvents; ++i) {
    const QString p = fieldOf(row, QString::fromLatin1(kPointColumns[i]));
    out.points[i] = p.isEmpty() ? -1 : p.toInt();
  }
  const QString total = fieldOf(row, QStringLiteral("total_pts"));
  if (!total.isEmpty()) out.total = total.toInt();
  out.result = fieldOf(row, QStringLiteral("result_go"));
  return out;
}

}  // namespace quillon
