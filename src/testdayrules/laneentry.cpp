#include "laneentry.h"

#include <QHash>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QUndoStack>

#include "dbfile.h"
#include "ranks.h"
#include "rawentry.h"
#include "testkind.h"

namespace quillon {

namespace {

using namespace Qt::StringLiterals;
using fitness::FitnessTest;

const FitnessTest& test() { return *fitness::fitnessTest2025().test; }

int index(LaneField f) { return static_cast<int>(f); }

// The event of the test an event lane feeds; both deadlift attempts feed
// the deadlift, the heavier counting. -1 for body composition.
int eventOf(LaneField f) {
  switch (f) {
    case LaneField::DeadliftFirst:
    case LaneField::DeadliftSecond: return test().eventIndex(QStringLiteral("deadlift"));
    case LaneField::PushUp: return test().eventIndex(QStringLiteral("pushup"));
    case LaneField::SprintDragCarry: return test().eventIndex(QStringLiteral("sdc"));
    case LaneField::Plank: return test().eventIndex(QStringLiteral("plank"));
    case LaneField::Run: return test().runEvent;
    case LaneField::Height:
    case LaneField::Weight:
    case LaneField::BodyFat: return -1;
  }
  Q_UNREACHABLE();
}

// Names as literals, never made again on the heap: a lane entry reads and
// writes a score of fields by name.
const QString kPointColumns[fitness::kEvents] = {u"deadlift_pts"_s, u"pushup_pts"_s, u"sdc_pts"_s, u"plank_pts"_s,
                                                 u"run_pts"_s};
const QString kGoColumns[fitness::kEvents] = {u"deadlift_go"_s, u"pushup_go"_s, u"sdc_go"_s, u"plank_go"_s, u"run_go"_s};
const QString kGraderColumns[fitness::kEvents] = {u"grader_deadlift"_s, u"grader_pushup"_s, u"grader_sdc"_s,
                                                  u"grader_plank"_s, u"grader_run"_s};

QString verdictColumn(LaneField f) {
  if (f == LaneField::Weight) return u"weight_go"_s;
  if (f == LaneField::BodyFat) return u"body_fat_go"_s;
  return {};
}

// Every field a lane's raw entry sets, the grader's initials included:
// what a Delete clears and what an undo step puts back.
QStringList rawColumns(LaneField f) {
  if (f == LaneField::Run) return {u"run_s"_s, u"alt_event"_s, u"alt_time_s"_s, u"grader_run"_s, u"grader_alt"_s};
  if (f == LaneField::Height) return {laneColumn(f)};
  if (!hasGrader(f)) return {laneColumn(f), verdictColumn(f)};
  return {laneColumn(f), kGraderColumns[eventOf(f)]};
}

// The fields the lane owns beyond its raw entry: its event's points and
// verdict. Compared as this station read them when it stores.
QStringList derivedColumns(LaneField f) {
  const int e = eventOf(f);
  if (e < 0) return {};
  QStringList out{kPointColumns[e], kGoColumns[e]};
  if (f == LaneField::Run) out << u"alt_pts"_s << u"alt_go"_s;
  return out;
}

// Whether every field of the clash is one counted from the soldier's
// whole line rather than one of the lane's own.
bool onlyWholeLine(const StoreConflict& c, LaneField f) {
  const QStringList own = rawColumns(f) + derivedColumns(f);
  for (const FieldClash& clash : c.clashes)
    if (own.contains(clash.field)) return false;
  return !c.clashes.isEmpty();
}

// A field's place in a row, looked up by name: every soldier's line reads a
// score of them, a group's lines thousands.
QString fieldOf(const RowAsRead& row, const QString& name) {
  static const QHash<QString, int> places = [] {
    QHash<QString, int> out;
    const QStringList& names = fitnessFieldNames();
    for (int i = int(names.size()) - 1; i >= 0; --i) out.insert(names.at(i), i);
    return out;
  }();
  return row.fields.value(places.value(name, -1));
}

LaneValue refused(LaneField f, const QString& why) { return {{}, laneCaption(f) + QStringLiteral(": ") + why}; }

QString quoted(const QString& text) { return '"' + text + '"'; }

// A number with up to two decimals, and for weight and body fat the
// clerk's GO or NO-GO after it.
LaneValue parseMeasure(LaneField f, const QString& text) {
  static const QRegularExpression form(QStringLiteral("^([0-9]{1,4}(?:\\.[0-9]{1,2})?)\\s*(.*)$"));
  const QString t = text.trimmed();
  const QRegularExpressionMatch m = form.match(t);
  const bool verdictAllowed = f != LaneField::Height;
  if (!m.hasMatch() || m.captured(1).toDouble() <= 0 || (!verdictAllowed && !m.captured(2).isEmpty()))
    return refused(f, quoted(t) + (verdictAllowed ? QStringLiteral(" is not a number, then GO or NO-GO")
                                                  : QStringLiteral(" is not a number above 0")));
  if (f == LaneField::BodyFat && m.captured(1).toDouble() > 100)
    return refused(f, quoted(t) + QStringLiteral(" is over 100 percent"));
  Record raw{{laneColumn(f), m.captured(1)}};
  if (!verdictAllowed) return {raw, {}};
  QString v = m.captured(2).toUpper();
  v.remove(QLatin1Char(' ')).remove(QLatin1Char('-'));
  QString verdict;
  if (v == QLatin1String("GO") || v == QLatin1String("G")) verdict = u"GO"_s;
  else if (v == QLatin1String("NOGO") || v == QLatin1String("N") || v == QLatin1String("NG")) verdict = u"NO-GO"_s;
  else if (!v.isEmpty())
    return refused(f, quoted(t) + QStringLiteral(": %1 is neither GO nor NO-GO").arg(m.captured(2)));
  raw.insert(verdictColumn(f), verdict);
  return {raw, {}};
}

// The run lane: a time for the 2-mile run, or an alternate event by name
// or first letter and then its time.
LaneValue parseRunLane(const QString& text) {
  static const QRegularExpression named(QStringLiteral("^([A-Za-z]+)\\s*(.*)$"));
  const QString t = text.trimmed();
  const QRegularExpressionMatch m = named.match(t);
  if (!m.hasMatch()) {
    const fitness::RawValue v = fitness::parseRaw(test().events[test().runEvent], t);
    if (!v.value) return refused(LaneField::Run, v.error);
    return {{{u"run_s"_s, QString::number(*v.value)}, {u"alt_event"_s, QString()}, {u"alt_time_s"_s, QString()}}, {}};
  }
  const QString word = m.captured(1);
  const fitness::AlternateDef* alt = nullptr;
  QStringList known;
  for (const fitness::AlternateDef& a : test().alternates) {
    known << QStringLiteral("%1 (%2)").arg(a.key.left(1).toUpper(), a.key);
    if (a.key.compare(word, Qt::CaseInsensitive) == 0 ||
        (word.size() == 1 && a.key.startsWith(word, Qt::CaseInsensitive)))
      alt = &a;
  }
  if (!alt)
    return refused(LaneField::Run, QStringLiteral("%1: %2 is no alternate event; they are %3")
                                       .arg(quoted(t), word, known.join(QStringLiteral(", "))));
  const fitness::RawValue time = fitness::parseTime(alt->key, m.captured(2));
  if (!time.value) return refused(LaneField::Run, time.error);
  return {{{u"run_s"_s, QString()}, {u"alt_event"_s, alt->key}, {u"alt_time_s"_s, QString::number(*time.value)}}, {}};
}

// A lane's part of an undo step names the soldier and the lane together,
// as the lane says which points its fields earn.
qint64 laneKey(int member, LaneField field) { return qint64(member) * kLaneFields + index(field); }
int memberOfKey(qint64 key) { return static_cast<int>(key / kLaneFields); }
LaneField fieldOfKey(qint64 key) { return static_cast<LaneField>(key % kLaneFields); }

UndoEdit laneEdit(int member, LaneField field, const Record& before, const Record& after) {
  UndoEdit e{UndoEdit::Update, {laneKey(member, field), {}}};
  for (auto it = after.cbegin(); it != after.cend(); ++it) e.change.write(it.key(), before.value(it.key()), it.value());
  return e;
}

}  // namespace

QString laneColumn(LaneField f) {
  static const char* const names[kLaneFields] = {"deadlift_1", "deadlift_2", "pushup",    "sdc_s",       "plank_s",
                                                 "run_s",      "height_in",  "weight_lb", "body_fat_pct"};
  return QString::fromLatin1(names[index(f)]);
}

int laneEvent(LaneField f) { return eventOf(f); }

QString laneWidest(LaneField f) {
  // Figures written with the widest digits and every letter of the longest
  // word the lane can hold.
  const auto widest = [](const QString& text) {
    QString out = text;
    for (QChar& c : out)
      if (c.isDigit()) c = QLatin1Char('0');
    return out;
  };
  switch (f) {
    case LaneField::Height: return u"000.00"_s;
    case LaneField::Weight:
    case LaneField::BodyFat: return u"0000.00 NO-GO"_s;
    case LaneField::Run: {
      QString longest = fitness::formatTime(test().events[test().runEvent].maxRaw);
      for (const fitness::AlternateDef& a : test().alternates)
        if (const QString t = QStringLiteral("%1 %2").arg(a.key, fitness::formatTime(59 * 60 + 59)); t.size() > longest.size())
          longest = t;
      return widest(longest.toUpper());
    }
    default: {
      const fitness::EventDef& ev = test().events[eventOf(f)];
      return widest(fitness::formatRaw(ev.unit, ev.maxRaw));
    }
  }
}

QString laneCaption(LaneField f) {
  static const char* const names[kLaneFields] = {"MDL 1st", "MDL 2nd", "HRP", "SDC", "PLK", "Run/Alt", "Ht", "Wt", "BF%"};
  return QString::fromLatin1(names[index(f)]);
}

LaneValue parseLane(LaneField field, const QString& text) {
  if (text.trimmed().isEmpty()) {
    Record raw;
    for (const QString& c : rawColumns(field))
      if (!c.startsWith(QLatin1String("grader_"))) raw.insert(c, QString());
    return {raw, {}};
  }
  if (field == LaneField::Run) return parseRunLane(text);
  if (!hasGrader(field)) return parseMeasure(field, text);
  const fitness::RawValue v = fitness::parseRaw(test().events[eventOf(field)], text);
  if (!v.value) return refused(field, v.error);
  return {{{laneColumn(field), QString::number(*v.value)}}, {}};
}

LaneSheet::LaneSheet(const TestGroup& group, FitnessRecords& store, QUndoStack& undo)
    : group_(group), store_(store), history_(undo, *this) {
  rows_.resize(group_.members.size());
  // The whole group in one read where the records count their changes,
  // and from then on only what changed.
  if (readGroupChanges()) return;
  for (int m = 0; m < size(); ++m) {
    const GroupMember& member = group_.members.at(m);
    rows_[m] = store_.findOfSoldier(member.dodId, member.ssn, group_.testDate);
  }
}

QString LaneSheet::storedField(int member, const QString& name) const {
  return rows_.at(member) ? fieldOf(*rows_.at(member), name) : QString();
}

Record LaneSheet::scoredChanges(int member, LaneField field, const Record& raw) const {
  Record changes = raw;
  const auto value = [&](const QString& n) { return raw.contains(n) ? raw.value(n) : storedField(member, n); };
  if (eventOf(field) < 0) {
    // Body composition is taken on the day of the test unless told otherwise.
    if (!raw.value(laneColumn(field)).isEmpty() && value(u"bc_date"_s).isEmpty())
      changes.insert(u"bc_date"_s, group_.testDate);
    return changes;
  }

  // The events entered so far, each figure read once from its stored form,
  // are scored by the test's kind: the events not yet entered stand in at
  // a valid figure and only the entered ones keep their points; the total
  // and result wait for all five.
  const TestKind& kind = testKind(TestKindId::FiveEvent);
  const GroupMember& m = group_.members.at(member);
  Soldier soldier;
  soldier.ssn = m.ssn;
  soldier.name = m.name;
  soldier.sex = m.sex;
  soldier.dob = QDate::fromString(m.dob, Qt::ISODate);
  soldier.unit = m.unit;
  soldier.standard = m.standard;
  const int run = test().runEvent;
  const bool onAlternate = !value(u"alt_event"_s).isEmpty() && !value(u"alt_time_s"_s).isEmpty();
  const auto rawFor = [&](int event) -> QString {
    if (event == eventOf(LaneField::DeadliftFirst)) {
      const QString a = value(u"deadlift_1"_s), b = value(u"deadlift_2"_s);
      if (a.isEmpty() || b.isEmpty()) return a.isEmpty() ? b : a;
      return a.toInt() >= b.toInt() ? a : b;
    }
    for (int f = 2; f < kEventLanes; ++f)
      if (eventOf(static_cast<LaneField>(f)) == event) return value(laneColumn(static_cast<LaneField>(f)));
    return {};
  };
  QList<EventResult> entered;
  for (int i = 0; i < fitness::kEvents; ++i) {
    EventResult r;
    r.event = i;
    if (i == run && onAlternate) {
      r.alternate = value(u"alt_event"_s);
      r.raw = value(u"alt_time_s"_s).toInt();
    } else if (const QString figure = rawFor(i); !figure.isEmpty()) {
      r.raw = figure.toInt();
    }
    entered << r;
  }
  const ScoredTest sc = kind.score(soldier, QDate::fromString(group_.testDate, Qt::ISODate), entered);
  // Only this lane's event is written: the others are other lanes' fields.
  const int i = eventOf(field);
  EventResult mine = entered.at(i);
  mine.points = sc.points.value(i);
  const QString points = mine.points ? QString::number(*mine.points) : QString();
  const QString go = kind.eventVerdict(soldier, mine);
  const bool alt = i == run && onAlternate;
  changes.insert(kPointColumns[i], alt ? QString() : points);
  changes.insert(kGoColumns[i], alt ? QString() : go);
  if (i == run) {
    changes.insert(u"alt_pts"_s, alt ? points : QString());
    changes.insert(u"alt_go"_s, alt ? go : QString());
  }
  changes.insert(u"total_pts"_s, sc.total ? QString::number(*sc.total) : QString());
  changes.insert(u"result_go"_s, sc.result);
  return changes;
}

QString LaneSheet::write(int member, LaneField field, const Record& raw, const Record* expected,
                         const Record* scored) {
  const GroupMember& m = group_.members.at(member);
  try {
    if (!rows_[member]) {
      // The first value of the day makes the soldier's record of the test,
      // holding it.
      Record values{{u"test_group"_s, QString::number(group_.id)},
                    {u"name"_s, m.name},
                    {u"ssn"_s, m.ssn},
                    {u"dod_id"_s, m.dodId},
                    {u"sex"_s, m.sex},
                    {u"dob"_s, m.dob},
                    {u"unit"_s, m.unit},
                    {u"standard"_s, m.standard},
                    {u"pay_grade"_s, payGradeOf(m.rank)},
                    {u"edition"_s, test().edition},
                    {u"test_date"_s, group_.testDate}};
      const Record changes = scored ? *scored : scoredChanges(member, field, raw);
      for (auto it = changes.cbegin(); it != changes.cend(); ++it) values.insert(it.key(), it.value());
      try {
        rows_[member] = store_.add(values);
        return {};
      } catch (const DbError&) {
        // Another station's lane made it first. This station read none of
        // this lane's fields there, so what that station put in them is
        // a clash, never overwritten.
        std::optional<RowAsRead> theirs = store_.findOfSoldier(m.dodId, m.ssn, group_.testDate);
        if (!theirs) throw;
        for (const QString& name : rawColumns(field) + derivedColumns(field))
          theirs->fields[static_cast<int>(fitnessFieldNames().indexOf(name))] = QString();
        rows_[member] = theirs;
        scored = nullptr;  // counted against no record; their lanes count now
      }
    }
    // The row as this station holds it; an undo step's lane fields as the
    // step left them.
    RowAsRead asRead = *rows_[member];
    if (expected) {
      for (const QString& name : rawColumns(field) + derivedColumns(field))
        if (expected->contains(name))
          asRead.fields[static_cast<int>(fitnessFieldNames().indexOf(name))] = expected->value(name);
      scored = nullptr;
    }
    rows_[member] = asRead;
    try {
      try {
        rows_[member] = store_.store(asRead, scored ? *scored : scoredChanges(member, field, raw));
        // Moved by more than this store: another station stored the row
        // since it was read here, and its lanes count in the total.
        if (rows_[member]->version != asRead.version + 1) recount(member, field, raw);
      } catch (const ConflictError& e) {
        // Only the fields counted from the whole line (total, result) moved:
        // another lane of the soldier was stored meanwhile. Counted again on
        // their row, with this lane as it was read, the store goes through
        // unless yet another change comes in between.
        if (!onlyWholeLine(e.conflict(), field)) throw;
        RowAsRead again = e.conflict().theirs;
        for (const QString& name : rawColumns(field) + derivedColumns(field)) {
          const int c = static_cast<int>(fitnessFieldNames().indexOf(name));
          again.fields[c] = asRead.fields.value(c);
        }
        rows_[member] = again;
        rows_[member] = store_.store(again, scoredChanges(member, field, raw));
        recount(member, field, raw);
      }
    } catch (const ConflictError& e) {
      if (!chooser_ || !(asking_ || stepping_)) throw;
      StoreConflict met = e.conflict();
      // Either way the line is read as stored now; ours is stored over it
      // with the points counted again against their other lanes.
      const auto storeOver = [&](const StoreConflict& c) {
        rows_[member] = c.theirs;
        for (auto it = raw.cbegin(); it != raw.cend(); ++it)
          if (!overwritten_.contains(it.key())) overwritten_.insert(it.key(), storedField(member, it.key()));
        rows_[member] = store_.store(*rows_[member], scoredChanges(member, field, raw));
      };
      const auto keep = [&](const StoreConflict& c) {
        rows_[member] = c.theirs;
        keptTheirs_ = true;
      };
      const QString subject = QStringLiteral("%1 of %2").arg(laneCaption(field), m.name);
      // A step not taken over theirs stays to be taken.
      const ConflictChoice choice = settleConflict(*chooser_, subject, met, storeOver, keep);
      if (choice == ConflictChoice::Undecided || (stepping_ && choice == ConflictChoice::KeepTheirs))
        throw ConflictError(met);
    }
    return {};
  } catch (const ConflictError& e) {
    QStringList parts;
    // Times as the clerk types and reads them, not as stored seconds.
    const auto shown = [](const FieldClash& c, const QString& v) {
      static const QStringList times = {u"sdc_s"_s, u"plank_s"_s, u"run_s"_s, u"alt_time_s"_s};
      return times.contains(c.field) && !v.isEmpty() ? fitness::formatTime(v.toInt()) : v;
    };
    for (const FieldClash& c : e.conflict().clashes)
      parts << QStringLiteral("%1: stored now \"%2\", ours \"%3\"").arg(c.field, shown(c, c.theirs), shown(c, c.ours));
    rows_[member] = e.conflict().theirs;
    return QStringLiteral("%1 of %2 was changed at another station meanwhile; nothing was stored. %3")
        .arg(laneCaption(field), m.name, parts.join(QStringLiteral("; ")));
  } catch (const DbError& e) {
    if (rows_[member] && e.message() == deletedMessage(QString::number(rows_[member]->key)))
      return QStringLiteral("The five-event record of %1 was deleted at another station.").arg(m.name);
    return e.message();
  }
}

void LaneSheet::recount(int member, LaneField field, const Record& raw) {
  const Record counted = scoredChanges(member, field, raw);
  Record fix;
  for (auto it = counted.cbegin(); it != counted.cend(); ++it) {
    const QString now = storedField(member, it.key());
    if (now != it.value() && !(now.isEmpty() && it.value().isEmpty())) fix.insert(it.key(), it.value());
  }
  if (!fix.isEmpty()) rows_[member] = store_.store(*rows_[member], fix);
}

QString LaneSheet::put(int member, LaneField field, const Record& raw, const Record* scored) {
  Record before;
  for (auto it = raw.cbegin(); it != raw.cend(); ++it) before.insert(it.key(), storedField(member, it.key()));
  if (before == raw) return {};
  asking_ = true;
  keptTheirs_ = false;
  overwritten_.clear();
  const QString why = write(member, field, raw, nullptr, scored);
  asking_ = false;
  if (!why.isEmpty() || keptTheirs_) return why;
  // Stored over another station's lane: undoing it puts theirs back.
  for (auto it = overwritten_.cbegin(); it != overwritten_.cend(); ++it) before.insert(it.key(), it.value());
  history_.record(stepName(member, field), {laneEdit(member, field, before, raw)});
  return {};
}

LaneEntry LaneSheet::score(int member, LaneField field, const QString& text) const {
  LaneEntry out;
  out.member = member;
  out.field = field;
  out.text = text;
  if (text.trimmed().isEmpty()) {
    out.error = laneCaption(field) + QStringLiteral(": nothing was entered");
    return out;
  }
  LaneValue v = parseLane(field, text);
  if (!v.error.isEmpty()) {
    out.error = v.error;
    return out;
  }
  if (const QString g = grader(field); hasGrader(field) && !g.isEmpty()) {
    if (field == LaneField::Run) {
      const bool alt = !v.raw.value(u"alt_event"_s).isEmpty();
      v.raw.insert(u"grader_run"_s, alt ? QString() : g);
      v.raw.insert(u"grader_alt"_s, alt ? g : QString());
    } else {
      v.raw.insert(kGraderColumns[eventOf(field)], g);
    }
  }
  out.raw = v.raw;
  // The line as it will read: the row as last read with this lane's fields
  // and their points in place (a soldier with no record yet starts blank).
  RowAsRead row;
  if (rows_.at(member)) row = *rows_.at(member);
  out.basis = rows_.at(member) ? row.version : -1;
  while (row.fields.size() < fitnessFieldNames().size()) row.fields << QString();
  out.scored = scoredChanges(member, field, v.raw);
  for (auto it = out.scored.cbegin(); it != out.scored.cend(); ++it)
    if (const auto c = fitnessFieldNames().indexOf(it.key()); c >= 0) row.fields[static_cast<int>(c)] = it.value();
  out.line = lineOf(row);
  return out;
}

QString LaneSheet::store(const LaneEntry& entry) {
  if (!entry.error.isEmpty()) return entry.error;
  // Scored against the line as it still stands: stored as scored.
  const std::optional<RowAsRead>& row = rows_.at(entry.member);
  const bool current = row ? row->version == entry.basis : entry.basis == -1;
  return put(entry.member, entry.field, entry.raw, current ? &entry.scored : nullptr);
}

QString LaneSheet::enter(int member, LaneField field, const QString& text) { return store(score(member, field, text)); }

void LaneSheet::undo() { stepProblem_ = history_.step(UndoHistory::Direction::Back); }

void LaneSheet::redo() { stepProblem_ = history_.step(UndoHistory::Direction::Forward); }

QString LaneSheet::take(const QList<UndoEdit>& edits) {
  for (qsizetype i = 0; i < edits.size(); ++i) {
    const UndoEdit& e = edits.at(i);
    const int member = memberOfKey(e.change.key);
    const LaneField field = fieldOfKey(e.change.key);
    const Record expected = e.change.before();
    QString why;
    {
      // Taken only where the record still holds what the step left: a
      // lane changed at another station meanwhile asks the clerk.
      QScopedValueRollback stepping(stepping_, true);
      why = write(member, field, e.change.after(), &expected);
    }
    if (why.isEmpty()) continue;
    // A step of several records is refused whole: those it did store get
    // back what they held.
    for (qsizetype j = i - 1; j >= 0; --j) {
      const UndoEdit back = edits.at(j).inverse();
      const Record held = back.change.before();
      write(memberOfKey(back.change.key), fieldOfKey(back.change.key), back.change.after(), &held);
    }
    return QStringLiteral("%1: %2").arg(stepName(member, field), why);
  }
  return {};
}

QString LaneSheet::stepName(int member, LaneField field) const {
  return QStringLiteral("%1 of %2").arg(laneCaption(field), group_.members.at(member).name);
}

QString LaneSheet::clear(int member, LaneField field) {
  if (!rows_.at(member)) return {};
  Record raw;
  for (const QString& c : rawColumns(field)) raw.insert(c, QString());
  return put(member, field, raw);
}

QString LaneSheet::setGrader(LaneField field, const QString& initials) {
  if (!hasGrader(field)) return laneCaption(field) + QStringLiteral(": body composition has no grader");
  static const QRegularExpression letters(QStringLiteral("^[A-Za-z]{1,4}$"));
  const QString t = initials.trimmed();
  if (!t.isEmpty() && !letters.match(t).hasMatch())
    return QStringLiteral("Grader of %1: %2 are not initials (one to four letters)").arg(laneCaption(field), quoted(t));
  graders_[index(field)] = t.toUpper();
  return t.isEmpty() ? QString() : fillGrader(field, t.toUpper());
}

QString LaneSheet::fillGrader(LaneField field, const QString& initials) {
  // The grader columns a value in this lane is graded in, by the field
  // that holds the value.
  QList<std::pair<QString, QString>> graded;
  if (field == LaneField::Run) graded = {{u"run_s"_s, u"grader_run"_s}, {u"alt_event"_s, u"grader_alt"_s}};
  else graded = {{laneColumn(field), kGraderColumns[eventOf(field)]}};
  QList<UndoEdit> edits;
  QString problem;
  for (int m = 0; m < size() && problem.isEmpty(); ++m) {
    Record raw;
    for (const auto& [value, grader] : graded)
      if (!storedField(m, value).isEmpty() && storedField(m, grader).isEmpty()) raw.insert(grader, initials);
    if (raw.isEmpty()) continue;
    Record before = raw;
    for (auto it = before.begin(); it != before.end(); ++it) it.value() = QString();
    if (const QString why = write(m, field, raw); !why.isEmpty()) {
      problem = why;
      break;
    }
    edits.append(laneEdit(m, field, before, raw));
  }
  history_.record(QStringLiteral("Grader %1 of %2").arg(initials, laneCaption(field)), edits);
  return problem;
}

QString LaneSheet::grader(LaneField field) const {
  if (!hasGrader(field)) return {};
  if (graders_[index(field)]) return *graders_[index(field)];
  // Each column's place looked up once: a group's rows are read through
  // for the first initials, and on a day none are entered, all of them.
  const QStringList columns =
      field == LaneField::Run ? QStringList{u"grader_run"_s, u"grader_alt"_s} : QStringList{rawColumns(field).last()};
  QList<int> at;
  for (const QString& c : columns) at << int(fitnessFieldNames().indexOf(c));
  for (const std::optional<RowAsRead>& row : rows_)
    if (row)
      for (int c : std::as_const(at))
        if (const QString g = row->fields.value(c); !g.isEmpty()) return g;
  return {};
}

LaneLine LaneSheet::line(int member) const { return rows_.at(member) ? lineOf(*rows_.at(member)) : LaneLine{}; }

LaneLine LaneSheet::lineOf(const RowAsRead& row) {
  LaneLine out;
  const auto f = [&](const QString& name) { return fieldOf(row, name); };
  for (int l = 0; l < kEventLanes; ++l) {
    const QString v = fieldOf(row, laneColumn(static_cast<LaneField>(l)));
    const fitness::Unit unit = test().events[eventOf(static_cast<LaneField>(l))].unit;
    out.shown[l] = v.isEmpty() ? QString() : fitness::formatRaw(unit, v.toInt());
  }
  if (!f(u"alt_event"_s).isEmpty())
    out.shown[index(LaneField::Run)] =
        QStringLiteral("%1 %2").arg(f(u"alt_event"_s), f(u"alt_time_s"_s).isEmpty() ? QString()
                                                                               : fitness::formatTime(f(u"alt_time_s"_s).toInt()));
  out.shown[index(LaneField::Height)] = f(u"height_in"_s);
  out.shown[index(LaneField::Weight)] = QStringLiteral("%1 %2").arg(f(u"weight_lb"_s), f(u"weight_go"_s)).trimmed();
  out.shown[index(LaneField::BodyFat)] = QStringLiteral("%1 %2").arg(f(u"body_fat_pct"_s), f(u"body_fat_go"_s)).trimmed();
  for (int i = 0; i < fitness::kEvents; ++i) {
    QString p = fieldOf(row, kPointColumns[i]);
    if (i == test().runEvent && p.isEmpty()) p = f(u"alt_pts"_s);
    out.points[i] = p.isEmpty() ? -1 : p.toInt();
  }
  const QString total = f(u"total_pts"_s);
  if (!total.isEmpty()) out.total = total.toInt();
  out.result = f(u"result_go"_s);
  return out;
}

}  // namespace quillon
