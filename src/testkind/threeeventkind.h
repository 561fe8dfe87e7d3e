#pragma once
// The three-event test as a TestKind: push-ups, sit-ups and the two-mile
// run, scored through the points tables (tables.h) of the folder it is
// given, the pass rule the one Convert applies to a soldier on no profile.
// The profile questions and the alternate-event window stay Convert's: they
// ask the clerk, and a stored result already holds what they decided.

#include "tables.h"
#include "testkind.h"

namespace quillon {

class ThreeEventKind final : public TestKind {
 public:
  // `tablesDir`: where 2m.dat, su.dat and pu.dat are; the working folder
  // at the first scoring when empty.
  explicit ThreeEventKind(QString tablesDir = {});

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

  enum Event { PushUp, SitUp, Run };

 private:
  QString dir_;
  mutable bool opened_ = false;
  mutable ScoringTables tables_;
};

}  // namespace quillon
