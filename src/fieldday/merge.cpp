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
#include "merger.h"
#include "recordssession.h"
#include "recordtables.h"
#include "sqlitedb.h"
#include "mergesource.h"
#include "rescore.h"
#include "serversetup.h"
#include "takeout.h"
#include "testgroups.h"

namespace quillon::fieldday {

namespace merging {

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

bool decided(const QString& name) {
  return name != QLatin1String("id") && name != QLatin1String("test_group") && !isScoredTotal(name);
}

bool sameRecord(const Record& a, const Record& b) {
  for (const FitnessField& f : fitnessFields())
    if (decided(f.name) && !same(a.value(f.name), b.value(f.name), f.kind)) return false;
  return true;
}

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

QString subjectOf(const Record& r, SsnShown how) {
  return QStringLiteral("the record of %1 (%2) of %3")
      .arg(r.value("name"), shownSoldier(r.value("ssn"), r.value("dod_id"), how), r.value("test_date"));
}

Merger::Merger(const QString& from, const QString& into, const MergeOptions& o, const Source& source,
               const std::optional<TakeOutNote>& note, const QString& copy, Pass pass,
               const QHash<QString, ConflictChoice>& answers)
    : from_(from), into_(into), o_(o), source_(source), note_(note), copy_(copy), pass_(pass), answers_(answers) {}

Merger::~Merger() = default;

MergeReport Merger::run() {
  const QString intoPath = recordsPathOf(into_);
  if (!QFileInfo::exists(intoPath) && !QFileInfo::exists(QDir(into_).filePath(QStringLiteral("info.pgconn"))))
    throw Error(into_ + QStringLiteral(": no records folder (neither info.mdb nor info.pgconn)."));
  target_ = RecordsSession::forDatabase(intoPath);
  groupsHere_ = TestGroups::ofSession(target_);
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

void Merger::readSettled(Gateway& settled) {
  if (settled.columnsHere().isEmpty()) return;  // a server set up before the table
  next();
  for (const RowAsRead& r : settled.where({{QStringLiteral("takeout"), takeOutKey()}}))
    settled_.insert(settledKey(r.fields.value(1), r.fields.value(2)), r.fields.value(3));
}

bool Merger::keptOver(const QString& identity, const QString& field, const QString& value, ColumnKind kind) const {
  const auto it = settled_.constFind(settledKey(identity, field));
  return it != settled_.constEnd() && same(*it, value, kind);
}

void Merger::remember(Gateway& settled) {
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

void Merger::keep(const Record& known, const QString& field, const QString& value) {
  toRemember_ << Record{{QStringLiteral("takeout"), takeOutKey()},
                        {QStringLiteral("record"), recordIdentity(known)},
                        {QStringLiteral("field"), field},
                        {QStringLiteral("value"), value},
                        {QStringLiteral("unit"), known.value("unit")}};
}

void Merger::refuseAnotherUnitsFolder() {
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

Merger::Settled Merger::settle(const RowAsRead& t, const Record& now, const QList<MergeClash>& clashes) {
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

QString Merger::entered(std::unique_ptr<ChangeTrail>& trail, const QString& dbPath, qint64 key, const QString& field) {
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

}  // namespace merging

namespace {

using merging::AskAgain;
using merging::Merger;
using merging::Question;
using merging::same;

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
