#include "salvagewrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sqlite3.h>

#include <cerrno>
#include <memory>

#include "dbfile.h"
#include "schemaupgrade.h"
#include "fsops.h"

namespace quillon::dbtool {
namespace {

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

[[noreturn]] void fail(sqlite3* db, int rc, const QString& path) {
  throw ToolError(rc & 0xff, QDir::toNativeSeparators(path) + ": " + QString::fromUtf8(sqlite3_errmsg(db)));
}

Stmt prepare(sqlite3* db, const QString& sql, const QString& path) {
  sqlite3_stmt* raw = nullptr;
  const QByteArray utf8 = sql.toUtf8();
  const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &raw, nullptr);
  Stmt s(raw);
  if (rc != SQLITE_OK) fail(db, rc, path);
  return s;
}

QString quoted(const QString& ident) {
  QString q = ident;
  q.replace('"', "\"\"");
  return '"' + q + '"';
}

}  // namespace

bool hasInfoFields(sqlite3* db, const QString& table, const QString& path) {
  Stmt s = prepare(db, "PRAGMA table_info(" + quoted(table) + ")", path);
  QStringList names;
  while (sqlite3_step(s.get()) == SQLITE_ROW)
    names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1))).toUpper();
  // Also with the fields a later scorer adds after the eighteen.
  return names == infoFieldNames() || names == infoFieldNames() + alternateFieldNames();
}

bool infoIdsShared(sqlite3* db, const QString& path) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM info GROUP BY ID HAVING count(*) > 1 LIMIT 1", -1, &raw, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(raw);
    return false;  // no such table, or not of that shape: nothing to renumber
  }
  Stmt s(raw);
  const int rc = sqlite3_step(s.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(db, rc, path);
  return rc == SQLITE_ROW;
}

void insertSalvaged(sqlite3* db, const QString& table, const SalvagePlan& plan, salvage::TextEncoding encoding,
                    const QString& path) {
  QStringList cols, marks;
  Stmt shape = prepare(db, "PRAGMA table_info(" + quoted(table) + ")", path);
  int columns = 0;
  while (sqlite3_step(shape.get()) == SQLITE_ROW) ++columns;
  const QStringList fields =
      columns > salvage::kFieldCount ? infoFieldNames() + alternateFieldNames() : infoFieldNames();
  for (const QString& f : fields) {
    cols << quoted(f);
    marks << QStringLiteral("?");
  }
  Stmt ins = prepare(db, QString("INSERT INTO %1(%2) VALUES(%3)").arg(quoted(table), cols.join(','), marks.join(',')),
                     path);
  const unsigned char textEncoding = encoding == salvage::TextEncoding::Utf16le   ? SQLITE_UTF16LE
                                     : encoding == salvage::TextEncoding::Utf16be ? SQLITE_UTF16BE
                                                                                  : SQLITE_UTF8;
  for (const SalvagedRecord& r : plan.records) {
    sqlite3_reset(ins.get());
    sqlite3_clear_bindings(ins.get());
    sqlite3_bind_int64(ins.get(), 1, r.id);
    for (int i = 1; i < r.fields.size() && i < fields.size(); ++i) {
      const salvage::Value& v = r.fields[i];
      switch (v.kind) {
        case salvage::Value::Null: break;
        case salvage::Value::Integer: sqlite3_bind_int64(ins.get(), i + 1, v.integer); break;
        case salvage::Value::Real: sqlite3_bind_double(ins.get(), i + 1, v.real); break;
        case salvage::Value::Text:
          sqlite3_bind_text64(ins.get(), i + 1, v.bytes.constData(), quint64(v.bytes.size()), SQLITE_TRANSIENT,
                              textEncoding);
          break;
        case salvage::Value::Blob:
          sqlite3_bind_blob64(ins.get(), i + 1, v.bytes.constData(), quint64(v.bytes.size()), SQLITE_TRANSIENT);
          break;
      }
    }
    const int rc = sqlite3_step(ins.get());
    if (rc != SQLITE_DONE) fail(db, rc, path);
  }
}

QString keepDamagedOriginal(const QString& dbPath) {
  // Through a second name, so the backup name never stands empty.
  const QString keep = damagedKeepPath(dbPath);
  const QFileInfo fi(keep);
  const QString link = QDir(fi.absolutePath()).filePath("." + fi.fileName() + ".new");
  if (fs::kindOf(link) == fs::Kind::PlainFile) fs::removeFile(link);  // left by an interrupted run
  try {
    fs::linkFile(dbPath, link);
  } catch (const ToolError&) {
    // No second names on this file system: a copy serves as well.
    if (!QFile::copy(dbPath, link))
      throw ToolError(EIO, QDir::toNativeSeparators(keep) + ": the damaged file could not be kept");
    fs::syncPath(link);
  }
  try {
    fs::renameFile(link, keep);
  } catch (const ToolError&) {
    QFile::remove(link);
    throw;
  }
  return keep;
}

}  // namespace quillon::dbtool
