#pragma once
// The three-event test as a TestKind: push-ups, sit-ups and the two-mile
// run, scored through the points tables (tables.h) of the folder it is
// given, the pass rule the one Convert applies to a soldier on no profile.
// Convert scores through points() and the pass rule here; the profile
// questions and the alternate-event window stay Convert's: they ask the
// clerk, and a stored result already holds what they decided.

#include "tables.h"
#include "testkind.h"

namespace quillon {

class ThreeEventKind final : public TestKind {
 public:
  // `tablesDir`: where 2m.dat, su.dat and pu.dat are; the working folder
  // at the first scoring when empty.
  explicit ThreeEventKind(QString tablesDir = {});
  // Scores through `tables`, opened by their owner, who keeps them.
  explicit ThreeEventKind(ScoringTables& tables);

  TestKindId id() const override { return TestKindId::ThreeEvent; }
  QString name() const override { return QStringLiteral("three-event"); }
  const QList<TestEvent>& events() const override;
  const QList<TestEvent>& alternates() const override;
  RawReading read(int event, const QString& text) const override;
  QString written(int event, int value) const override;
  ScoredTest score(const Soldier& soldier, const QDate& on, const QList<EventResult>& entered) const override;
  QString verdict(const Soldier& soldier, const QList<int>& points) const override;
  QString eventVerdict(const Soldier& soldier, const EventResult& event) const override;
  int age(const QDate& dob, const QDate& on) const override;
  QString passWord() const override;
  PointsScale scale() const override;

  enum Event { PushUp, SitUp, Run };

  // One event's points as the tables hold them (the caption, spaces kept),
  // from the entry as the clerk typed it: a count, or the run's minutes
  // with `seconds`. A halfway count is looked up as typed, not as rounded.
  // `group` is the age group letter, `sex` "M" or "F".
  Lookup points(Event event, const QString& entry, int seconds, const QString& group, const QString& sex) const;

 private:
  QString dir_;
  mutable ScoringTables own_;
  mutable ScoringTables* tables_ = nullptr;  // own_ once opened, or the borrowed tables
};

}  // namespace quillon
