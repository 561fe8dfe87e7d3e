#include "recordbackend.h"

#include <QDir>
#include <QFileInfo>

#include "clashrule.h"
#include "infofields.h"
#include "pgbackend.h"
#include "pgconnection.h"
#include "sqlitebackend.h"

namespace quillon {

ConflictError::ConflictError(StoreConflict c) : DbError([&] {
  QStringList fields;
  for (const FieldClash& f : c.clashes) fields << f.field;
  return QStringLiteral("Another station changed this record since it was read (%1); nothing was stored.")
      .arg(fields.join(QStringLiteral(", ")));
}()), c_(std::move(c)) {}

RecordBackend::~RecordBackend() = default;

std::unique_ptr<RecordBackend> RecordBackend::forDatabase(const QString& dbPath) {
  const QString folder = QFileInfo(dbPath).absolutePath();
  const QString conn = pg::connFilePath(folder);
  if (QFileInfo::exists(conn)) return PgBackend::forFolder(dbPath);
  return std::make_unique<SqliteBackend>(dbPath);
}

int RecordBackend::column(const QString& name) const {
  for (int i = 0; i < columns_.size(); ++i)
    if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

QList<FieldClash> clashesOf(const QStringList& names, const QStringList& asRead, const QStringList& now,
                            const QHash<int, QString>& changes) {
  // A three-event row answers for every field of the row as read.
  Change change;
  change.fields.reserve(names.size());
  for (int c = 0; c < names.size(); ++c) {
    if (changes.contains(c)) change.write(names.at(c), asRead.value(c), changes.value(c));
    else change.rest(names.at(c), asRead.value(c));
  }
  return clashesOf(change, [&](const QString& name) { return now.value(names.indexOf(name)); });
}

FieldValues::FieldValues(const Record& r) {
  fields_.reserve(r.size());
  for (auto it = r.cbegin(); it != r.cend(); ++it) fields_.append({it.key(), it.value()});
}

void FieldValues::insert(const QString& name, const QString& value) {
  for (Field& f : fields_)
    if (f.name == name) {
      f.value = value;
      return;
    }
  fields_.append({name, value});
}

const FieldValues::Field* FieldValues::find(const QString& name, Qt::CaseSensitivity cs) const {
  for (const Field& f : fields_)
    if (f.name.compare(name, cs) == 0) return &f;
  return nullptr;
}

QString FieldValues::value(const QString& name) const {
  const Field* f = find(name);
  return f ? f->value : QString();
}

Record FieldValues::toRecord() const {
  Record r;
  r.reserve(fields_.size());
  for (const Field& f : fields_) r.insert(f.name, f.value);
  return r;
}

QString deletedMessage(const QString& id) { return QStringLiteral("The record has been deleted: ID ") + id; }

QList<int> infoFieldPlaces(const QStringList& fields) {
  QList<int> places;
  for (const QString& f : fields) {
    const int at = infoFieldIndex(f);
    if (at < 0) throw DbError(QStringLiteral("No field '%1' in the records.").arg(f));
    places << at;
  }
  return places;
}

// Every field read and the ones asked kept: a backend that can read fewer
// does so itself.
void RecordBackend::forEachRowOf(const QStringList& fields, const std::function<bool(const QStringList&)>& row) {
  const QList<int> places = infoFieldPlaces(fields);
  QStringList kept;
  forEachRow({}, [&](const QStringList& all) {
    kept.clear();
    for (int at : places) kept << all.value(at);
    return row(kept);
  });
}

std::optional<QList<BatchChange>> RecordBackend::applyBatch(const QList<BatchOp>&, const BatchProgress&) {
  throw DbError(QStringLiteral("Records on a records server cannot be imported together yet."));
}

}  // namespace quillon
