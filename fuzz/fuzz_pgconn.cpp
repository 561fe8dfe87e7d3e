// Fuzzes the connection file a working folder points at a records server
// with: any bytes either give a connection string libpq itself parses and
// that carries no password, or are refused with a message naming the file.

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <libpq-fe.h>

#include "pgconnection.h"

using namespace quillon::pg;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Read straight from libpq rather than through our own wrapper, so the check
// does not share a mistake with the code it checks.
bool parsesWithoutPassword(const QByteArray& conninfo) {
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.constData(), &err);
  if (err) PQfreemem(err);
  if (!opts) return false;
  bool clean = true;
  for (PQconninfoOption* o = opts; o->keyword; ++o)
    if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val) clean = false;
  PQconninfoFree(opts);
  return clean;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QTemporaryDir dir;
  if (!dir.isValid()) return 0;
  const QString path = dir.filePath(connFileName());
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
  }
  try {
    const QString conninfo = readConnFile(path);
    check(!conninfo.trimmed().isEmpty());
    check(parsesWithoutPassword(conninfo.toUtf8()));
    const QString described = describeConnInfo(conninfo);
    check(described.startsWith(QStringLiteral("database ")));
  } catch (const PgError& e) {
    check(e.kind() == PgError::Kind::Refused);
    check(e.message().contains(path));
  }
  return 0;
}
