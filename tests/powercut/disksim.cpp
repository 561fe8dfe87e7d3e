#include "disksim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::powercut {

namespace {

QString parentOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : path.left(slash);
}

void applyData(QByteArray& bytes, const LogOp& op) {
  if (op.kind == LogOp::Trunc) {
    bytes.resize(op.length, '\0');
    return;
  }
  const qint64 end = op.offset + op.data.size();
  if (bytes.size() < end) bytes.resize(end, '\0');
  std::memcpy(bytes.data() + op.offset, op.data.constData(), size_t(op.data.size()));
}

void applyName(QMap<QString, Entry>& names, const LogOp& op) {
  switch (op.kind) {
    case LogOp::Create: names[op.path] = Entry{Entry::File, op.ino, {}}; break;
    case LogOp::Link: names[op.path] = Entry{Entry::File, op.ino, {}}; break;
    case LogOp::Symlink: names[op.path] = Entry{Entry::Symlink, 0, op.path2}; break;
    case LogOp::Mkdir: names[op.path] = Entry{Entry::Dir, 0, {}}; break;
    case LogOp::Unlink: names.remove(op.path); break;
    case LogOp::Rename: {
      if (!names.contains(op.path)) break;
      // A folder takes what lies in it along.
      const QString prefix = op.path + QLatin1Char('/');
      QList<QPair<QString, Entry>> moved;
      for (auto it = names.begin(); it != names.end();) {
        if (it.key() == op.path || it.key().startsWith(prefix)) {
          moved.append({op.path2 + it.key().mid(op.path.size()), it.value()});
          it = names.erase(it);
        } else {
          ++it;
        }
      }
      for (const auto& m : moved) names[m.first] = m.second;
      break;
    }
    default: break;
  }
}

bool isNameOp(LogOp::Kind k) {
  return k == LogOp::Create || k == LogOp::Link || k == LogOp::Symlink || k == LogOp::Mkdir ||
         k == LogOp::Unlink || k == LogOp::Rename;
}

// The folder whose flush makes a name change durable.
QString folderOf(const LogOp& op) { return parentOf(op.kind == LogOp::Rename ? op.path2 : op.path); }

// The simulation after some operations: what is durable and what is not yet.
struct Sim {
  QMap<QString, Entry> durableNames;
  QHash<quint64, QByteArray> durable;
  QList<const LogOp*> pendingNames;
  QHash<quint64, QList<const LogOp*>> pendingData;

  void step(const LogOp& op) {
    if (isNameOp(op.kind)) {
      pendingNames.append(&op);
      if (op.kind == LogOp::Create && !durable.contains(op.ino)) durable.insert(op.ino, QByteArray());
    } else if (op.kind == LogOp::Write || op.kind == LogOp::Trunc) {
      pendingData[op.ino].append(&op);
    } else if (op.kind == LogOp::Sync) {
      QByteArray& bytes = durable[op.ino];
      for (const LogOp* w : pendingData.value(op.ino)) applyData(bytes, *w);
      pendingData.remove(op.ino);
    } else if (op.kind == LogOp::DirSync) {
      QList<const LogOp*> rest;
      for (const LogOp* n : pendingNames) {
        if (folderOf(*n) == op.path)
          applyName(durableNames, *n);
        else
          rest.append(n);
      }
      pendingNames = rest;
    }
  }
};

QByteArray fingerprint(const Disk& d) {
  QCryptographicHash h(QCryptographicHash::Sha1);
  for (auto it = d.names.cbegin(); it != d.names.cend(); ++it) {
    h.addData(it.key().toUtf8());
    h.addData(QByteArray::number(int(it->type)));
    h.addData(it->target.toUtf8());
    if (it->type == Entry::File) {
      h.addData(QByteArray::number(it->ino));
      h.addData(QCryptographicHash::hash(d.content.value(it->ino), QCryptographicHash::Sha1));
    }
  }
  return h.result();
}

// Which prefix of each dirty file's pending writes a state keeps.
QList<QList<int>> prefixChoices(const QList<int>& lengths, Coverage coverage) {
  const int n = int(lengths.size());
  QList<QList<int>> out;
  QList<int> none(n, 0), full = lengths;
  out << none << full;
  // Each file alone at each prefix (a sample: the first, the middle and
  // the last but one), the others at nothing and at everything.
  for (int i = 0; i < n; ++i) {
    QList<int> points;
    if (coverage == Coverage::Every) {
      for (int p = 1; p < lengths[i]; ++p) points << p;
    } else {
      for (int p : {1, lengths[i] / 2, lengths[i] - 1})
        if (p > 0 && p < lengths[i] && !points.contains(p)) points << p;
    }
    for (int p : points) {
      QList<int> a = none, b = full;
      a[i] = p;
      b[i] = p;
      out << a << b;
    }
    QList<int> only = none, allBut = full;
    only[i] = lengths[i];
    allBut[i] = 0;
    out << only << allBut;
  }
  // Every subset of the files, whole or not at all, while that stays small.
  if (coverage == Coverage::Every && n <= 8) {
    for (int mask = 0; mask < (1 << n); ++mask) {
      QList<int> s(n);
      for (int i = 0; i < n; ++i) s[i] = (mask >> i) & 1 ? lengths[i] : 0;
      out << s;
    }
  }
  return out;
}

}  // namespace

Disk snapshot(const QString& folder) {
  Disk d;
  const QDir root(folder);
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
    Entry e;
    e.ino = st.st_ino;
    if (S_ISLNK(st.st_mode)) {
      e.type = Entry::Symlink;
      e.ino = 0;
      e.target = QFile::symLinkTarget(path);
      char buf[4096];
      const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
      if (n > 0) e.target = QFile::decodeName(QByteArray(buf, n));
    } else if (S_ISDIR(st.st_mode)) {
      e.type = Entry::Dir;
      e.ino = 0;
    } else {
      QFile f(path);
      if (f.open(QIODevice::ReadOnly)) d.content.insert(e.ino, f.readAll());
    }
    d.names.insert(root.relativeFilePath(path), e);
  }
  return d;
}

QList<LogOp> readLog(const QString& logPath, const QString& folder) {
  QList<LogOp> ops;
  QFile log(logPath), data(logPath + QStringLiteral(".data"));
  if (!log.open(QIODevice::ReadOnly)) return ops;
  QByteArray bytes;
  if (data.open(QIODevice::ReadOnly)) bytes = data.readAll();
  const QString base = QDir(folder).absolutePath();
  // Empty when outside the folder.
  auto rel = [&](const QByteArray& p, bool* inside) {
    const QString abs = QDir::cleanPath(QFile::decodeName(p));
    *inside = abs == base || abs.startsWith(base + QLatin1Char('/'));
    return *inside ? abs.mid(base.size() + 1) : QString();
  };
  static const QHash<QByteArray, LogOp::Kind> kinds = {
      {"create", LogOp::Create}, {"write", LogOp::Write},   {"trunc", LogOp::Trunc},     {"sync", LogOp::Sync},
      {"dirsync", LogOp::DirSync}, {"rename", LogOp::Rename}, {"unlink", LogOp::Unlink}, {"link", LogOp::Link},
      {"symlink", LogOp::Symlink}, {"mkdir", LogOp::Mkdir},   {"mark", LogOp::Mark}};
  // A created file is a new file even where the system gives it the number
  // of one removed a moment ago (a journal made and deleted per change).
  QHash<quint64, quint64> alias;
  quint64 fresh = quint64(1) << 62;
  auto id = [&](const QByteArray& field) { const quint64 ino = field.toULongLong(); return alias.value(ino, ino); };
  while (!log.atEnd()) {
    const QList<QByteArray> f = log.readLine().chopped(1).split('\t');
    if (f.isEmpty() || !kinds.contains(f[0])) continue;
    LogOp op;
    op.kind = kinds.value(f[0]);
    bool in1 = true, in2 = true;
    switch (op.kind) {
      case LogOp::Create:
        alias[f.value(1).toULongLong()] = ++fresh;
        op.ino = fresh;
        op.path = rel(f.value(2), &in1);
        break;
      case LogOp::Link:
        op.ino = id(f.value(1));
        op.path = rel(f.value(2), &in1);
        break;
      case LogOp::Write: {
        op.ino = id(f.value(1));
        op.offset = f.value(2).toLongLong();
        const qint64 n = f.value(3).toLongLong();
        op.data = bytes.mid(f.value(4).toLongLong(), n);
        break;
      }
      case LogOp::Trunc:
        op.ino = id(f.value(1));
        op.length = f.value(2).toLongLong();
        break;
      case LogOp::Sync: op.ino = id(f.value(1)); break;
      case LogOp::DirSync:
      case LogOp::Unlink:
      case LogOp::Mkdir: op.path = rel(f.value(1), &in1); break;
      case LogOp::Rename:
        op.ino = id(f.value(1));
        op.path = rel(f.value(2), &in1);
        op.path2 = rel(f.value(3), &in2);
        break;
      case LogOp::Symlink:
        op.path2 = QFile::decodeName(f.value(1));
        op.path = rel(f.value(2), &in1);
        break;
      case LogOp::Mark: op.path = QString::fromUtf8(f.value(1)); break;
    }
    if (in1 && in2) ops.append(op);
  }
  return ops;
}

int forEachState(const Disk& before, const QList<LogOp>& ops, Coverage coverage,
                 const std::function<bool(const CutState&)>& visit, int cutStride) {
  Sim sim;
  sim.durableNames = before.names;
  sim.durable = before.content;
  QSet<QByteArray> seen;
  int visited = 0, cutPoint = 0;
  for (int k = 0; k <= ops.size(); ++k) {
    // A state a cut leaves before a flush is also left by a cut a few writes
    // earlier, so only the points before flushes and marks and the end are
    // tried.
    const bool last = k == ops.size();
    const bool point = last || ops[k].kind == LogOp::Sync || ops[k].kind == LogOp::DirSync || ops[k].kind == LogOp::Mark;
    if (point && (last || cutPoint++ % cutStride == 0)) {
      for (int j = 0; j <= sim.pendingNames.size(); ++j) {
        QMap<QString, Entry> names = sim.durableNames;
        for (int i = 0; i < j; ++i) applyName(names, *sim.pendingNames[i]);
        QList<quint64> dirty;
        QList<int> lengths;
        QSet<quint64> counted;
        for (const Entry& e : names) {
          if (e.type != Entry::File || counted.contains(e.ino)) continue;
          counted.insert(e.ino);
          const int n = int(sim.pendingData.value(e.ino).size());
          if (n > 0) {
            dirty << e.ino;
            lengths << n;
          }
        }
        for (const QList<int>& choice : prefixChoices(lengths, coverage)) {
          CutState s;
          s.cut = k;
          s.disk.names = names;
          for (const Entry& e : names) {
            if (e.type != Entry::File || s.disk.content.contains(e.ino)) continue;
            s.disk.content.insert(e.ino, sim.durable.value(e.ino));
          }
          for (int i = 0; i < dirty.size(); ++i) {
            QByteArray& bytes = s.disk.content[dirty[i]];
            const auto& pending = sim.pendingData.value(dirty[i]);
            for (int p = 0; p < choice[i]; ++p) applyData(bytes, *pending[p]);
          }
          const QByteArray print = fingerprint(s.disk);
          if (seen.contains(print)) continue;
          seen.insert(print);
          ++visited;
          if (!visit(s)) return visited;
        }
      }
    }
    if (!last) sim.step(ops[k]);
  }
  return visited;
}

bool materialize(const Disk& disk, const QString& into) {
  const QDir root(into);
  QHash<quint64, QString> written;
  for (auto it = disk.names.cbegin(); it != disk.names.cend(); ++it) {
    const QString parent = parentOf(it.key());
    // A name whose folder did not survive did not survive either.
    if (!parent.isEmpty() && !(disk.names.contains(parent) && disk.names[parent].type == Entry::Dir)) continue;
    const QString path = root.filePath(it.key());
    const QByteArray native = QFile::encodeName(path);
    if (it->type == Entry::Dir) {
      if (!root.mkpath(it.key())) return false;
    } else if (it->type == Entry::Symlink) {
      if (::symlink(QFile::encodeName(it->target).constData(), native.constData()) != 0) return false;
    } else if (written.contains(it->ino)) {
      if (::link(QFile::encodeName(written[it->ino]).constData(), native.constData()) != 0) return false;
    } else {
      QFile f(path);
      if (!f.open(QIODevice::WriteOnly) || f.write(disk.content.value(it->ino)) != disk.content.value(it->ino).size())
        return false;
      written.insert(it->ino, path);
    }
  }
  return true;
}

}  // namespace quillon::powercut
