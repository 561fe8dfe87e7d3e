// Fuzzes what the scorer itself makes of an old Access file: the first-bytes
// check that decides whether a file is handed to the reader at all, and the
// decoding of the reader helper's output, which a damaged file can bend into
// any shape, followed by the mapping onto the record and the ID preview.
// libmdb itself runs only in the helper process, where a crash is a message.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "jetimport.h"

using namespace quillon;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void fuzzHeader(const QByteArray& bytes) {
  static QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("info.mdb"));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  f.write(bytes);
  f.close();
  const DatabaseKind kind = databaseKindOf(path);
  const QString why = checkJetFile(path);
  // Only a Jet 3/4 header of whole pages is ever handed to the reader.
  if (why.isEmpty()) check((kind == DatabaseKind::Jet3 || kind == DatabaseKind::Jet4) && bytes.size() % 2048 == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  fuzzHeader(bytes);

  const JetRead read = decodeMdbHelperOutput(bytes);
  if (!read.ok()) {
    check(read.table.rows.isEmpty() && read.table.columns.isEmpty());  // never half a table
    return 0;
  }
  for (const QStringList& row : read.table.rows) {
    check(row.size() == read.table.columns.size());
    for (const QString& v : row) {
      const QString d = dateFromJet(v);
      check(d.isEmpty() || d.size() == 10);
    }
  }
  const MappedRecords m = mapInfoTable(read.table);
  check(m.rows.size() == read.table.rows.size());
  const JetPreview p = previewJetRecords(m, {1, 2, 3});
  check(p.keepingId.size() + p.newId.size() + p.conflicts.size() == m.rows.size());
  for (const JetImportRow& r : p.keepingId) check(r.record.size() == 18 && !r.record[0].isEmpty());
  for (const JetImportRow& r : p.newId) check(r.record[0].isEmpty());
  return 0;
}
