#pragma once
// A kind of test as data for the code that keeps, lists and prints tests:
// its events with their units and valid ranges, how a raw entry is read and
// written back, how a test is scored and the pass rule. The three-event and
// the five-event test each implement it by wrapping their own table
// readers, so no figure lives here. History, due list, cards and the test
// day's reports work on TestResult and ask its kind; none of them knows
// which test it holds.
//
// A TestResult is a stored test already read: text becomes these values once
// where a record leaves storage, and text again once where a window or a
// printed page shows it.

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace quillon {

enum class TestKindId { ThreeEvent, FiveEvent };

enum class EventUnit { Repetitions, Pounds, Time };  // Time: whole seconds

struct TestEvent {
  QString key;      // the records' own name for it: "pushup", "PU", ...
  QString caption;  // the short caption a list or card heads it with
  QString name;     // as a clerk reads it
  EventUnit unit = EventUnit::Repetitions;
  int minRaw = 0;  // valid entries, inclusive; seconds for a time
  int maxRaw = 0;
  // An event taken instead of another (the five-event alternates): the
  // index in events() of the one it replaces, else -1.
  int replaces = -1;
};

// Who took a test, as the records name them.
struct Soldier {
  QString ssn;  // nine digits; empty when the record names none the rules accept
  QString name;
  QString sex;  // "M" / "F" as stored
  QDate dob;
  QString unit;
  QString standard;  // the five-event "general" / "combat"; empty for a test without one
  QString dodId = {};  // ten digits; the five-event records' identifier when known
};

struct EventResult {
  int event = 0;  // index in the kind's events()
  // The key of the event taken instead, as stored (one the kind may not
  // know); empty when the event itself was taken.
  QString alternate;
  std::optional<int> raw;  // as the kind reads it: repetitions, pounds, seconds
  std::optional<int> points;
  QString verdict;  // "GO" / "NO-GO" as stored per event; empty when the test keeps none
  QString grader;
};

struct TestResult {
  using Kind = TestKindId;
  Kind kind = Kind::FiveEvent;
  qint64 id = 0;  // the record's key in its own table
  QDate date;     // of test; invalid when the record holds none
  Soldier soldier;
  QList<EventResult> events;  // one per event of the kind, in its order
  std::optional<int> total;
  QString result;  // the kind's verdict word: GO / NO-GO, PASS / FAIL, ...
  // What a record of this kind keeps beside its events (a form's boxes:
  // "mos", "pay_grade", ...), by the record's field names, as stored.
  QHash<QString, QString> particulars;
};

// What reading one raw entry gave.
struct RawReading {
  std::optional<int> value;
  QString error;  // "<event>: <why>" when nothing was read
};

// How far a kind's points run and where its pass rules draw on them, for
// a chart or a form that sets out a scale. Every figure comes from the
// kind's own tables and rules.
struct PointsScale {
  int eventTop = 0;        // the most points one event earns
  QList<int> eventPass;    // the least an event passes with, one per rule, ascending
  int totalTop = 0;        // the most a whole test earns
  QList<int> totalPass;    // the least totals the rules pass, ascending; empty when no rule asks one
};

// What scoring a test gave: points for every event that holds a raw value;
// total and verdict only once every event does.
struct ScoredTest {
  QString refused;  // why nothing was scored (no date of birth, ...); empty when scored
  QList<std::optional<int>> points;
  std::optional<int> total;
  QString result;
  bool scored() const { return refused.isEmpty(); }
};

class TestKind {
 public:
  virtual ~TestKind() = default;
  virtual TestKindId id() const = 0;
  // "three-event", "five-event": as a sentence names the test.
  virtual QString name() const = 0;
  virtual const QList<TestEvent>& events() const = 0;
  // Events a soldier may take instead of one of events(); empty for a test without.
  virtual const QList<TestEvent>& alternates() const = 0;
  // Reads what was typed for event `event` (an index in events()) by its
  // unit, held to its range.
  virtual RawReading read(int event, const QString& text) const = 0;
  // A raw value of event `event` as the tables and the clerk write it:
  // "13:22", "340". An alternate is written in the unit of the event it
  // replaces.
  virtual QString written(int event, int value) const = 0;
  // Scores `entered` (what a result holds, raw values only read) for
  // `soldier` on `on`.
  virtual ScoredTest score(const Soldier& soldier, const QDate& on, const QList<EventResult>& entered) const = 0;
  // The pass rule on a whole test's points, one per event in order.
  virtual QString verdict(const Soldier& soldier, const QList<int>& points) const = 0;
  // The pass rule on one event (an alternate by its own mark); empty when
  // it holds no points.
  virtual QString eventVerdict(const Soldier& soldier, const EventResult& event) const = 0;
  // Whole years a soldier born `dob` counts on `on` by this test's rule.
  virtual int age(const QDate& dob, const QDate& on) const = 0;
  virtual PointsScale scale() const = 0;
  // The word verdict() gives a passed test.
  virtual QString passWord() const = 0;
  // The word verdict() gives a failed test.
  QString failWord() const;

  // The alternate keyed `key` (case aside), or -1.
  int alternateIndex(const QString& key) const;
  // An alternate's name as the test gives it; a key it does not know as
  // stored.
  QString alternateName(const QString& key) const;
  // An event result's caption as a list shows it: an alternate's key in
  // capitals when one was taken.
  QString captionOf(const EventResult& e) const;
  // Its raw value as the clerk reads it; empty when none.
  QString rawText(const EventResult& e) const;
};

// The kind a result names. The three-event kind reads its points tables from
// the working folder, as the scorer does.
const TestKind& testKind(TestKindId id);
inline const TestKind& kindOf(const TestResult& r) { return testKind(r.kind); }

}  // namespace quillon
