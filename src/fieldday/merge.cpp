#include "merge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>

#include "changetrail.h"
#include "fitnessrecords.h"
#include "gateway.h"
#include "mergesettled.h"
#include "recordssession.h"
#include "recordtables.h"
#include "sqlitedb.h"
#include "mergesource.h"
#include "rescore.h"
#include "serversetup.h"
#include "takeout.h"

namespace quillon::fieldday {

namespace {

bool same(const QString& a, const QString& b, ColumnKind kind) {
  const QString x = a.trimmed(), y = b.trimmed();
  if (x == y) return true;
  if (x.isEmpty() || y.isEmpty()) return false;
  if (kind == ColumnKind::Number || kind == ColumnKind::Decimal) {
    bool okX = false, okY = false;
    const double dx = x.toDouble(&okX), dy = y.toDouble(&okY);
    return okX && okY && dx == dy;
  }
  if (kind == ColumnKind::Ssn) return ssnDigits(x) == ssnDigits(y);
  return false;
}

// Fields a merge never decides: the row's own key, the group it points at
// (each database's own ID), and what the scoring makes of the rest.
bool decided(const QString& name) {
  return name != QLatin1String("id") && name != QLatin1String("test_group") && !isScoredTotal(name);
}

bool sameRecord(const Record& a, const Record& b) {
  for (const FitnessField& f : fitnessFields())
    if (decided(f.name) && !same(a.value(f.name), b.value(f.name), f.kind)) return false;
  return true;
}

// Why a member's or record's identifiers name nobody; empty when they name
// someone. Whatever the clerk reads of an SSN is masked, in either place.
QString identifierProblem(const QString& dodId, const QString& ssn) {
  if (!dodId.isEmpty() && !normalizedDodId(dodId))
    return looksLikeSsn(dodId) ? QStringLiteral("an SSN (%1) stands where the DoD ID belongs").arg(shownSsn(dodId))
                               : QStringLiteral("its DoD ID '%1' is not ten digits").arg(dodId);
  if (!ssn.isEmpty() && ssnNineDigits(ssnDigits(ssn)).isEmpty())
    return normalizedDodId(ssnDigits(ssn)) ? QStringLiteral("a DoD ID stands where the SSN belongs")
                                           : QStringLiteral("its SSN is not nine digits");
  if (dodId.isEmpty() && ssn.isEmpty()) return QStringLiteral("it names the soldier by neither an SSN nor a DoD ID");
  return {};
}

QString describeValue(const QString& v) { return v.isEmpty() ? QStringLiteral("(none)") : v; }

const QString kDeleted = QStringLiteral("(deleted)");

QString subjectOf(const Record& r, SsnShown how) {
  return QStringLiteral("the record of %1 (%2) of %3")
      .arg(r.value("name"), shownSoldier(r.value("ssn"), r.value("dod_id"), how), r.value("test_date"));
}

// A clash put to the clerk, and how its answer is found again: the record,
// its version here, and each field with both values. The same key in the
// transaction means the clerk saw exactly this; another is asked anew.
struct Question {
  QString key;
  QString subject;
  StoreConflict conflict;
};

// The transaction found a clash the clerk did not see: plan and ask again.
struct AskAgain {
  QString why;
};

class Merger {
 public:
  // Whole: decide and store in one transaction, asking nobody. Plan: decide
  // without storing, gathering the questions. Apply: as Whole, each clash
  // settled by the answers to the plan's questions.
  enum class Pass { Whole, Plan, Apply };

  Merger(const QString& from, const QString& into, const MergeOptions& o, const Source& source,
         const std::optional<TakeOutNote>& note, const QString& copy, Pass pass,
         const QHash<QString, ConflictChoice>& answers = {})
      : from_(from), into_(into), o_(o), source_(source), note_(note), copy_(copy), pass_(pass), answers_(answers) {}

  MergeReport run() {
    const QString intoPath = recordsPathOf(into_);
    if (!QFileInfo::exists(intoPath) && !QFileInfo::exists(QDir(into_).filePath(QStringLiteral("info.pgconn"))))
      throw Error(into_ + QStringLiteral(": no records folder (neither info.mdb nor info.pgconn)."));
    target_ = RecordsSession::forDatabase(intoPath);
    Gateway rows(target_, fitnessTable()), groups(target_, testGroupsTable()),
        members(target_, testGroupMembersTable()), settled(target_, mergeSettledTable());
    if (!target_->isServer()) {
      target_->file(RecordsSession::Needs::TestGroups);
      target_->file(RecordsSession::Needs::FiveEvent);
    }
    const QStringList here = rows.columnsHere();
    for (const QString& name : fitnessTable().names())
      if (!here.contains(name)) {
        if (target_->isServer()) requireServerColumn(target_->server(), fitnessTable().name, name);
        throw Error(into_ + QStringLiteral(": its records were made by another version of Quillon (no field %1).")
                                .arg(name));
      }
    units_ = rows.unitsWritable();
    refuseAnotherUnitsFolder();

    next();
    std::optional<RecordsSession::Transaction> tx;
    if (pass_ != Pass::Plan) tx.emplace(*target_, RecordsSession::Needs::FiveEvent);
    readSettled(settled);
    mergeGroups(groups, members);
    mergeRecords(rows);
    listSkippedMembers();
    if (tx) {
      remember(settled);
      next();
      tx->commit();
    }
    return report_;
  }

  const QList<Question>& questions() const { return questions_; }

 private:
  enum class Settled { StoreMine, KeepTheirs, Undecided };

  bool writing() const { return pass_ != Pass::Plan; }

  void next() {
    if (o_.beforeStatement && writing()) o_.beforeStatement(++step_);
  }

  bool writable(const QString& unit) const {
    return !units_ || units_->contains(unit.trimmed().toUpper());
  }

  // The take-out the folder's choices are kept under: its own, or for a
  // folder that took nothing out, the folder itself.
  QString takeOutKey() const {
    return note_ && !note_->id.isEmpty() ? note_->id
                                         : QStringLiteral("folder ") + QFileInfo(from_).absoluteFilePath();
  }

  static QString settledKey(const QString& identity, const QString& field) { return identity + '\x1f' + field; }

  void readSettled(Gateway& settled) {
    if (settled.columnsHere().isEmpty()) return;  // a server set up before the table
    next();
    for (const RowAsRead& r : settled.where({{QStringLiteral("takeout"), takeOutKey()}}))
      settled_.insert(settledKey(r.fields.value(1), r.fields.value(2)), r.fields.value(3));
  }

  // Whether the clerk already kept the value here over `value` of `field`.
  bool keptOver(const QString& identity, const QString& field, const QString& value, ColumnKind kind) const {
    const auto it = settled_.constFind(settledKey(identity, field));
    return it != settled_.constEnd() && same(*it, value, kind);
  }

  void remember(Gateway& settled) {
    if (toRemember_.isEmpty()) return;
    // A file gains the table with the first choice it keeps.
    if (!target_->isServer()) {
      next();
      addMergeSettledTable(target_->file(RecordsSession::Needs::FiveEvent));
    }
    if (settled.columnsHere().isEmpty())
      throw Error(into_ + QStringLiteral(": the server was set up by an earlier version of Quillon and cannot keep "
                                         "the clerk's choices; an administrator runs its setup script again."));
    for (const Record& r : toRemember_) {
      next();
      for (const RowAsRead& old : settled.where({{QStringLiteral("takeout"), r.value("takeout")},
                                                 {QStringLiteral("record"), r.value("record")},
                                                 {QStringLiteral("field"), r.value("field")}},
                                                true))
        settled.remove(old, Gateway::Check::None);
      next();
      settled.add(r);
    }
  }

  void keep(const Record& known, const QString& field, const QString& value) {
    toRemember_ << Record{{QStringLiteral("takeout"), takeOutKey()},
                          {QStringLiteral("record"), recordIdentity(known)},
                          {QStringLiteral("field"), field},
                          {QStringLiteral("value"), value},
                          {QStringLiteral("unit"), known.value("unit")}};
  }

  void refuseAnotherUnitsFolder() {
    if (!units_ || source_.rows.empty()) return;
    QSet<QString> theirs;
    const int unitAt = fitnessTable().column(QStringLiteral("unit"));
    for (const RowAsRead& r : source_.rows) {
      const QString unit = r.fields.value(unitAt);
      if (writable(unit)) return;
      theirs.insert(unit.trimmed().toUpper());
    }
    QStringList list = theirs.values();
    list.sort();
    throw Error(from_ + QStringLiteral(": holds only records of other units (%1); this clerk stores those of %2.")
                            .arg(list.join(QStringLiteral(", ")),
                                 units_->isEmpty() ? QStringLiteral("no unit") : units_->join(QStringLiteral(", "))));
  }

  // Groups are known by their date and place; one taken out of this very
  // database by its ID as well. A member the target's group lacks joins it.
  void mergeGroups(Gateway& groups, Gateway& members) {
    if (source_.groups.empty()) return;
    next();
    std::vector<RowAsRead> there = groups.all({QStringLiteral("id")});
    next();
    const std::vector<RowAsRead> theirMembers = members.all({QStringLiteral("group_id"), QStringLiteral("position")});
    const int ssnAt = testGroupMembersTable().column(QStringLiteral("ssn"));
    const int dodIdAt = testGroupMembersTable().column(QStringLiteral("dod_id"));
    // Each group's members by either identifier; `memberNames` names them
    // (those this merge adds after those there) for a refusal's reason.
    KnownSoldiers known;
    QStringList memberNames;
    QHash<qint64, int> nextPosition;
    for (const RowAsRead& m : theirMembers) {
      const qint64 g = m.fields.value(0).toLongLong();
      known.add(QString::number(g), m.fields.value(dodIdAt), m.fields.value(ssnAt), int(memberNames.size()));
      memberNames << m.fields.value(3);
      nextPosition[g] = std::max(nextPosition.value(g), m.fields.value(1).toInt() + 1);
    }
    qint64 planned = 0;  // a group the plan would add has no ID yet
    for (const RowAsRead& g : source_.groups) {
      const QString date = g.fields.value(1), place = g.fields.value(2);
      std::optional<qint64> match;
      for (const RowAsRead& t : there) {
        const bool samePlace = t.fields.value(1) == date && t.fields.value(2) == place;
        const bool takenFromHere = note_ && note_->group == g.key && t.key == g.key &&
                                   note_->from == target_->describe() && t.fields.value(1) == date;
        if (takenFromHere) {
          match = t.key;
          break;
        }
        if (samePlace && !match) match = t.key;
      }
      if (!match) {
        next();
        const RowAsRead added =
            writing() ? groups.add({{QStringLiteral("test_date"), date}, {QStringLiteral("location"), place}})
                      : RowAsRead{--planned, 0, {QString(), date, place}};
        there.push_back(added);
        match = added.key;
      }
      groupMap_.insert(g.key, *match);
      for (const RowAsRead& m : source_.members) {
        if (m.fields.value(0).toLongLong() != g.key) continue;
        const QString scope = QString::number(*match);
        const QString dodId = m.fields.value(dodIdAt), ssn = m.fields.value(ssnAt);
        if (const QString why = identifierProblem(dodId, ssn); !why.isEmpty()) {
          refuseMember(m, date, why);
          continue;
        }
        const KnownSoldiers::Found found = known.find(scope, dodId, ssn);
        if (found.other) {
          refuseMember(m, date, found.other == found.at
                                    ? QStringLiteral("its SSN is that of %1 in the group at %2, who has another DoD ID")
                                          .arg(memberNames.value(*found.at), place)
                                    : QStringLiteral("its DoD ID is that of %1 and its SSN that of %2 in the group "
                                                     "at %3")
                                          .arg(memberNames.value(*found.at), memberNames.value(*found.other), place));
          continue;
        }
        // Known there by one identifier while the laptop pairs both: one
        // soldier, found by either from now on.
        if (found.at) {
          known.add(scope, dodId, ssn, *found.at);
          continue;
        }
        if (!writable(m.fields.value(6))) {
          skippedMembers_.push_back({&m, date, place});
          continue;
        }
        Record values;
        const QStringList names = testGroupMembersTable().names();
        for (int c = 0; c < names.size(); ++c) values.insert(names.at(c), m.fields.value(c).isNull() ? QStringLiteral("") : m.fields.value(c));
        values.insert(QStringLiteral("group_id"), QString::number(*match));
        values.insert(QStringLiteral("position"), QString::number(nextPosition[*match]++));
        next();
        if (writing()) members.add(values);
        known.add(scope, dodId, ssn, int(memberNames.size()));
        memberNames << m.fields.value(3);
      }
    }
  }

  // A laptop's member whose identifiers name two soldiers here: nothing of
  // theirs is stored, neither the membership nor any record.
  void refuseMember(const RowAsRead& m, const QString& date, const QString& reason) {
    const QString dodId = m.fields.value(testGroupMembersTable().column(QStringLiteral("dod_id")));
    const QString ssn = m.fields.value(testGroupMembersTable().column(QStringLiteral("ssn")));
    refusedSoldiers_.add(QString(), dodId, ssn, 0);
    const Record member{
        {QStringLiteral("ssn"), ssn}, {QStringLiteral("dod_id"), dodId}, {QStringLiteral("test_date"), date}};
    if (listed_.contains(recordIdentity(member))) return;
    listed_.insert(recordIdentity(member));
    MergeLine line;
    line.kind = MergeLine::Kind::Refused;
    line.ssn = ssn;
    line.dodId = dodId;
    line.name = m.fields.value(3);
    line.testDate = date;
    line.reason = reason;
    report_.lines << line;
  }

  // A member of another unit that the clerk may not add to a group here is
  // listed like a refused record; one whose record of the day was refused
  // already is listed once, by that record.
  void listSkippedMembers() {
    for (const SkippedMember& s : skippedMembers_) {
      const QString dodId = s.row->fields.value(testGroupMembersTable().column(QStringLiteral("dod_id")));
      const Record member{{QStringLiteral("ssn"), s.row->fields.value(2)},
                          {QStringLiteral("dod_id"), dodId},
                          {QStringLiteral("test_date"), s.date}};
      if (listed_.contains(recordIdentity(member))) continue;
      listed_.insert(recordIdentity(member));
      MergeLine line;
      line.kind = MergeLine::Kind::Refused;
      line.ssn = s.row->fields.value(2);
      line.dodId = dodId;
      line.name = s.row->fields.value(3);
      line.testDate = s.date;
      line.reason = QStringLiteral("a member of the group at %1, of unit %2, which this clerk may not store")
                        .arg(s.place, describeValue(s.row->fields.value(6)));
      report_.lines << line;
    }
  }

  void mergeRecords(Gateway& rows) {
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

  void refuseRecord(const Record& known, const QString& reason) {
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

  void mergeRecord(Gateway& rows, const Record* s, const Record* base, const RowAsRead* t) {
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

  // Which side of `clashes` of the row `t` is stored: the preference given,
  // else the clerk's answer to the plan's question (none: nobody to ask).
  Settled settle(const RowAsRead& t, const Record& now, const QList<MergeClash>& clashes) {
    if (o_.prefer != Prefer::Neither) return o_.prefer == Prefer::Source ? Settled::StoreMine : Settled::KeepTheirs;
    if (!o_.chooser || pass_ == Pass::Whole) return Settled::Undecided;
    Question q;
    q.key = recordIdentity(now) + '\x1e' + QString::number(t.version);
    QStringList when;
    for (const MergeClash& c : clashes) {
      q.key += '\x1e' + c.field + '\x1f' + c.source + '\x1f' + c.target;
      q.conflict.clashes << FieldClash{c.field, c.target, c.base, c.source, true};
      if (!c.sourceEntered.isEmpty() || !c.targetEntered.isEmpty())
        when << QStringLiteral("%1 yours %2, theirs %3")
                    .arg(c.field, describeValue(c.sourceEntered), describeValue(c.targetEntered));
    }
    if (pass_ == Pass::Apply) {
      const auto answer = answers_.constFind(q.key);
      if (answer == answers_.constEnd())
        throw AskAgain{QStringLiteral("%1 changed in %2 while you decided").arg(subjectOf(now, o_.ssnShown),
                                                                               target_->describe())};
      // Closing the question without a choice leaves the clash as it is.
      return *answer == ConflictChoice::StoreOurs    ? Settled::StoreMine
             : *answer == ConflictChoice::KeepTheirs ? Settled::KeepTheirs
                                                     : Settled::Undecided;
    }
    q.conflict.key = t.key;
    q.conflict.theirs = t;
    q.subject = subjectOf(now, o_.ssnShown) + QStringLiteral(": yours from %1, theirs in %2").arg(from_, target_->describe());
    if (!when.isEmpty()) q.subject += QStringLiteral(" (") + when.join(QStringLiteral("; ")) + ')';
    questions_ << q;
    return Settled::Undecided;
  }

  // The last entry of `field` of record `key` in the trail of the records
  // at `dbPath`: when, by whom, where. A trail this clerk may not read says
  // nothing, and the merge goes on.
  static QString entered(std::unique_ptr<ChangeTrail>& trail, const QString& dbPath, qint64 key, const QString& field) {
    if (key == 0) return {};
    try {
      if (!trail) trail = ChangeTrail::forDatabase(dbPath);
      const std::vector<TrailEntry> entries = trail->ofRecord(TracedTable::FiveEvent, key);
      for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        if (it->field.compare(field, Qt::CaseInsensitive) != 0 || it->action == TrailEntry::Action::Delete) continue;
        QString out = QStringLiteral("entered ") + it->when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
        if (!it->who.isEmpty()) out += QStringLiteral(" by ") + it->who;
        if (!it->station.isEmpty()) out += QStringLiteral(" at ") + it->station;
        return out;
      }
    } catch (const Error&) {
    }
    return {};
  }

  [[noreturn]] void changedMeanwhile() const {
    throw Error(into_ + QStringLiteral(": a record changed there while merging; nothing was stored. Run the merge "
                                       "again."));
  }

  struct SkippedMember {
    const RowAsRead* row;
    QString date, place;
  };

  QString from_, into_;
  const MergeOptions& o_;
  const Source& source_;
  const std::optional<TakeOutNote>& note_;
  QString copy_;
  Pass pass_;
  QHash<QString, ConflictChoice> answers_;
  std::shared_ptr<RecordsSession> target_;
  std::unique_ptr<ChangeTrail> sourceTrail_, targetTrail_;
  QHash<QString, qint64> sourceKeys_;
  std::optional<QStringList> units_;
  QHash<qint64, qint64> groupMap_;
  QHash<QString, QString> settled_;
  QList<Record> toRemember_;
  std::vector<SkippedMember> skippedMembers_;
  KnownSoldiers refusedSoldiers_;
  QSet<QString> listed_;
  QList<Question> questions_;
  MergeReport report_;
  int step_ = 0;
};

// How many times the records may change under a clerk's answers before the
// merge gives up asking.
constexpr int kAskRounds = 5;

}  // namespace

FieldFate fieldFate(const QString& base, const QString& source, const QString& target, ColumnKind kind) {
  if (same(source, target, kind) || same(source, base, kind)) return FieldFate::Same;
  if (same(target, base, kind)) return FieldFate::Store;
  return FieldFate::Conflict;
}

MergeReport mergeFolder(const QString& fromFolder, const QString& intoFolder, const MergeOptions& options) {
  if (QFileInfo(fromFolder).absoluteFilePath() == QFileInfo(intoFolder).absoluteFilePath())
    throw Error(QStringLiteral("A folder is merged into another folder than itself."));
  const std::optional<TakeOutNote> note = readNote(fromFolder);
  const FolderCopy copy(fromFolder);
  const Source source = readSource(fromFolder, copy);
  if (!options.chooser || options.prefer != Prefer::Neither)
    return Merger(fromFolder, intoFolder, options, source, note, copy.path(), Merger::Pass::Whole).run();

  QHash<QString, ConflictChoice> answers;
  QStringList notes;
  for (int round = 1;; ++round) {
    Merger plan(fromFolder, intoFolder, options, source, note, copy.path(), Merger::Pass::Plan);
    plan.run();
    for (const Question& q : plan.questions()) {
      if (answers.contains(q.key)) continue;
      StoreConflict conflict = q.conflict;
      answers.insert(q.key, options.chooser->choose(q.subject, conflict));
    }
    try {
      MergeReport report =
          Merger(fromFolder, intoFolder, options, source, note, copy.path(), Merger::Pass::Apply, answers).run();
      report.notes = notes;
      return report;
    } catch (const AskAgain& again) {
      if (round == kAskRounds)
        throw Error(again.why + QStringLiteral(" again and again; nothing was stored. Merge again later."));
      notes << again.why + QStringLiteral(": asked again.");
    }
  }
}

}  // namespace quillon::fieldday
