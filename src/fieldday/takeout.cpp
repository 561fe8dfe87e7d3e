#include "takeout.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>
#include <algorithm>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "gateway.h"
#include "recordssession.h"
#include "recordtables.h"
#include "ssnkey.h"
#include "testgroups.h"

namespace quillon::fieldday {

namespace {

// How many five-event tests before the test date a laptop keeps of each
// soldier: enough for the history and the cards.
constexpr int kHistory = 4;

const QString kNoteName = QStringLiteral("takeout.json");

void writeNote(const QString& folder, const TakeOutNote& note) {
  QJsonArray records;
  for (auto it = note.records.cbegin(); it != note.records.cend(); ++it) {
    QJsonObject fields;
    for (auto f = it.value().cbegin(); f != it.value().cend(); ++f) fields.insert(f.key(), f.value());
    records.append(fields);
  }
  const QJsonObject root{{"format", note.format},       {"id", note.id},
                         {"takenAt", note.takenAt},     {"from", note.from},
                         {"group", double(note.group)}, {"testDate", note.testDate},
                         {"location", note.location},   {"records", records}};
  QSaveFile f(notePath(folder));
  // Owner-only before the first byte: the note names every soldier taken out.
  if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      f.write(QJsonDocument(root).toJson()) < 0 || !f.commit())
    throw Error(notePath(folder) + ": " + f.errorString());
}

}  // namespace

QString ssnDigits(const QString& ssn) {
  QString d;
  for (QChar c : ssn)
    if (c.isDigit()) d += c;
  return d;
}

void KnownSoldiers::add(const QString& scope, const QString& dodId, const QString& ssn, int at) {
  if (const std::optional<QString> d = normalizedDodId(dodId)) {
    byDodId_.insert(scope + '/' + *d, at);
    dodIdOf_.insert(at, *d);
  }
  if (const QString s = ssnNineDigits(ssnDigits(ssn)); !s.isEmpty()) bySsn_.insert(scope + '/' + s, at);
}

KnownSoldiers::Found KnownSoldiers::find(const QString& scope, const QString& dodId, const QString& ssn) const {
  const std::optional<QString> d = normalizedDodId(dodId);
  const QString s = ssnNineDigits(ssnDigits(ssn));
  const auto lookUp = [&scope](const QHash<QString, int>& in, const QString& id) -> std::optional<int> {
    if (id.isEmpty()) return std::nullopt;
    const auto it = in.constFind(scope + '/' + id);
    return it == in.constEnd() ? std::nullopt : std::optional<int>(*it);
  };
  const std::optional<int> byDodId = lookUp(byDodId_, d.value_or(QString())), bySsn = lookUp(bySsn_, s);
  if (byDodId && bySsn && *byDodId != *bySsn) return {byDodId, bySsn};
  if (byDodId) return {byDodId, std::nullopt};
  if (!bySsn) return {};
  // The SSN names a soldier whose DoD ID is another: not one soldier.
  if (d && dodIdOf_.contains(*bySsn) && dodIdOf_.value(*bySsn) != *d) return {bySsn, bySsn};
  return {bySsn, std::nullopt};
}

Record fitnessRecordOf(const RowAsRead& row) {
  Record r;
  const QStringList& names = fitnessFieldNames();
  for (int c = 1; c < names.size() && c < row.fields.size(); ++c)
    if (!row.fields.at(c).isEmpty()) r.insert(names.at(c), row.fields.at(c));
  return r;
}

QString recordIdentity(const Record& record) {
  // By the SSN where the record has one, so that a record made before the
  // DoD ID number and its copy that gained one since stay one record; a
  // soldier known by the number alone by that.
  const QString ssn = ssnDigits(record.value(QStringLiteral("ssn")));
  const QString who = ssn.isEmpty() ? QStringLiteral("D") + record.value(QStringLiteral("dod_id")) : ssn;
  return who + '/' + record.value(QStringLiteral("test_date"));
}

QString notePath(const QString& folder) { return QDir(folder).filePath(kNoteName); }

QString recordsPathOf(const QString& folder) { return QDir(folder).filePath(QStringLiteral("info.mdb")); }

std::optional<TakeOutNote> readNote(const QString& folder) {
  QFile f(notePath(folder));
  if (!f.exists()) return std::nullopt;
  if (!f.open(QIODevice::ReadOnly)) throw Error(f.fileName() + ": " + f.errorString());
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject())
    throw Error(f.fileName() + QStringLiteral(": the note of the take-out is damaged (%1).").arg(error.errorString()));
  const QJsonObject root = doc.object();
  TakeOutNote note;
  note.format = root.value("format").toInt(-1);
  if (note.format < 1 || note.format > kNoteFormat)
    throw Error(f.fileName() + QStringLiteral(": taken out by another version of Quillon (note form %1; this "
                                              "version reads form %2).")
                                   .arg(note.format)
                                   .arg(kNoteFormat));
  note.id = root.value("id").toString();
  note.takenAt = root.value("takenAt").toString();
  note.from = root.value("from").toString();
  note.group = qint64(root.value("group").toDouble());
  note.testDate = root.value("testDate").toString();
  note.location = root.value("location").toString();
  for (const QJsonValue& v : root.value("records").toArray()) {
    Record r;
    const QJsonObject o = v.toObject();
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) r.insert(it.key(), it.value().toString());
    note.records.insert(recordIdentity(r), r);
  }
  return note;
}

TakeOutResult takeOut(const QString& fromFolder, qint64 groupId, const QString& toFolder) {
  const QString fromPath = recordsPathOf(fromFolder);
  if (!QFileInfo::exists(fromPath) && !QFileInfo::exists(QDir(fromFolder).filePath(QStringLiteral("info.pgconn"))))
    throw Error(fromFolder + QStringLiteral(": no records folder (neither info.mdb nor info.pgconn)."));
  if (QFileInfo(fromFolder).absoluteFilePath() == QFileInfo(toFolder).absoluteFilePath())
    throw Error(QStringLiteral("A group is taken out into another folder than its own."));

  std::shared_ptr<RecordsSession> from = RecordsSession::forDatabase(fromPath);
  const std::optional<TestGroup> group = TestGroups::forDatabase(fromPath)->load(groupId);
  if (!group) throw Error(QStringLiteral("%1 holds no test group %2.").arg(from->describe()).arg(groupId));

  // The test date's records and the history of each member, as they are now.
  QStringList ssns, dodIds;
  KnownSoldiers members;
  for (int i = 0; i < group->members.size(); ++i) {
    const GroupMember& m = group->members.at(i);
    if (const QString s = ssnNineDigits(m.ssn); !s.isEmpty()) ssns << s;
    if (const std::optional<QString> d = normalizedDodId(m.dodId)) dodIds << *d;
    members.add(QString(), m.dodId, m.ssn, i);
  }
  Gateway fromRows(from, fitnessTable());
  const std::vector<RowAsRead> rows =
      ssns.isEmpty() && dodIds.isEmpty()
          ? std::vector<RowAsRead>{}
          : fromRows.bySsnOr(ssns, QStringLiteral("dod_id"), dodIds,
                             {QStringLiteral("test_date DESC"), QStringLiteral("id")});
  const int ssnAt = fitnessTable().column(QStringLiteral("ssn"));
  const int dodIdAt = fitnessTable().column(QStringLiteral("dod_id"));
  const int dateAt = fitnessTable().column(QStringLiteral("test_date"));
  QHash<int, int> kept;  // history records kept per member
  std::vector<const RowAsRead*> taken;
  for (const RowAsRead& r : rows) {
    const QString date = r.fields.value(dateAt);
    const KnownSoldiers::Found who = members.find(QString(), r.fields.value(dodIdAt), r.fields.value(ssnAt));
    if (!who.at || who.other || date > group->testDate) continue;
    if (date != group->testDate && kept[*who.at]++ >= kHistory) continue;
    taken.push_back(&r);
  }

  if (QFileInfo::exists(notePath(toFolder)))
    throw Error(toFolder + QStringLiteral(": already holds a group taken out; take out into an empty folder."));
  // A folder made here is its owner's alone, as the records it will hold; one
  // the clerk made stays as they made it.
  const bool made = !QFileInfo::exists(toFolder);
  if (!QDir().mkpath(toFolder) ||
      (made && !QFile::setPermissions(toFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)))
    throw Error(toFolder + QStringLiteral(": the folder cannot be made."));
  const QString toPath = recordsPathOf(toFolder);
  if (QFileInfo::exists(QDir(toFolder).filePath(QStringLiteral("info.pgconn"))))
    throw Error(toFolder + QStringLiteral(": is a server's folder; take out into a folder for the laptop."));
  if (!QFileInfo::exists(toPath)) createRecordsDatabase(toPath);

  std::shared_ptr<RecordsSession> to = RecordsSession::forDatabase(toPath);
  to->file(RecordsSession::Needs::TestGroups);
  Gateway toRows(to, fitnessTable()), toGroups(to, testGroupsTable()), toMembers(to, testGroupMembersTable());
  TakeOutNote note;
  note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
  note.takenAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  note.from = from->describe();
  note.group = group->id;
  note.testDate = group->testDate;
  note.location = group->location;
  {
    RecordsSession::Transaction tx(*to, RecordsSession::Needs::FiveEvent);
    if (!toRows.all({}).empty() || !toGroups.all({}).empty())
      throw Error(toFolder + QStringLiteral(": already holds five-event records or groups; take out into an "
                                            "empty folder."));
    // Under the group's own ID, so that its records keep pointing at it.
    toGroups.addWithKey(group->id, {{QStringLiteral("test_date"), group->testDate},
                                    {QStringLiteral("location"), group->location}});
    int position = 0;
    for (const GroupMember& m : group->members)
      toMembers.add({{QStringLiteral("group_id"), QString::number(group->id)},
                     {QStringLiteral("position"), QString::number(position++)},
                     {QStringLiteral("ssn"), m.ssn},
                     {QStringLiteral("name"), m.name},
                     {QStringLiteral("sex"), m.sex},
                     {QStringLiteral("dob"), m.dob},
                     {QStringLiteral("unit"), m.unit},
                     {QStringLiteral("standard"), m.standard},
                     {QStringLiteral("rank"), m.rank},
                     {QStringLiteral("dod_id"), m.dodId}});
    for (const RowAsRead* r : taken) {
      Record values = fitnessRecordOf(*r);
      const RowAsRead stored = toRows.addWithKey(r->key, checkedFitnessValues(values));
      Record asStored = fitnessRecordOf(stored);
      note.records.insert(recordIdentity(asStored), asStored);
    }
    tx.commit();
  }
  writeNote(toFolder, note);
  return {int(group->members.size()), int(taken.size())};
}

}  // namespace quillon::fieldday
