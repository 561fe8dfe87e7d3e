#pragma once
// The parts of a merge (merge.h) that its files share. merge.cpp runs a
// pass and settles what both sides changed; mergegroups.cpp matches the
// folder's groups and members to those here; mergerecords.cpp decides each
// record of a soldier field by field. For the fieldday library only.

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "merge.h"
#include "mergesource.h"
#include "takeout.h"

namespace quillon {
class ChangeTrail;
class Gateway;
class RecordsSession;
class TestGroups;
}  // namespace quillon

namespace quillon::fieldday::merging {

// Whether two values of a field are alike as stored: no value and empty,
// numbers by value, SSNs by their digits.
bool same(const QString& a, const QString& b, ColumnKind kind);
// Fields a merge never decides: the row's own key, the group it points at
// (each database's own ID), and what the scoring makes of the rest.
bool decided(const QString& name);
bool sameRecord(const Record& a, const Record& b);
// Why a member's or record's identifiers name nobody; empty when they name
// someone. Whatever the clerk reads of an SSN is masked, in either place.
QString identifierProblem(const QString& dodId, const QString& ssn);
QString describeValue(const QString& v);
inline const QString kDeleted = QStringLiteral("(deleted)");
QString subjectOf(const Record& r, SsnShown how);

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
         const QHash<QString, ConflictChoice>& answers = {});
  ~Merger();

  MergeReport run();

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

  void readSettled(Gateway& settled);
  // Whether the clerk already kept the value here over `value` of `field`.
  bool keptOver(const QString& identity, const QString& field, const QString& value, ColumnKind kind) const;
  void remember(Gateway& settled);
  void keep(const Record& known, const QString& field, const QString& value);
  void refuseAnotherUnitsFolder();

  // mergegroups.cpp
  // Groups are known by their date and place; one taken out of this very
  // database by its ID as well. A member the target's group lacks joins it.
  void mergeGroups(Gateway& groups, Gateway& members);
  // A laptop's member whose identifiers name two soldiers here: nothing of
  // theirs is stored, neither the membership nor any record.
  void refuseMember(const RowAsRead& m, const QString& date, const QString& reason);
  // A member of another unit that the clerk may not add to a group here is
  // listed like a refused record; one whose record of the day was refused
  // already is listed once, by that record.
  void listSkippedMembers();
  // A member known here by the SSN alone whom the folder knows by the DoD
  // ID as well gains the number.
  void giveDodId(const RowAsRead& here, qint64 group, const QString& dodId);

  // mergerecords.cpp
  void mergeRecords(Gateway& rows);
  void refuseRecord(const Record& known, const QString& reason);
  void mergeRecord(Gateway& rows, const Record* s, const Record* base, const RowAsRead* t);

  // Which side of `clashes` of the row `t` is stored: the preference given,
  // else the clerk's answer to the plan's question (none: nobody to ask).
  Settled settle(const RowAsRead& t, const Record& now, const QList<MergeClash>& clashes);
  // The last entry of `field` of record `key` in the trail of the records
  // at `dbPath`: when, by whom, where. A trail this clerk may not read says
  // nothing, and the merge goes on.
  static QString entered(std::unique_ptr<ChangeTrail>& trail, const QString& dbPath, qint64 key, const QString& field);

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
  std::unique_ptr<TestGroups> groupsHere_;
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

}  // namespace quillon::fieldday::merging
