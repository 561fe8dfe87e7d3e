#pragma once
// Where this process's open descriptor on a file stands, read from Linux's
// /proc. A reader that keeps its file open and seeks before every read
// leaves the descriptor just past what it last read, so a test can tell
// whether it read and where, without the reader keeping any count of it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace quillon::test {

// Offset of the one descriptor open on `path`; -1 when none is, -2 when
// several are (the answer would be ambiguous).
inline qint64 openFileOffset(const QString& path) {
  const QString target = QFileInfo(path).canonicalFilePath();
  const QDir fds(QStringLiteral("/proc/self/fd"));
  qint64 offset = -1;
  int open = 0;
  for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    if (target.isEmpty() || QFileInfo(fds.filePath(fd)).symLinkTarget() != target) continue;
    QFile info(QDir(QStringLiteral("/proc/self/fdinfo")).filePath(fd));
    if (!info.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : info.readAll().split('\n'))
      if (line.startsWith("pos:")) {
        offset = line.mid(4).trimmed().toLongLong();
        ++open;
      }
  }
  return open > 1 ? -2 : offset;
}

}  // namespace quillon::test
