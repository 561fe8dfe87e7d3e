// Deciding each of the folder's records against the one here, field by field.
#include "merger.h"

#include <algorithm>

#include "changetrail.h"
#include "fitnessrecords.h"
#include "gateway.h"
#include "recordtables.h"
#include "rescore.h"

namespace quillon::fieldday::merging {

void Merger::mergeRecords(Gateway& rows) {
  QHash<QString, Record> source;
  QStringList order, ssns, dodIds;
  const auto wanted = [&](const Record& r) {
    if (const QString s = ssnNineDigits(ssnDigits(ssnOf(r))); !s.isEmpty()) ssns << s;
    if (const std::optional<QString> d = normalizedDodId(dodIdOf(r))) dodIds << *d;
  };
  for (const RowAsRead& r : source_.rows) {
    Record rec = fitnessRecordOf(r);
    const QString id = recordIdentity(rec);
    if (!source.contains(id)) order << id;
    sourceKeys_.insert(id, r.key);
    wanted(rec);
    source.insert(id, rec);
  }
  if (note_)
    for (auto it = note_->records.cbegin(); it != note_->records.cend(); ++it)
      if (!source.contains(it.key())) {
        order << it.key();
        wanted(it.value());
      }
  ssns.removeDuplicates();
  dodIds.removeDuplicates();
  // The target's records of these soldiers, each found again by the DoD ID
  // or the SSN on its date.
  std::vector<RowAsRead> there;
  KnownSoldiers known;
  if (!ssns.isEmpty() || !dodIds.isEmpty()) {
    next();
    there = rows.bySsnOr(ssns, QStringLiteral("dod_id"), dodIds, {QStringLiteral("id")});
    for (int i = 0; i < int(there.size()); ++i) {
      const Record r = fitnessRecordOf(there.at(i));
      known.add(r.value("test_date"), dodIdOf(r), ssnOf(r), i);
    }
  }
  for (const QString& id : order) {
    const auto s = source.constFind(id);
    const Record* base = note_ && note_->records.contains(id) ? &*note_->records.constFind(id) : nullptr;
    const Record& k = s == source.constEnd() ? *base : *s;
    const KnownSoldiers::Found t = known.find(k.value("test_date"), dodIdOf(k), ssnOf(k));
    if (t.other) {
      refuseRecord(k, QStringLiteral("its DoD ID and SSN name two soldiers whose records are there"));
      continue;
    }
    mergeRecord(rows, s == source.constEnd() ? nullptr : &*s, base, t.at ? &there.at(*t.at) : nullptr);
  }
}

void Merger::refuseRecord(const Record& known, const QString& reason) {
  MergeLine line;
  line.kind = MergeLine::Kind::Refused;
  line.ssn = ssnOf(known);
  line.dodId = dodIdOf(known);
  line.name = known.value("name");
  line.testDate = known.value("test_date");
  line.reason = reason;
  report_.lines << line;
  listed_.insert(recordIdentity(known));
}

void Merger::mergeRecord(Gateway& rows, const Record* s, const Record* base, const RowAsRead* t) {
  const Record& known = s ? *s : *base;
  const QString identity = recordIdentity(known);
  if (refusedSoldiers_.find(QString(), dodIdOf(known), ssnOf(known)).at) {
    if (!listed_.contains(identity))
      refuseRecord(known, QStringLiteral("its DoD ID and SSN name two soldiers of the group here"));
    return;
  }
  MergeLine line;
  line.ssn = known.value("ssn");
  line.dodId = dodIdOf(known);
  line.name = known.value("name");
  line.testDate = known.value("test_date");
  const auto done = [&](MergeLine::Kind kind, const QString& reason = {}) {
    line.kind = kind;
    line.reason = reason;
    report_.lines << line;
    listed_.insert(identity);
  };
  if (const QString why = identifierProblem(line.dodId, line.ssn); !why.isEmpty()) {
    // Listed once, by the member of the group that brought it.
    if (listed_.contains(identity)) return;
    return done(MergeLine::Kind::Refused, why);
  }
  if (line.testDate.isEmpty())
    return done(MergeLine::Kind::Refused, QStringLiteral("a record needs a date of test"));
  if (!writable(known.value("unit")))
    return done(MergeLine::Kind::Refused,
                QStringLiteral("of unit %1, which this clerk may not store").arg(describeValue(known.value("unit"))));

  if (s && !t) {
    // Taken out, left alone at the lanes and deleted at the target since:
    // the deletion stands.
    if (base && sameRecord(*s, *base)) return done(MergeLine::Kind::Unchanged);
    Record values = *s;
    values.remove(QStringLiteral("test_group"));
    if (const qint64 g = s->value("test_group").toLongLong(); groupMap_.contains(g))
      values.insert(QStringLiteral("test_group"), QString::number(groupMap_.value(g)));
    values = rescored(values);
    next();
    if (writing()) rows.add(checkedFitnessValues(values));
    return done(MergeLine::Kind::Stored, QStringLiteral("added"));
  }
  if (!s) {
    if (!t) return done(MergeLine::Kind::Unchanged);
    const Record now = fitnessRecordOf(*t);
    bool remove = sameRecord(now, *base);
    if (!remove) {
      if (keptOver(identity, QStringLiteral("record"), kDeleted, ColumnKind::Text))
        return done(MergeLine::Kind::Unchanged);
      const MergeClash clash{QStringLiteral("record"), kDeleted, QStringLiteral("(changed since)"), QString()};
      const Settled choice = settle(*t, now, {clash});
      remove = choice == Settled::StoreMine;
      if (!remove) {
        line.clashes << clash;
        if (choice == Settled::KeepTheirs) keep(known, clash.field, clash.source);
        return done(choice == Settled::KeepTheirs ? MergeLine::Kind::Unchanged : MergeLine::Kind::Conflict);
      }
    }
    next();
    if (writing() && !rows.remove(*t, Gateway::Check::Version).stored) changedMeanwhile();
    return done(MergeLine::Kind::Stored, QStringLiteral("deleted"));
  }

  const Record now = fitnessRecordOf(*t);
  Record changes;
  QList<MergeClash> clashes;
  for (const FitnessField& f : fitnessFields()) {
    if (!decided(f.name)) continue;
    const QString b = base ? base->value(f.name) : QString();
    const QString mine = s->value(f.name), theirs = now.value(f.name);
    switch (fieldFate(b, mine, theirs, f.kind)) {
      case FieldFate::Same: break;
      case FieldFate::Store: changes.insert(f.name, mine); break;
      case FieldFate::Conflict:
        if (!keptOver(identity, f.name, mine, f.kind)) clashes << MergeClash{f.name, mine, theirs, b};
        break;
    }
  }
  for (MergeClash& c : clashes) {
    c.sourceEntered = entered(sourceTrail_, copy_, sourceKeys_.value(identity), c.field);
    c.targetEntered = entered(targetTrail_, recordsPathOf(into_), t->key, c.field);
  }
  bool unsettled = false;
  if (!clashes.isEmpty()) {
    const Settled choice = settle(*t, now, clashes);
    if (choice == Settled::StoreMine) {
      for (const MergeClash& c : clashes) changes.insert(c.field, c.source);
    } else {
      line.clashes = clashes;
      unsettled = choice == Settled::Undecided;
      if (choice == Settled::KeepTheirs)
        for (const MergeClash& c : clashes) keep(known, c.field, c.source);
    }
  }
  if (!changes.isEmpty()) {
    Record merged = now;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) merged.insert(it.key(), it.value());
    const Record scored = rescored(merged);
    for (const QString& name : scoredTotalNames())
      if (!same(scored.value(name), now.value(name), ColumnKind::Text)) changes.insert(name, scored.value(name));
    next();
    if (writing() && !rows.store(*t, checkedFitnessValues(changes), Gateway::Check::Version).stored)
      changedMeanwhile();
  }
  if (unsettled) return done(MergeLine::Kind::Conflict);
  if (changes.isEmpty()) return done(MergeLine::Kind::Unchanged);
  QStringList names = changes.keys();
  names.sort();
  done(MergeLine::Kind::Stored, names.join(QStringLiteral(", ")));
}
}  // namespace quillon::fieldday::merging
