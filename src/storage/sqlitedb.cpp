#include "sqlitedb.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QList>
#include <QScopedValueRollback>
#include <utility>
#include <QSysInfo>
#include <pwd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sqlite3.h>
#include <unistd.h>

namespace quillon::sqlite {

namespace {

// Who and where for the trail of changes a records file keeps (its triggers
// call these): the system account running the program, and the program and
// machine. Known once per process; a connection hands out the same text.
const QByteArray& systemAccount() {
  static const QByteArray name = [] {
    const passwd* pw = getpwuid(geteuid());
    if (pw && pw->pw_name) return QByteArray(pw->pw_name);
    return QByteArray::number(geteuid());
  }();
  return name;
}

const QByteArray& programAndMachine() {
  static const QByteArray name = [] {
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty()) program = QStringLiteral("quillon");
    return (program + '@' + QSysInfo::machineHostName()).toUtf8();
  }();
  return name;
}

void answerWith(sqlite3_context* ctx, int, sqlite3_value**) {
  const QByteArray& v = *static_cast<const QByteArray*>(sqlite3_user_data(ctx));
  sqlite3_result_text(ctx, v.constData(), int(v.size()), SQLITE_STATIC);
}

// Innocuous: the triggers of a file call them, which a file whose schema is
// not trusted allows only for functions without side effects.
void registerTrailFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
  sqlite3_create_function_v2(db, "quillon_who", 0, flags, const_cast<QByteArray*>(&systemAccount()), answerWith,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "quillon_where", 0, flags, const_cast<QByteArray*>(&programAndMachine()),
                             answerWith, nullptr, nullptr, nullptr);
}

}  // namespace

// Statements done with, by their text, the one used longest ago first.
// The one given back last waits apart: a caller running one statement again
// and again (a lane's store) passes the very same text each time and gets
// it back without its text being hashed or compared.
struct Database::Kept {
  int room = 0;
  bool open = true;
  QHash<QString, sqlite3_stmt*> idle;
  QList<QString> order;
  QString lastSql;
  sqlite3_stmt* last = nullptr;

  sqlite3_stmt* take(const QString& sql) {
    if (last && ((sql.constData() == lastSql.constData() && sql.size() == lastSql.size()) || sql == lastSql))
      return std::exchange(last, nullptr);
    sqlite3_stmt* s = idle.take(sql);
    if (s) order.removeOne(sql);
    return s;
  }
  void giveBack(const QString& sql, sqlite3_stmt* s) {
    // Reset, a statement holds no read of the file, and unbound, no value
    // of the last caller's.
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    if (!open || room <= 0) {
      sqlite3_finalize(s);
      return;
    }
    if (last) keep(std::move(lastSql), std::exchange(last, nullptr));
    lastSql = sql;
    last = s;
  }
  void keep(const QString& sql, sqlite3_stmt* s) {
    if (idle.contains(sql)) {
      sqlite3_finalize(s);
      return;
    }
    idle.insert(sql, s);
    order.append(sql);
    while (order.size() > room) sqlite3_finalize(idle.take(order.takeFirst()));
  }
  void drop() {
    open = false;
    sqlite3_finalize(std::exchange(last, nullptr));
    lastSql.clear();
    for (sqlite3_stmt* s : std::as_const(idle)) sqlite3_finalize(s);
    idle.clear();
    order.clear();
  }
};

// What must be made before the connection first changes some tables, and
// whether it is made.
struct Database::Watch {
  sqlite3* db = nullptr;
  QList<QByteArray> tables;
  std::function<void(Database&)> ready;
  bool made = false;
  // Made inside a transaction that has not been seen to end: a rollback
  // takes what was made with it.
  bool madeInTransaction = false;
  // The latest statement compiled was held back for want of `ready`.
  bool refused = false;
  bool making = false;
};

namespace {

// The engine gives a statement that sets rows aside (those a store returns,
// the fields a change leaves in the trail) a page cache of its own, taken
// from the heap as it starts and freed as it ends. glibc hands the freed top
// of the heap back to the system past 128 KiB and the next statement takes
// it again, every page faulted in anew: about a fifth of a millisecond of
// each lane entry. The heap keeps what it freed up to 8 MiB; and since
// fixing that turns off glibc's own raising of the size it maps apart,
// blocks under 4 MiB (a window's backing store, a group's rows) stay on the
// heap as they would after the first was freed.
bool keepFreedHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
#endif
  return true;
}

}  // namespace

Database::Database(const QString& path, Mode mode, int busyMs) {
  [[maybe_unused]] static const bool heapKept = keepFreedHeap();
  const QByteArray native = QFile::encodeName(path);
  sqlite3* db = nullptr;
  // A connection is only ever used by the thread that opened it, so it needs
  // none of the engine's locking around each call.
  const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(native.constData(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    throw DbError(rc & 0xff, msg);
  }
  sqlite3_busy_timeout(db, busyMs);
  sqlite3_extended_result_codes(db, 1);
  registerTrailFunctions(db);
  // A change is committed when its journal is deleted; unless the folder is
  // flushed after that, a power cut can bring the journal back and undo a
  // change the clerk was told was stored.
  if (mode != Mode::ReadOnly) sqlite3_exec(db, "PRAGMA synchronous=EXTRA", nullptr, nullptr, nullptr);
  db_ = db;
}

// A statement still alive would make a plain close fail and leave the file
// open for good; the v2 form closes once the last statement is finalized.
Database::~Database() {
  dropKept();
  sqlite3_close_v2(db_);
}

Database& Database::operator=(Database&& o) noexcept {
  if (this != &o) {
    dropKept();
    sqlite3_close_v2(db_);
    db_ = o.db_;
    kept_ = std::move(o.kept_);
    watch_ = std::move(o.watch_);
    o.db_ = nullptr;
  }
  return *this;
}

void Database::beforeFirstChangeTo(const QStringList& tables, std::function<void(Database&)> ready) {
  if (!watch_) watch_ = std::make_shared<Watch>();
  watch_->db = db_;
  watch_->tables.clear();
  for (const QString& t : tables) watch_->tables << t.toUtf8();
  watch_->ready = std::move(ready);
  // Asked for each thing a statement does as it is compiled (a trigger's
  // statements too), never as it runs: a statement compiled once and kept
  // costs nothing more.
  sqlite3_set_authorizer(
      db_,
      [](void* p, int action, const char* table, const char*, const char*, const char*) {
        Watch& w = *static_cast<Watch*>(p);
        if (w.madeInTransaction && sqlite3_get_autocommit(w.db)) w.madeInTransaction = false;
        if (action != SQLITE_INSERT && action != SQLITE_UPDATE && action != SQLITE_DELETE) return SQLITE_OK;
        if (w.made || w.making || !table) return SQLITE_OK;
        for (const QByteArray& t : std::as_const(w.tables))
          if (sqlite3_stricmp(t.constData(), table) == 0) {
            w.refused = true;
            return SQLITE_DENY;
          }
        return SQLITE_OK;
      },
      watch_.get());
  sqlite3_rollback_hook(
      db_,
      [](void* p) {
        Watch& w = *static_cast<Watch*>(p);
        if (!w.madeInTransaction) return;
        w.made = w.madeInTransaction = false;
      },
      watch_.get());
}

bool Database::readyForChanges() const { return watch_ && watch_->made; }
bool Database::makingReady() const { return watch_ && watch_->making; }

bool Database::readyAfterRefusal() const {
  if (!watch_ || !std::exchange(watch_->refused, false)) return false;
  if ((sqlite3_errcode(db_) & 0xff) != SQLITE_AUTH) return false;
  {
    QScopedValueRollback<bool> making(watch_->making, true);
    watch_->ready(const_cast<Database&>(*this));
  }
  watch_->made = true;
  watch_->madeInTransaction = sqlite3_get_autocommit(db_) == 0;
  return true;
}

int Database::prepare(const char* sql, int bytes, sqlite3_stmt** s, const char** tail) const {
  int rc = sqlite3_prepare_v2(db_, sql, bytes, s, tail);
  if (rc != SQLITE_OK && readyAfterRefusal()) {
    sqlite3_finalize(*s);
    *s = nullptr;
    rc = sqlite3_prepare_v2(db_, sql, bytes, s, tail);
  }
  if (rc != SQLITE_OK) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  return rc;
}

void Database::keepStatements(int count) {
  if (!kept_) kept_ = std::make_shared<Kept>();
  kept_->room = count;
}

void Database::dropKept() {
  if (kept_) kept_->drop();
  kept_.reset();
}

QString Database::errorMessage() const {
  return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("The records database is not open.");
}

int Database::errorCode() const { return db_ ? sqlite3_errcode(db_) & 0xff : SQLITE_MISUSE; }

void Database::fail(const QString& what) const {
  QString msg = errorMessage();
  if (!what.isEmpty()) msg = what + ": " + msg;
  if (!db_) throw DbError(msg);
  throw DbError(errorCode(), msg);
}

bool Database::tryExec(const QString& sql) {
  const QByteArray utf8 = sql.toUtf8();
  if (!watch_) return sqlite3_exec(db_, utf8.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
  // One statement at a time: one held back is compiled again alone, and
  // the ones before it do not run twice.
  const char* at = utf8.constData();
  const char* const end = at + utf8.size();
  try {
    while (at < end) {
      sqlite3_stmt* s = nullptr;
      const char* tail = end;
      if (prepare(at, int(end - at), &s, &tail) != SQLITE_OK) return false;
      at = tail;
      if (!s) continue;  // only blanks or a comment
      Statement st(this, s);
      Statement::Step step;
      while ((step = st.tryStep()) == Statement::Step::Row) {
      }
      if (step == Statement::Step::Failed) return false;
    }
  } catch (const DbError&) {
    return false;
  }
  return true;
}

void Database::exec(const QString& sql) {
  if (!tryExec(sql)) fail();
}

qint64 Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }
int Database::changes() const { return sqlite3_changes(db_); }

Statement Statement::tryPrepare(const Database& db, const QString& sql) {
  const QByteArray utf8 = sql.toUtf8();
  sqlite3_stmt* s = nullptr;
  try {
    db.prepare(utf8.constData(), static_cast<int>(utf8.size()), &s, nullptr);
  } catch (const DbError&) {
    s = nullptr;
  }
  return Statement(&db, s);
}

Statement::Statement(const Database& db, const QString& sql) : db_(&db) {
  if (db.kept_) {
    home_ = db.kept_;
    sql_ = sql;
    s_ = home_->take(sql);
    if (s_) return;
  }
  const QByteArray utf8 = sql.toUtf8();
  if (db.prepare(utf8.constData(), static_cast<int>(utf8.size()), &s_, nullptr) != SQLITE_OK || !s_) db.fail();
}

Statement::~Statement() {
  if (s_ && home_) home_->giveBack(sql_, s_);
  else sqlite3_finalize(s_);
}

sqlite3_stmt* Statement::release() { return std::exchange(s_, nullptr); }

void Statement::bindText(int i, const QString& v, bool exact) {
  if (exact && v.isNull()) {
    sqlite3_bind_null(s_, i);
    return;
  }
  // Most values are a few ASCII characters (figures, dates, codes, keys):
  // copied through the stack rather than converted into the heap.
  if (const qsizetype n = v.size(); n <= 64) {
    char ascii[64];
    const QChar* u = v.constData();
    qsizetype k = 0;
    for (; k < n && u[k].unicode() < 0x80; ++k) ascii[k] = static_cast<char>(u[k].unicode());
    if (k == n) {
      sqlite3_bind_text(s_, i, ascii, static_cast<int>(n), SQLITE_TRANSIENT);
      return;
    }
  }
  const QByteArray u = v.toUtf8();
  sqlite3_bind_text(s_, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

void Statement::bindInt(int i, qint64 v) { sqlite3_bind_int64(s_, i, v); }
void Statement::bindDouble(int i, double v) { sqlite3_bind_double(s_, i, v); }
void Statement::bindNull(int i) { sqlite3_bind_null(s_, i); }

void Statement::bindBlob(int i, const QByteArray& v) {
  sqlite3_bind_blob64(s_, i, v.constData(), static_cast<sqlite3_uint64>(v.size()), SQLITE_TRANSIENT);
}

void Statement::bindTextBytes(int i, const QByteArray& v, Encoding encoding) {
  const unsigned char e = encoding == Encoding::Utf16le   ? SQLITE_UTF16LE
                          : encoding == Encoding::Utf16be ? SQLITE_UTF16BE
                                                          : SQLITE_UTF8;
  sqlite3_bind_text64(s_, i, v.constData(), static_cast<sqlite3_uint64>(v.size()), SQLITE_TRANSIENT, e);
}

void Statement::bindColumn(int i, const Statement& from, int col) {
  sqlite3_bind_value(s_, i, sqlite3_column_value(from.s_, col));
}

Statement::Step Statement::tryStep() {
  int rc = sqlite3_step(s_);
  // A statement compiled again as it starts (the connection's schema
  // changed since) can be held back too.
  if ((rc & 0xff) == SQLITE_AUTH) try {
      if (db_->readyAfterRefusal()) {
        sqlite3_reset(s_);
        rc = sqlite3_step(s_);
      }
    } catch (const DbError&) {
      return Step::Failed;
    }
  return rc == SQLITE_ROW ? Step::Row : rc == SQLITE_DONE ? Step::Done : Step::Failed;
}

bool Statement::step() {
  switch (tryStep()) {
    case Step::Row: return true;
    case Step::Done: return false;
    case Step::Failed: break;
  }
  db_->fail();
}

void Statement::reset() { sqlite3_reset(s_); }

int Statement::columnCount() const { return sqlite3_column_count(s_); }
QString Statement::columnName(int col) const { return QString::fromUtf8(sqlite3_column_name(s_, col)); }
const char* Statement::raw(int col) const { return reinterpret_cast<const char*>(sqlite3_column_text(s_, col)); }
int Statement::bytes(int col) const { return sqlite3_column_bytes(s_, col); }
qint64 Statement::integer(int col) const { return sqlite3_column_int64(s_, col); }

QString Statement::text(int col) const {
  const char* t = raw(col);
  return t ? QString::fromUtf8(t, bytes(col)) : QString();
}

namespace {

// Whether `before` holds the `n` bytes of `t`, read only as far as they are
// ASCII: anything else is made again rather than decoded to compare.
bool holdsAscii(const QString& before, const char* t, int n) {
  if (before.isNull() || before.size() != n) return false;
  const QChar* u = before.constData();
  int i = 0;
  while (i < n && uchar(t[i]) < 0x80 && u[i].unicode() == uchar(t[i])) ++i;
  return i == n;
}

}  // namespace

QString Statement::textSharing(int col, const QString* before) const {
  const char* t = raw(col);
  if (!t) return QString();
  const int n = bytes(col);
  if (before && holdsAscii(*before, t, n)) return *before;
  return QString::fromUtf8(t, n);
}

// Each field through its value: one look at the row, where each column_*
// call would look again. The connection is never shared between threads.
// Inlined into both walks: it runs for every field of every row read.
Q_ALWAYS_INLINE void Statement::readOneSharing(int c, QString& out, const QStringList& before,
                                               std::optional<qint64>& number) const {
  sqlite3_value* v = sqlite3_column_value(s_, c);
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER) {
    const qint64 n = sqlite3_value_int64(v);
    if (number == n && c < before.size()) {
      out = before.at(c);
    } else {
      number = n;
      out = QString::number(n);
    }
    return;
  }
  number.reset();
  const char* t = type == SQLITE_NULL ? nullptr : reinterpret_cast<const char*>(sqlite3_value_text(v));
  if (!t) {
    out = QString();
    return;
  }
  const int n = sqlite3_value_bytes(v);
  out = c < before.size() && holdsAscii(before.at(c), t, n) ? before.at(c) : QString::fromUtf8(t, n);
}

void Statement::readSharing(QString* out, int columns, const QStringList& before,
                            std::vector<std::optional<qint64>>& numbers) const {
  numbers.resize(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) readOneSharing(c, out[c], before, numbers[static_cast<size_t>(c)]);
}

void Statement::readSharing(QString* out, const QList<int>& only, const QStringList& before,
                            std::vector<std::optional<qint64>>& numbers) const {
  for (const int c : only) {
    if (numbers.size() <= size_t(c)) numbers.resize(size_t(c) + 1);
    readOneSharing(c, out[c], before, numbers[static_cast<size_t>(c)]);
  }
}

Transaction::Transaction(Database& db) : db_(&db) {
  db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (db_) db_->tryExec(QStringLiteral("ROLLBACK"));
}

void Transaction::commit() {
  db_->exec("COMMIT");
  db_ = nullptr;
}

QString quoted(const QString& name) {
  QString n = name;
  n.replace('"', QStringLiteral("\"\""));
  return '"' + n + '"';
}

bool hasTable(const Database& db, const QString& name) {
  Statement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=? COLLATE NOCASE"));
  st.bindText(1, name);
  return st.step();
}

bool hasColumn(const Database& db, const QString& table, const QString& column) {
  return sqlite3_table_column_metadata(db.get(), nullptr, table.toUtf8().constData(), column.toUtf8().constData(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace quillon::sqlite
