#include "pgconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QSysInfo>
#include <libpq-fe.h>

namespace quillon::pg {

namespace {

// The parsed options of a connection string; freed on every path.
class ConnOptions {
 public:
  explicit ConnOptions(const QString& conninfo) {
    char* err = nullptr;
    opts_ = PQconninfoParse(conninfo.toUtf8().constData(), &err);
    if (err) {
      error_ = QString::fromUtf8(err).trimmed();
      PQfreemem(err);
    }
  }
  ~ConnOptions() { PQconninfoFree(opts_); }
  ConnOptions(const ConnOptions&) = delete;
  ConnOptions& operator=(const ConnOptions&) = delete;

  bool ok() const { return opts_ != nullptr; }
  const QString& error() const { return error_; }
  QString value(const char* keyword) const {
    for (PQconninfoOption* o = opts_; o && o->keyword; ++o)
      if (qstrcmp(o->keyword, keyword) == 0 && o->val) return QString::fromUtf8(o->val);
    return QString();
  }

 private:
  PQconninfoOption* opts_ = nullptr;
  QString error_;
};

QString defaultOf(const char* keyword) {
  PQconninfoOption* defs = PQconndefaults();
  QString v;
  for (PQconninfoOption* o = defs; o && o->keyword; ++o)
    if (qstrcmp(o->keyword, keyword) == 0 && o->val) v = QString::fromUtf8(o->val);
  PQconninfoFree(defs);
  return v;
}

QString describe(QString host, const QString& port, const QString& db, const QString& user) {
  QString where;
  if (host.isEmpty() || host.startsWith('/'))
    where = host.isEmpty() ? QStringLiteral("the local server") : "the local server (socket in " + host + ")";
  else
    where = port.isEmpty() ? host : host + ':' + port;
  QString s = "database " + (db.isEmpty() ? QStringLiteral("(default)") : db) + " on " + where;
  if (!user.isEmpty()) s += " as " + user;
  return s;
}

// A host reached without crossing a network: a socket folder, or the
// machine's own loopback. Anything else may be another machine.
bool isLocalHost(const QString& h) {
  return h.isEmpty() || h.startsWith('/') || h.startsWith('@') || h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
         h.startsWith(QLatin1String("127.")) || h == QLatin1String("::1");
}

bool allLocal(const QString& list) {
  for (const QString& h : list.split(','))
    if (!isLocalHost(h.trimmed())) return false;
  return true;
}

QString weakSslMessage(const QString& origin, const QString& host, const QString& mode) {
  return origin + " names the records server " + host + ", another machine, with sslmode=" + mode +
         ": the records would cross the network without the server's certificate being checked, so anyone "
         "on the way could read them or pose as the server. Write sslmode=verify-full instead (or leave "
         "sslmode out), and give each station the certificate of the authority that signed the server's in "
         "~/.postgresql/root.crt (or name it with sslrootcert=...), or reach the server through its local socket.";
}

QString connMessage(pg_conn* c) {
  QString m = QString::fromUtf8(PQerrorMessage(c)).trimmed();
  return m.isEmpty() ? QStringLiteral("no further detail") : m;
}

}  // namespace

QString stationName() {
  QString program = QCoreApplication::applicationName();
  if (program.isEmpty()) program = QStringLiteral("quillon");
  return program + '@' + QSysInfo::machineHostName();
}

QString connFilePath(const QString& folder) { return QDir(folder).filePath(connFileName()); }

void checkConnInfo(const QString& conninfo, const QString& origin) {
  const ConnOptions opts(conninfo);
  if (!opts.ok())
    throw PgError(PgError::Kind::Refused, origin + ": not a PostgreSQL connection string (" + opts.error() + ")");
  if (!opts.value("password").isEmpty())
    throw PgError(PgError::Kind::Refused,
                  origin + " holds a password. Remove it and put it in ~/.pgpass (readable by you only) instead.");
}

ServerPlace serverPlace(const QString& conninfo) {
  const ConnOptions opts(conninfo);
  ServerPlace p;
  if (!opts.ok()) return p;
  // Where libpq would look: the string first, then the environment. A
  // service entry may name its own host: that one is checked once connected.
  QString host = opts.value("host");
  QString addr = opts.value("hostaddr");
  if (host.isEmpty() && addr.isEmpty()) {
    host = qEnvironmentVariable("PGHOST");
    addr = qEnvironmentVariable("PGHOSTADDR");
  }
  p.remote = !allLocal(host) || !allLocal(addr);
  p.host = host.isEmpty() ? addr : host;
  p.sslMode = opts.value("sslmode");
  if (p.sslMode.isEmpty()) p.sslMode = qEnvironmentVariable("PGSSLMODE");
  return p;
}

QString readConnFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
    throw PgError(PgError::Kind::Refused, path + ": " + f.errorString());
  QStringList parts;
  for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
    const QString t = line.trimmed();
    if (!t.isEmpty() && !t.startsWith('#')) parts << t;
  }
  const QString conninfo = parts.join(' ');
  if (conninfo.isEmpty()) throw PgError(PgError::Kind::Refused, path + ": holds no connection string");
  try {
    checkConnInfo(conninfo, path);
  } catch (const PgError& e) {
    const bool othersRead =
        QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (othersRead && e.message().contains(QLatin1String("password")))
      throw PgError(e.kind(), e.message() + " Other users can read this file: change that password too.");
    throw;
  }
  return conninfo;
}

QString describeConnInfo(const QString& conninfo) {
  const ConnOptions opts(conninfo);
  auto pick = [&](const char* k) {
    const QString v = opts.ok() ? opts.value(k) : QString();
    return v.isEmpty() ? defaultOf(k) : v;
  };
  QString d = describe(pick("host"), pick("port"), pick("dbname"), pick("user"));
  const QString service = opts.ok() ? opts.value("service") : QString();
  if (!service.isEmpty()) d += " (service " + service + ")";
  return d;
}

Result::~Result() { PQclear(r_); }

Result& Result::operator=(Result&& o) noexcept {
  if (this != &o) {
    PQclear(r_);
    r_ = o.r_;
    o.r_ = nullptr;
  }
  return *this;
}

int Result::rows() const { return PQntuples(r_); }
int Result::columns() const { return PQnfields(r_); }
bool Result::isNull(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
const char* Result::raw(int row, int col) const { return PQgetvalue(r_, row, col); }
int Result::length(int row, int col) const { return PQgetlength(r_, row, col); }
QString Result::value(int row, int col) const {
  return QString::fromUtf8(PQgetvalue(r_, row, col), PQgetlength(r_, row, col));
}
qint64 Result::integer(int row, int col) const { return QByteArrayView(PQgetvalue(r_, row, col)).toLongLong(); }
QByteArray Result::command() const { return r_ ? QByteArray(PQcmdStatus(r_)) : QByteArray(); }

Connection::Connection(const QString& conninfo) : conninfo_(conninfo) {}

Connection::~Connection() { close(); }

void Connection::close() {
  PQfinish(conn_);
  conn_ = nullptr;
}

bool Connection::isOpen() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

QString Connection::description() const {
  if (!conn_) return describeConnInfo(conninfo_);
  return describe(QString::fromUtf8(PQhost(conn_)), QString::fromUtf8(PQport(conn_)),
                  QString::fromUtf8(PQdb(conn_)), QString::fromUtf8(PQuser(conn_)));
}

void Connection::open() {
  if (isOpen()) return;
  if (conn_) {
    PQreset(conn_);
  } else {
    checkConnInfo(conninfo_, QStringLiteral("The connection string"));
    // The defaults come first so that the connection string overrides them:
    // a server that does not answer is reported within seconds, not after
    // the system's TCP timeout. The program and machine name the station in
    // the server's trail of changes. Another machine is reached encrypted,
    // its certificate checked against the name the string gives it.
    const ServerPlace place = serverPlace(conninfo_);
    if (place.remote && !place.sslMode.isEmpty() && place.sslMode != QLatin1String("verify-full"))
      throw PgError(PgError::Kind::Refused,
                    weakSslMessage(QStringLiteral("The connection string"), place.host, place.sslMode));
    const QByteArray info = conninfo_.toUtf8();
    const QByteArray station = stationName().toUtf8();
    std::vector<const char*> keys = {"connect_timeout", "application_name"};
    std::vector<const char*> vals = {"10", station.constData()};
    if (place.remote && place.sslMode.isEmpty()) {
      keys.push_back("sslmode");
      vals.push_back("verify-full");
    }
    keys.insert(keys.end(), {"dbname", nullptr});
    vals.insert(vals.end(), {info.constData(), nullptr});
    conn_ = PQconnectdbParams(keys.data(), vals.data(), 1);
  }
  if (!conn_) throw PgError(PgError::Kind::Unreachable, "Out of memory while connecting to the records server.");
  if (PQstatus(conn_) != CONNECTION_OK) {
    const QString msg = "Cannot reach the records server: " + description() + ".\n" + connMessage(conn_);
    close();
    throw PgError(PgError::Kind::Unreachable, msg);
  }
  // A service entry or a reconnect may have led elsewhere than the string
  // alone said: what counts is the server reached and how.
  const QString host = QString::fromUtf8(PQhost(conn_));
  if (!isLocalHost(host)) {
    QString mode;
    PQconninfoOption* used = PQconninfo(conn_);
    for (PQconninfoOption* o = used; o && o->keyword; ++o)
      if (qstrcmp(o->keyword, "sslmode") == 0 && o->val) mode = QString::fromUtf8(o->val);
    PQconninfoFree(used);
    if (mode != QLatin1String("verify-full")) {
      close();
      throw PgError(PgError::Kind::Refused, weakSslMessage(QStringLiteral("The connection string"), host, mode));
    }
  }
  // A new session: nothing is prepared in it yet.
  ++session_;
  prepared_.clear();
  // Every field is exchanged as UTF-8 text whatever the server's locale.
  PQsetClientEncoding(conn_, "UTF8");
  // The server's notices ("skipping", "cascades to") are not the clerk's
  // business, and there is no console to print them on.
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

namespace {

// Parameters as libpq takes them, pointing into `params`.
struct WireParams {
  explicit WireParams(const std::vector<Param>& params) {
    values.reserve(params.size());
    lengths.reserve(params.size());
    for (const Param& p : params) {
      values.push_back(p ? p->constData() : nullptr);
      lengths.push_back(p ? static_cast<int>(p->size()) : 0);
    }
  }
  int count() const { return static_cast<int>(values.size()); }
  std::vector<const char*> values;
  std::vector<int> lengths;
};

}  // namespace

Result Connection::answer(pg_result* raw) {
  Result r(raw);
  const ExecStatusType st = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return r;
  fail(raw);
}

Result Connection::exec(const char* sql, const std::vector<Param>& params) {
  open();
  const WireParams w(params);
  ++statements_;
  ++roundTrips_;
  return answer(PQexecParams(conn_, sql, w.count(), nullptr, w.values.data(), w.lengths.data(), nullptr, 0));
}

Result Connection::execPrepared(const QByteArray& sql, const std::vector<Param>& params) {
  open();
  const WireParams w(params);
  ++statements_;
  ++roundTrips_;
  if (const auto it = prepared_.constFind(sql); it != prepared_.constEnd())
    return answer(PQexecPrepared(conn_, it->constData(), w.count(), w.values.data(), w.lengths.data(), nullptr, 0));
  // The first use sends the statement to be prepared and run at once, as a
  // pipeline: the station waits for the server once.
  const QByteArray name = "quillon_" + QByteArray::number(prepared_.size() + 1);
  if (!PQenterPipelineMode(conn_)) fail(nullptr);
  if (!PQsendPrepare(conn_, name.constData(), sql.constData(), w.count(), nullptr) ||
      !PQsendQueryPrepared(conn_, name.constData(), w.count(), w.values.data(), w.lengths.data(), nullptr, 0) ||
      !PQpipelineSync(conn_)) {
    // Nothing was sent that the server will answer (the connection broke).
    PQexitPipelineMode(conn_);
    fail(nullptr);
  }
  // The answers come in order, each of the first two followed by a null:
  // the preparation's, the statement's, then the end of the pipeline. A
  // statement after a refused preparation is answered as skipped.
  const auto next = [this]() -> pg_result* {
    pg_result* r = PQgetResult(conn_);
    if (r && PQresultStatus(r) != PGRES_PIPELINE_SYNC) PQgetResult(conn_);  // the null after it
    return r;
  };
  Result preparing(next());
  pg_result* ran = next();
  Result end(next());
  const bool closed = PQexitPipelineMode(conn_) == 1;
  const bool preparedHere = preparing.get() && PQresultStatus(preparing.get()) == PGRES_COMMAND_OK;
  if (preparedHere) prepared_.insert(sql, name);
  if (!closed || !end.get() || PQresultStatus(end.get()) != PGRES_PIPELINE_SYNC) {
    // The connection broke between the messages.
    PQclear(ran);
    fail(nullptr);
  }
  if (!preparedHere) {
    PQclear(ran);
    fail(preparing.get());
  }
  return answer(ran);
}

void Connection::runScript(const QByteArray& sql) {
  open();
  ++statements_;
  ++roundTrips_;
  answer(PQexec(conn_, sql.constData()));
}

void Connection::fail(pg_result* raw) {
  if (PQstatus(conn_) != CONNECTION_OK)
    throw PgError(PgError::Kind::Lost, "The connection to the records server was lost (" + description() +
                                           "); it will be made again on the next try.\n" + connMessage(conn_));
  const QString state = raw ? QString::fromUtf8(PQresultErrorField(raw, PG_DIAG_SQLSTATE)) : QString();
  const QString msg = raw ? QString::fromUtf8(PQresultErrorMessage(raw)).trimmed() : connMessage(conn_);
  throw PgError(PgError::Kind::Server, msg, state);
}

Transaction::Transaction(Connection& c) : c_(&c) {
  c.exec("BEGIN");
  session_ = c.session();
}

Transaction::~Transaction() {
  if (!c_ || !c_->isOpen() || c_->session() != session_) return;
  try {
    c_->exec("ROLLBACK");
  } catch (const PgError&) {
    // Nothing to report from a scope being left: the server rolls back a
    // transaction whose session ends, and the next call meets the cause.
  }
}

void Transaction::commit() {
  Connection* c = c_;
  c_ = nullptr;
  if (c->session() != session_)
    throw PgError(PgError::Kind::Lost, "The connection to the records server was lost during a change (" +
                                           c->description() + "); the change was not stored.");
  // The server answers COMMIT to a transaction a failed statement aborted
  // with ROLLBACK, and no error: that is a change not stored all the same.
  const Result r = c->exec("COMMIT");
  if (r.command() != "COMMIT")
    throw PgError(PgError::Kind::Server, "The records server rolled the change back (" + c->description() +
                                             ") after a statement of it failed; nothing of it was stored.");
}

}  // namespace quillon::pg
