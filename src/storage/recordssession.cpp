#include "recordssession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <sqlite3.h>
#include <sys/stat.h>

#include <utility>

#include "changetrail.h"
#include "fitnessrecords.h"
#include "roworder.h"
#include "schemaupgrade.h"
#include "ssnkey.h"
#include "testgroups.h"

namespace quillon {

namespace {

// The sessions alive, by absolute path of the records: each is shared while
// anyone holds it and made anew after the last one let go.
QHash<QString, std::weak_ptr<RecordsSession>>& sessions() {
  static QHash<QString, std::weak_ptr<RecordsSession>> all;
  return all;
}

}  // namespace

std::shared_ptr<RecordsSession> RecordsSession::forDatabase(const QString& dbPath) {
  const QString conn = pg::connFilePath(QFileInfo(dbPath).absolutePath());
  if (dbPath.isEmpty() || !QFileInfo::exists(conn)) return ofFile(dbPath);
  const QString key = "server:" + QFileInfo(dbPath).absoluteFilePath();
  if (std::shared_ptr<RecordsSession> there = sessions().value(key).lock()) return there;
  // Read when the session begins, so a changed file counts from the next start.
  std::shared_ptr<RecordsSession> s(new RecordsSession());
  s->path_ = dbPath;
  s->server_ = std::make_unique<pg::Connection>(pg::readConnFile(conn));
  sessions().insert(key, s);
  return s;
}

std::shared_ptr<RecordsSession> RecordsSession::ofFile(const QString& path) {
  const QString key = path.isEmpty() ? QString() : "file:" + QFileInfo(path).absoluteFilePath();
  if (!key.isEmpty())
    if (std::shared_ptr<RecordsSession> there = sessions().value(key).lock()) return there;
  std::shared_ptr<RecordsSession> s(new RecordsSession());
  s->path_ = path;
  if (!key.isEmpty()) sessions().insert(key, s);
  return s;
}

std::shared_ptr<RecordsSession> RecordsSession::onServer(const QString& conninfo) {
  std::shared_ptr<RecordsSession> s(new RecordsSession());
  s->server_ = std::make_unique<pg::Connection>(conninfo);
  return s;
}

RecordsSession::~RecordsSession() {
  if (file_.isOpen()) sqlite3_trace_v2(file_.get(), 0, nullptr, nullptr);
}

QString RecordsSession::describe() const {
  if (server_) return "records server: " + server_->description();
  return QDir::toNativeSeparators(path_);
}

sqlite::Database& RecordsSession::file(Needs needs) {
  if (server_) throw DbError(QStringLiteral("The records are on a records server, not in a file."));
  if (!file_.isOpen()) {
    if (path_.isEmpty()) throw DbError(QStringLiteral("No database file was named."));
    // Read-write only: a records database is never created here.
    sqlite::Database db(path_, sqlite::Database::Mode::ReadWrite);
    // The windows run the same few statements over and over: a lane's value,
    // a record fetched, a soldier found.
    db.keepStatements(64);
    // The engine orders rows by the very rule a sort in memory uses.
    if (!addSortKeyFunction(db.get())) throw DbError(db.errorMessage());
    sqlite3_trace_v2(
        db.get(), SQLITE_TRACE_STMT,
        [](unsigned, void* self, void*, void* x) {
          // A trigger's statements are part of the statement that fired them,
          // and the trail's setup before a first change is the session's own.
          RecordsSession* s = static_cast<RecordsSession*>(self);
          if (!QByteArrayView(static_cast<const char*>(x)).startsWith("--") && !s->file_.makingReady())
            ++s->fileStatements_;
          return 0;
        },
        this);
    file_ = std::move(db);
    struct stat st;
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0) {
      fileDevice_ = st.st_dev;
      fileInode_ = st.st_ino;
    }
  }
  bool traced = false;
  switch (needs) {
    case Needs::ThreeEvent:
      if (threeEventReady_) break;
      // A file an older scorer made gains the fields added since, once.
      upgradeRecordsSchema(file_);
      addFitnessTable(file_);
      addDodIdColumns(file_);
      addChangeCounter(file_);
      threeEventReady_ = traced = true;
      break;
    case Needs::FiveEvent:
      if (fiveEventReady_) break;
      addFitnessTable(file_);
      addDodIdColumns(file_);
      addSsnIndexes(file_);
      addChangeCounter(file_);
      if (!hasFitnessTable(file_)) throw DbError(path_ + QStringLiteral(": this file holds no test records."));
      fiveEventReady_ = traced = true;
      break;
    case Needs::TestGroups:
      if (groupsReady_) break;
      addTestGroupTables(file_);
      addDodIdColumns(file_);
      if (!sqlite::hasTable(file_, QStringLiteral("test_groups")))
        throw DbError(path_ + QStringLiteral(": this file holds no test records."));
      groupsReady_ = true;
      break;
  }
  // After the fields are there: the triggers name every field of a table.
  if (traced) addChangeTrail(file_);
  return file_;
}

void RecordsSession::reopenIfReplaced() {
  if (!file_.isOpen()) return;
  struct stat st;
  const bool same = ::stat(QFile::encodeName(path_).constData(), &st) == 0 && quint64(st.st_dev) == fileDevice_ &&
                    quint64(st.st_ino) == fileInode_;
  if (same) return;
  sqlite3_trace_v2(file_.get(), 0, nullptr, nullptr);
  file_ = sqlite::Database();
  threeEventReady_ = fiveEventReady_ = groupsReady_ = false;
  heldFrom_ = 0;
}

pg::Connection& RecordsSession::server() {
  if (!server_) throw DbError(QStringLiteral("The records are in a file, not on a records server."));
  return *server_;
}

RecordsSession::Transaction::Transaction(RecordsSession& s, Needs needs) {
  if (s.isServer())
    server_.emplace(s.server());
  else
    file_.emplace(s.file(needs));
}

void RecordsSession::Transaction::commit() {
  if (server_) server_->commit();
  if (file_) file_->commit();
}

quint64 RecordsSession::statements() const { return server_ ? server_->statements() : fileStatements_; }

void RecordsSession::holdCacheSmall(bool held) {
  if (server_ || !file_.isOpen() || held == (heldFrom_ != 0)) return;
  if (held) {
    sqlite::Statement size(file_, QStringLiteral("PRAGMA cache_size"));
    heldFrom_ = size.step() ? size.integer(0) : 0;
    if (heldFrom_ == 0) return;
    // Negative: kilobytes. Made smaller, the engine gives back at once what
    // it held above it; the index's upper pages, met by every lookup, stay.
    file_.tryExec(QStringLiteral("PRAGMA cache_size = -512"));
  } else {
    // Also on the way out of a read that failed: it never throws.
    file_.tryExec(QStringLiteral("PRAGMA cache_size = %1").arg(std::exchange(heldFrom_, 0)));
  }
}

quint64 RecordsSession::roundTrips() const { return server_ ? server_->roundTrips() : 0; }

}  // namespace quillon
