#include "jetfile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace quillon {

namespace {

// Header of a Jet file: a page-type word, then the engine's name, then the
// version byte at 0x14 (0 Jet 3 with 2 KiB pages, 1 Jet 4 with 4 KiB pages,
// higher for the Access 2007+ engine).
const QByteArray kJetMagic = QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20);
const QByteArray kAceMagic = QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20);
const QByteArray kSqliteMagic = QByteArray("SQLite format 3\x00", 16);
constexpr int kVersionOffset = 0x14;

// The catalog lives on page 2, so a smaller file cannot hold a table.
constexpr qint64 kMinPages = 3;
// The helper prints each byte as two; a file can only hold so much, and the
// cap keeps a looping read of a damaged file from filling memory.
constexpr qint64 kMaxOutputBytes = 512LL * 1024 * 1024;
constexpr int kHelperDeadlineMs = 5 * 60 * 1000;

QByteArray head(const QString& path, qint64 n, bool* readable) {
  QFile f(path);
  *readable = f.open(QIODevice::ReadOnly);
  return *readable ? f.read(n) : QByteArray();
}

JetRead refused(const QString& why) {
  JetRead r;
  r.error = why;
  return r;
}

NamedTable::Kind kindOfMdbType(int t) {
  switch (t) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x10:
      return NamedTable::Kind::Number;  // bool, byte, int, long, money, float, double, numeric
    case 0x08:
      return NamedTable::Kind::DateTime;
    case 0x0a: case 0x0c:
      return NamedTable::Kind::Text;  // text, memo
    default:
      return NamedTable::Kind::Other;
  }
}

bool strictHex(const QByteArray& in, QByteArray* out) {
  if (in.size() % 2) return false;
  for (char c : in)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  *out = QByteArray::fromHex(in);
  return true;
}

const QString kDamaged = QStringLiteral("the Access database looks damaged and cannot be read");
const QString kCancelled = QStringLiteral("the reading was cancelled");

}  // namespace

DatabaseKind databaseKindOf(const QString& path) {
  bool readable = false;
  const QByteArray h = head(path, 32, &readable);
  if (!readable) return DatabaseKind::Unreadable;
  if (h.startsWith(kSqliteMagic)) return DatabaseKind::SQLite;
  if (h.startsWith(kAceMagic)) return DatabaseKind::AccessNewer;
  if (h.startsWith(kJetMagic) && h.size() > kVersionOffset) {
    switch (static_cast<unsigned char>(h[kVersionOffset])) {
      case 0: return DatabaseKind::Jet3;
      case 1: return DatabaseKind::Jet4;
      default: return DatabaseKind::AccessNewer;
    }
  }
  return DatabaseKind::Other;
}

QString checkJetFile(const QString& path) {
  const DatabaseKind kind = databaseKindOf(path);
  switch (kind) {
    case DatabaseKind::Unreadable: return QStringLiteral("the file cannot be read");
    case DatabaseKind::SQLite: return QStringLiteral("the file is a records database of this program, not an old Access one");
    case DatabaseKind::AccessNewer:
      return QStringLiteral("the file is from Access 2007 or later, or encrypted; only Access 97 to 2003 files are read");
    case DatabaseKind::Other: return QStringLiteral("the file is not an Access database");
    case DatabaseKind::Jet3: case DatabaseKind::Jet4: break;
  }
  const qint64 page = kind == DatabaseKind::Jet3 ? 2048 : 4096;
  const qint64 size = QFileInfo(path).size();
  if (size < kMinPages * page || size % page != 0) return QStringLiteral("the Access database is cut short (damaged)");
  return {};
}

QString defaultMdbHelperPath() {
  // Beside the program in a build tree; in the package's private folder once
  // installed, where it stays off the clerk's command path.
  const QDir bin(QCoreApplication::applicationDirPath());
  const QString beside = bin.filePath(QStringLiteral("quillon-mdbread"));
  if (QFileInfo(beside).isExecutable()) return beside;
  const QString installed = bin.filePath(QStringLiteral("../libexec/quillon/quillon-mdbread"));
  return QFileInfo(installed).isExecutable() ? QDir::cleanPath(installed) : beside;
}

JetRead readJetTable(const QString& path, const QString& table, const QString& helperPath,
                     const KeepReading& keepReading) {
  if (QString why = checkJetFile(path); !why.isEmpty()) return refused(why);
  if (!QFileInfo(helperPath).isExecutable())
    return refused(QStringLiteral("the Access reader (%1) is missing").arg(QFileInfo(helperPath).fileName()));

  QProcess helper;
  helper.setProcessChannelMode(QProcess::SeparateChannels);
  helper.setStandardErrorFile(QProcess::nullDevice());
  helper.start(helperPath, {QFileInfo(path).absoluteFilePath(), table}, QIODevice::ReadOnly);
  if (!helper.waitForStarted()) return refused(QStringLiteral("the Access reader cannot be started: ") + helper.errorString());

  QByteArray out;
  const QDeadlineTimer deadline(kHelperDeadlineMs);
  while (helper.state() != QProcess::NotRunning) {
    helper.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100)));
    out += helper.readAllStandardOutput();
    if (keepReading && !keepReading()) {
      helper.kill();
      helper.waitForFinished();
      return refused(kCancelled);
    }
    if (out.size() > kMaxOutputBytes || deadline.hasExpired()) {
      helper.kill();
      helper.waitForFinished();
      return refused(kDamaged);
    }
  }
  out += helper.readAllStandardOutput();
  JetRead read = decodeMdbHelperOutput(out);
  if (helper.exitStatus() != QProcess::NormalExit) return refused(kDamaged);  // a crash, whatever it printed
  if (read.ok() && helper.exitCode() != 0) return refused(kDamaged);
  return read;
}

JetRead decodeMdbHelperOutput(const QByteArray& output) {
  const QList<QByteArray> lines = output.split('\n');
  if (lines.isEmpty()) return refused(kDamaged);
  if (lines.first().startsWith("ERR ")) {
    QByteArray msg;
    if (!strictHex(lines.first().mid(4), &msg)) return refused(kDamaged);
    return refused(QString::fromUtf8(msg));
  }
  if (lines.first() != "QMDB 1") return refused(kDamaged);

  JetRead read;
  NamedTable& t = read.table;
  qsizetype i = 1;
  for (; i < lines.size() && lines[i].startsWith("C "); ++i) {
    const QList<QByteArray> parts = lines[i].mid(2).split(' ');
    QByteArray name;
    bool isInt = false;
    const int type = parts.size() == 2 ? parts[1].toInt(&isInt) : 0;
    if (parts.size() != 2 || !isInt || !strictHex(parts[0], &name)) return refused(kDamaged);
    t.columns << NamedTable::Column{QString::fromUtf8(name), kindOfMdbType(type)};
  }
  for (; i < lines.size() && lines[i].startsWith("R "); ++i) {
    const QList<QByteArray> parts = lines[i].mid(2).split(',');
    if (parts.size() != t.columns.size()) return refused(kDamaged);
    QStringList row;
    row.reserve(parts.size());
    for (const QByteArray& p : parts) {
      QByteArray v;
      if (!strictHex(p, &v)) return refused(kDamaged);
      row << QString::fromUtf8(v);
    }
    t.rows << row;
  }
  // The end line counts the rows, and nothing may follow it but the final newline.
  bool isNum = false;
  if (i + 2 != lines.size() || !lines[i].startsWith("END ") || !lines[i + 1].isEmpty() ||
      lines[i].mid(4).toLongLong(&isNum) != t.rows.size() || !isNum || t.columns.isEmpty())
    return refused(kDamaged);
  return read;
}

}  // namespace quillon
