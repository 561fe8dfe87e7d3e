#include "powercut.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <sqlite3.h>

#include "leftovers.h"

namespace quillon::powercut {

namespace {

QStringList column(sqlite3* db, const char* sql, bool* ok) {
  QStringList out;
  sqlite3_stmt* st = nullptr;
  *ok = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK;
  int rc = SQLITE_DONE;
  while (*ok && (rc = sqlite3_step(st)) == SQLITE_ROW)
    out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  if (rc != SQLITE_DONE) *ok = false;
  sqlite3_finalize(st);
  return out;
}

QByteArray bytesAt(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString describeOp(const QList<LogOp>& ops, int cut) {
  if (cut >= ops.size()) return QStringLiteral("after the last operation");
  static const char* const names[] = {"create", "write", "trunc", "sync", "dirsync", "rename",
                                      "unlink", "link",  "symlink", "mkdir", "mark"};
  const LogOp& op = ops[cut];
  return QStringLiteral("before operation %1 (%2 %3%4)")
      .arg(cut)
      .arg(QLatin1String(names[op.kind]), op.path, op.path2.isEmpty() ? QString() : " -> " + op.path2);
}

// What is wrong with the folder `dir` a cut left, or nothing.
QString problemIn(const QString& dir, const Expectation& e, const QSet<qint64>& required, bool dbRequired,
                  const Recording& run) {
  const QString db = QDir(dir).filePath(e.db);
  const QStringList left = QFileInfo(db).dir().exists() ? settleLeftovers(db) : QStringList();
  const bool untouched = e.damagedBefore && run.before.names.contains(e.db) &&
                         bytesAt(db) == run.before.content.value(run.before.names[e.db].ino);
  // Beside a damaged database nothing is thrown away on its word: the clerk
  // is told, and Repair runs again.
  if (!left.isEmpty() && !untouched) return QStringLiteral("leftovers not settled: ") + left.join(QStringLiteral("; "));
  if (!QFileInfo::exists(db)) {
    if (dbRequired) return e.db + QStringLiteral(" is missing");
  } else if (!untouched) {
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(h);
      return e.db + QStringLiteral(" does not open");
    }
    bool ok = false;
    const QStringList check = column(h, "PRAGMA integrity_check", &ok);
    if (!ok || check != QStringList{QStringLiteral("ok")}) {
      sqlite3_close(h);
      return e.db + QStringLiteral(" fails its integrity check: ") + check.join(' ');
    }
    const QStringList ids = column(h, "SELECT ID FROM info", &ok);
    sqlite3_close(h);
    // The launcher takes any file under that name for the records: one
    // without its table would be kept and never open.
    if (!ok) return e.db + QStringLiteral(" has no table info");
    QSet<qint64> have;
    for (const QString& id : ids) have.insert(id.toLongLong());
    for (qint64 id : required)
      if (!have.contains(id)) return e.db + QStringLiteral(" lost the committed record %1").arg(id);
  }
  const QString backup = QDir(QFileInfo(db).path()).filePath(QFileInfo(e.backup).fileName());
  if (!e.backup.isEmpty() && QFileInfo::exists(backup)) {
    const QByteArray b = bytesAt(backup);
    const Entry oldDb = run.before.names.value(e.db), oldBackup = run.before.names.value(e.backup);
    const bool fine = (run.before.names.contains(e.db) && b == run.before.content.value(oldDb.ino)) ||
                      (run.before.names.contains(e.backup) && b == run.before.content.value(oldBackup.ino));
    if (!fine) return e.backup + QStringLiteral(" is neither the previous backup nor the database as it was");
  }
  for (const QString& w : e.written) {
    const QString path = QDir(dir).filePath(w);
    if (!QFileInfo::exists(path)) continue;
    const QByteArray b = bytesAt(path);
    const bool previous = run.before.names.contains(w) && b == run.before.content.value(run.before.names[w].ino);
    const bool whole = run.after.names.contains(w) && b == run.after.content.value(run.after.names[w].ino);
    if (!previous && !whole) return w + QStringLiteral(" is there but neither as it was nor whole");
  }
  return QString();
}

}  // namespace

QString shimPath() { return QStringLiteral(QUILLON_PC_SHIM); }

QSet<qint64> recordIds(const QString& path) {
  QSet<qint64> out;
  sqlite3* h = nullptr;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    bool ok = false;
    for (const QString& id : column(h, "SELECT ID FROM info", &ok)) out.insert(id.toLongLong());
  }
  sqlite3_close(h);
  return out;
}

Recording record(const QString& root, const QString& program, const QStringList& args, const QString& workdir,
                 const QString& fail, const QStringList& extra) {
  Recording r;
  r.root = QFileInfo(root).canonicalFilePath();
  r.before = snapshot(r.root);
  QTemporaryDir logDir;
  const QString log = logDir.filePath(QStringLiteral("ops.log"));
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LD_PRELOAD"), shimPath());
  env.insert(QStringLiteral("QUILLON_PC_ROOT"), r.root);
  env.insert(QStringLiteral("QUILLON_PC_LOG"), log);
  if (!fail.isEmpty()) env.insert(QStringLiteral("QUILLON_PC_FAIL"), fail);
  // The sanitizer build's runtime wants to be loaded first; the recorder
  // does not use it, so the order does not matter here.
  QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
  env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  for (const QString& kv : extra) env.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(workdir);
  p.start(program, args);
  p.waitForFinished(-1);
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.errorText = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
  r.ops = readLog(log, r.root);
  LogOp done;
  done.kind = LogOp::Mark;
  done.path = QStringLiteral("done");
  r.ops.append(done);
  r.after = snapshot(r.root);
  return r;
}

Verdict checkCuts(const Recording& run, const Expectation& expect, Coverage coverage, int cutStride,
                  int maxFailures) {
  Verdict v;
  const Disk& reference = expect.damagedBefore ? run.after : run.before;
  const QSet<qint64> before =
      reference.names.contains(expect.db) ? [&] {
        QTemporaryDir d;
        materialize(reference, d.path());
        return recordIds(QDir(d.path()).filePath(expect.db));
      }() : QSet<qint64>();
  // The records a cut must keep: those there before, and those the run said
  // were committed before the cut.
  QList<QSet<qint64>> requiredAt;
  QList<bool> doneAt;
  QSet<qint64> req = before;
  bool done = false;
  for (const LogOp& op : run.ops) {
    requiredAt << req;
    doneAt << done;
    if (op.kind == LogOp::Mark && op.path.startsWith(QLatin1String("require ")))
      for (const QString& id : op.path.mid(8).split(QLatin1Char(','))) req.insert(id.toLongLong());
    if (op.kind == LogOp::Mark && op.path == QLatin1String("done")) done = true;
  }
  requiredAt << req;
  doneAt << done;

  v.states = forEachState(
      run.before, run.ops, coverage,
      [&](const CutState& s) {
        QTemporaryDir d;
        QString why;
        if (!materialize(s.disk, d.path()))
          why = QStringLiteral("the state could not be written out");
        else
          why = problemIn(d.path(), expect, requiredAt[s.cut], expect.dbBefore || doneAt[s.cut], run);
        if (!why.isEmpty()) {
          QStringList files;
          for (auto it = s.disk.names.cbegin(); it != s.disk.names.cend(); ++it)
            files << (it->type == Entry::File ? QStringLiteral("%1 (%2 bytes)").arg(it.key()).arg(s.disk.content.value(it->ino).size())
                                              : it.key());
          v.failures << QStringLiteral("cut %1: %2; the disk held %3").arg(describeOp(run.ops, s.cut), why, files.join(", "));
        }
        return v.failures.size() < maxFailures;
      },
      cutStride);
  return v;
}

}  // namespace quillon::powercut
