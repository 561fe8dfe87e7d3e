#pragma once
// The five-event test as a TestKind: its events, ranges and alternates are
// those of the test compiled into the program (fitnesstest.h), a raw entry is
// read by rawentry.h and a test is scored by scoreFigures, nothing retyped.

#include "fitnesstest.h"
#include "testkind.h"

namespace quillon {

class FiveEventKind final : public TestKind {
 public:
  FiveEventKind();

  TestKindId id() const override { return TestKindId::FiveEvent; }
  QString name() const override { return QStringLiteral("five-event"); }
  const QList<TestEvent>& events() const override { return events_; }
  const QList<TestEvent>& alternates() const override { return alternates_; }
  RawReading read(int event, const QString& text) const override;
  QString written(int event, int value) const override;
  // Events without a raw value stand in at a valid figure and only the
  // entered ones keep their points, the way a soldier still testing is
  // scored; the total and verdict come with all five.
  ScoredTest score(const Soldier& soldier, const QDate& on, const QList<EventResult>& entered) const override;
  QString verdict(const Soldier& soldier, const QList<int>& points) const override;
  QString eventVerdict(const Soldier& soldier, const EventResult& event) const override;
  int age(const QDate& dob, const QDate& on) const override;
  QString passWord() const override { return QStringLiteral("GO"); }
  PointsScale scale() const override;

  const fitness::FitnessTest& test() const;

 private:
  QList<TestEvent> events_;
  QList<TestEvent> alternates_;
};

}  // namespace quillon
