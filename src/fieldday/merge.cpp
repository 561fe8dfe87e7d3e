#include "merge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <optional>

#include "changetrail.h"
#include "fitnessrecords.h"
#include "gateway.h"
#include "recordssession.h"
#include "recordtables.h"
#include "rescore.h"
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

QString describeValue(const QString& v) { return v.isEmpty() ? QStringLiteral("(none)") : v; }

const QString kDeleted = QStringLiteral("(deleted)");

// The folder's file, copied aside so that opening it (which may add what
// this version keeps) never touches the folder.
class FolderCopy {
 public:
  explicit FolderCopy(const QString& folder) {
    const QString path = recordsPathOf(folder);
    if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("info.pgconn"))))
      throw Error(folder + QStringLiteral(": its records are on a server; a merge brings a laptop's folder (info.mdb)."));
    if (!QFileInfo(path).isFile()) throw Error(folder + QStringLiteral(": no records file (info.mdb) there."));
    if (!dir_.isValid()) throw Error(QStringLiteral("No room for a copy of %1: %2").arg(path, dir_.errorString()));
    path_ = dir_.filePath(QStringLiteral("info.mdb"));
    // A journal left beside the file belongs to it: the engine rolls it back.
    for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal")}) {
      if (!QFileInfo::exists(path + suffix)) continue;
      if (!QFile::copy(path + suffix, path_ + suffix))
        throw Error(QStringLiteral("%1 cannot be read or copied.").arg(path + suffix));
    }
  }
  const QString& path() const { return path_; }

 private:
  QTemporaryDir dir_;
  QString path_;
};

struct Source {
  std::vector<RowAsRead> rows;
  std::vector<RowAsRead> groups, members;
};

Source readSource(const QString& folder, const QString& copy) {
  std::shared_ptr<RecordsSession> s = RecordsSession::ofFile(copy);
  Gateway rows(s, fitnessTable());
  try {
    if (const QString why = rows.damage(); !why.isEmpty())
      throw Error(folder + QStringLiteral(": the records file is damaged (%1).").arg(why));
    // The columns in the order every file holds them (the fields added
    // later come after the version).
    const QStringList expected = fitnessTableColumns();
    if (const QStringList here = rows.columnsHere(); here != expected)
      throw Error(folder + QStringLiteral(": the records file was made by another version of Quillon (its five-event "
                                          "records hold the fields %1).")
                               .arg(here.join(QStringLiteral(", "))));
    Source out;
    out.rows = rows.all({QStringLiteral("test_date"), QStringLiteral("id")});
    out.groups = Gateway(s, testGroupsTable()).all({QStringLiteral("id")});
    out.members = Gateway(s, testGroupMembersTable()).all({QStringLiteral("group_id"), QStringLiteral("position")});
    return out;
  } catch (const Error& e) {
    if (e.message().startsWith(folder)) throw;
    throw Error(folder + QStringLiteral(": the records file is damaged or unreadable (%1).").arg(e.message()));
  }
}

QString subjectOf(const Record& r) {
  return QStringLiteral("the record of %1 (%2) of %3").arg(r.value("name"), r.value("ssn"), r.value("test_date"));
}

class Merger {
 public:
  Merger(const QString& from, const QString& into, const MergeOptions& o, const Source& source,
         const std::optional<TakeOutNote>& note, const QString& copy)
      : from_(from), into_(into), o_(o), source_(source), note_(note), copy_(copy) {}

  MergeReport run() {
    const QString intoPath = recordsPathOf(into_);
    if (!QFileInfo::exists(intoPath) && !QFileInfo::exists(QDir(into_).filePath(QStringLiteral("info.pgconn"))))
      throw Error(into_ + QStringLiteral(": no records folder (neither info.mdb nor info.pgconn)."));
    target_ = RecordsSession::forDatabase(intoPath);
    Gateway rows(target_, fitnessTable()), groups(target_, testGroupsTable()),
        members(target_, testGroupMembersTable());
    if (!target_->isServer()) target_->file(RecordsSession::Needs::TestGroups);
    const QStringList here = rows.columnsHere();
    for (const QString& name : fitnessTable().names())
      if (!here.contains(name))
        throw Error(into_ + QStringLiteral(": its records were made by another version of Quillon (no field %1).")
                                .arg(name));
    units_ = rows.unitsWritable();
    refuseAnotherUnitsFolder();

    next();
    RecordsSession::Transaction tx(*target_, RecordsSession::Needs::FiveEvent);
    mergeGroups(groups, members);
    mergeRecords(rows);
    next();
    tx.commit();
    return report_;
  }

 private:
  void next() {
    if (o_.beforeStatement) o_.beforeStatement(++step_);
  }

  bool writable(const QString& unit) const {
    return !units_ || units_->contains(unit.trimmed().toUpper());
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
    QHash<qint64, QSet<QString>> memberSsns;
    QHash<qint64, int> nextPosition;
    for (const RowAsRead& m : theirMembers) {
      const qint64 g = m.fields.value(0).toLongLong();
      memberSsns[g].insert(ssnDigits(m.fields.value(2)));
      nextPosition[g] = std::max(nextPosition.value(g), m.fields.value(1).toInt() + 1);
    }
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
        const RowAsRead added = groups.add({{QStringLiteral("test_date"), date}, {QStringLiteral("location"), place}});
        there.push_back(added);
        match = added.key;
      }
      groupMap_.insert(g.key, *match);
      for (const RowAsRead& m : source_.members) {
        if (m.fields.value(0).toLongLong() != g.key) continue;
        const QString digits = ssnDigits(m.fields.value(2));
        if (memberSsns[*match].contains(digits) || !writable(m.fields.value(6))) continue;
        Record values;
        const QStringList names = testGroupMembersTable().names();
        for (int c = 0; c < names.size(); ++c) values.insert(names.at(c), m.fields.value(c).isNull() ? QStringLiteral("") : m.fields.value(c));
        values.insert(QStringLiteral("group_id"), QString::number(*match));
        values.insert(QStringLiteral("position"), QString::number(nextPosition[*match]++));
        next();
        members.add(values);
        memberSsns[*match].insert(digits);
      }
    }
  }

  void mergeRecords(Gateway& rows) {
    QHash<QString, Record> source;
    QStringList order, digits;
    for (const RowAsRead& r : source_.rows) {
      Record rec = fitnessRecordOf(r);
      const QString id = recordIdentity(rec.value("ssn"), rec.value("test_date"));
      if (!source.contains(id)) order << id;
      sourceKeys_.insert(id, r.key);
      source.insert(id, rec);
      digits << ssnDigits(rec.value("ssn"));
    }
    if (note_)
      for (auto it = note_->records.cbegin(); it != note_->records.cend(); ++it)
        if (!source.contains(it.key())) {
          order << it.key();
          digits << ssnDigits(it.value().value("ssn"));
        }
    digits.removeDuplicates();
    digits.removeAll(QString());
    QHash<QString, RowAsRead> target;
    if (!digits.isEmpty()) {
      next();
      for (RowAsRead& r : rows.bySsn(digits, {QStringLiteral("id")})) {
        const Record rec = fitnessRecordOf(r);
        target.insert(recordIdentity(rec.value("ssn"), rec.value("test_date")), std::move(r));
      }
    }
    for (const QString& id : order) {
      const auto s = source.constFind(id);
      const Record* base = note_ && note_->records.contains(id) ? &*note_->records.constFind(id) : nullptr;
      const auto t = target.constFind(id);
      mergeRecord(rows, s == source.constEnd() ? nullptr : &*s, base, t == target.constEnd() ? nullptr : &*t);
    }
  }

  void mergeRecord(Gateway& rows, const Record* s, const Record* base, const RowAsRead* t) {
    const Record& known = s ? *s : *base;
    MergeLine line;
    line.ssn = known.value("ssn");
    line.name = known.value("name");
    line.testDate = known.value("test_date");
    const auto done = [&](MergeLine::Kind kind, const QString& reason = {}) {
      line.kind = kind;
      line.reason = reason;
      report_.lines << line;
    };
    if (ssnDigits(line.ssn).size() != 9 || line.testDate.isEmpty())
      return done(MergeLine::Kind::Refused, QStringLiteral("a record needs an SSN of nine digits and a date of test"));
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
      rows.add(checkedFitnessValues(values));
      return done(MergeLine::Kind::Stored, QStringLiteral("added"));
    }
    if (!s) {
      if (!t) return done(MergeLine::Kind::Unchanged);
      const Record now = fitnessRecordOf(*t);
      bool remove = sameRecord(now, *base);
      if (!remove) {
        const MergeClash clash{QStringLiteral("record"), kDeleted, QStringLiteral("(changed since)"), QString()};
        remove = settle(now, {clash});
        if (!remove) {
          line.clashes << clash;
          return done(o_.prefer == Prefer::Target ? MergeLine::Kind::Unchanged : MergeLine::Kind::Conflict);
        }
      }
      next();
      if (!rows.remove(*t, Gateway::Check::Version).stored) changedMeanwhile();
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
        case FieldFate::Conflict: clashes << MergeClash{f.name, mine, theirs, b}; break;
      }
    }
    for (MergeClash& c : clashes) {
      c.sourceEntered = entered(sourceTrail_, copy_, sourceKeys_.value(recordIdentity(line.ssn, line.testDate)), c.field);
      c.targetEntered = entered(targetTrail_, recordsPathOf(into_), t->key, c.field);
    }
    bool unsettled = false;
    if (!clashes.isEmpty()) {
      if (settle(now, clashes)) {
        for (const MergeClash& c : clashes) changes.insert(c.field, c.source);
      } else {
        line.clashes = clashes;
        unsettled = o_.prefer != Prefer::Target;
      }
    }
    if (!changes.isEmpty()) {
      Record merged = now;
      for (auto it = changes.cbegin(); it != changes.cend(); ++it) merged.insert(it.key(), it.value());
      const Record scored = rescored(merged);
      for (const QString& name : scoredTotalNames())
        if (!same(scored.value(name), now.value(name), ColumnKind::Text)) changes.insert(name, scored.value(name));
      next();
      if (!rows.store(*t, checkedFitnessValues(changes), Gateway::Check::Version).stored) changedMeanwhile();
    }
    if (unsettled) return done(MergeLine::Kind::Conflict);
    if (changes.isEmpty()) return done(MergeLine::Kind::Unchanged);
    QStringList names = changes.keys();
    names.sort();
    done(MergeLine::Kind::Stored, names.join(QStringLiteral(", ")));
  }

  // Whether the folder's side of `clashes` is stored: the preference given,
  // else the clerk's choice when there is someone to ask.
  bool settle(const Record& now, const QList<MergeClash>& clashes) {
    if (o_.prefer != Prefer::Neither) return o_.prefer == Prefer::Source;
    if (!o_.chooser) return false;
    StoreConflict conflict;
    QStringList when;
    for (const MergeClash& c : clashes) {
      conflict.clashes << FieldClash{c.field, c.target, c.base, c.source, true};
      if (!c.sourceEntered.isEmpty() || !c.targetEntered.isEmpty())
        when << QStringLiteral("%1 yours %2, theirs %3")
                    .arg(c.field, describeValue(c.sourceEntered), describeValue(c.targetEntered));
    }
    QString subject = subjectOf(now) + QStringLiteral(": yours from %1, theirs in %2").arg(from_, target_->describe());
    if (!when.isEmpty()) subject += QStringLiteral(" (") + when.join(QStringLiteral("; ")) + ')';
    return o_.chooser->choose(subject, conflict) == ConflictChoice::StoreOurs;
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

  QString from_, into_;
  const MergeOptions& o_;
  const Source& source_;
  const std::optional<TakeOutNote>& note_;
  QString copy_;
  std::shared_ptr<RecordsSession> target_;
  std::unique_ptr<ChangeTrail> sourceTrail_, targetTrail_;
  QHash<QString, qint64> sourceKeys_;
  std::optional<QStringList> units_;
  QHash<qint64, qint64> groupMap_;
  MergeReport report_;
  int step_ = 0;
};

}  // namespace

FieldFate fieldFate(const QString& base, const QString& source, const QString& target, ColumnKind kind) {
  if (same(source, target, kind) || same(source, base, kind)) return FieldFate::Same;
  if (same(target, base, kind)) return FieldFate::Store;
  return FieldFate::Conflict;
}

QString MergeLine::text() const {
  const QString who = QStringLiteral("%1 %2 %3").arg(ssn, testDate, name);
  switch (kind) {
    case Kind::Stored: return QStringLiteral("stored %1: %2").arg(who, reason);
    case Kind::Unchanged:
      if (clashes.isEmpty()) return QStringLiteral("unchanged %1").arg(who);
      [[fallthrough]];
    case Kind::Conflict: {
      QStringList parts;
      const auto side = [](const QString& value, const QString& entered) {
        return entered.isEmpty() ? describeValue(value) : describeValue(value) + " (" + entered + ')';
      };
      for (const MergeClash& c : clashes)
        parts << QStringLiteral("%1: from %2, into %3")
                     .arg(c.field, side(c.source, c.sourceEntered), side(c.target, c.targetEntered));
      return QStringLiteral("%1 %2: %3")
          .arg(kind == Kind::Conflict ? QStringLiteral("conflict") : QStringLiteral("unchanged"), who,
               parts.join(QStringLiteral("; ")));
    }
    case Kind::Refused: return QStringLiteral("refused %1: %2").arg(who, reason);
  }
  return {};
}

int MergeReport::count(MergeLine::Kind kind) const {
  return int(std::count_if(lines.cbegin(), lines.cend(), [kind](const MergeLine& l) { return l.kind == kind; }));
}

QString MergeReport::summary() const {
  using K = MergeLine::Kind;
  return QStringLiteral("stored %1, unchanged %2, conflicts %3, refused %4")
      .arg(count(K::Stored))
      .arg(count(K::Unchanged))
      .arg(count(K::Conflict))
      .arg(count(K::Refused));
}

MergeReport mergeFolder(const QString& fromFolder, const QString& intoFolder, const MergeOptions& options) {
  if (QFileInfo(fromFolder).absoluteFilePath() == QFileInfo(intoFolder).absoluteFilePath())
    throw Error(QStringLiteral("A folder is merged into another folder than itself."));
  const std::optional<TakeOutNote> note = readNote(fromFolder);
  const FolderCopy copy(fromFolder);
  const Source source = readSource(fromFolder, copy.path());
  return Merger(fromFolder, intoFolder, options, source, note, copy.path()).run();
}

}  // namespace quillon::fieldday
