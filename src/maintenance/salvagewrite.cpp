#include "salvagewrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>

#include "dbfile.h"
#include "schemaupgrade.h"
#include "sqlitedb.h"
#include "fsops.h"

namespace quillon::dbtool {
namespace {

using sqlite::Database;
using sqlite::Statement;
using sqlite::quoted;

[[noreturn]] void fail(const Database& db, const QString& path) {
  throw ToolError(db.errorCode(), QDir::toNativeSeparators(path) + ": " + db.errorMessage());
}

Statement prepareOrFail(const Database& db, const QString& sql, const QString& path) {
  Statement s = Statement::tryPrepare(db, sql);
  if (s.isNull()) fail(db, path);
  return s;
}

}  // namespace

bool hasInfoFields(const Database& db, const QString& table, const QString& path) {
  Statement s = prepareOrFail(db, "PRAGMA table_info(" + quoted(table) + ")", path);
  QStringList names;
  while (s.tryStep() == Statement::Step::Row) names << s.text(1).toUpper();
  // Also with the fields a later scorer adds after the eighteen.
  return names == infoFieldNames() || names == infoFieldNames() + alternateFieldNames();
}

bool infoIdsShared(const Database& db, const QString& path) {
  Statement s = Statement::tryPrepare(db, QStringLiteral("SELECT 1 FROM info GROUP BY ID HAVING count(*) > 1 LIMIT 1"));
  if (s.isNull()) return false;  // no such table, or not of that shape: nothing to renumber
  const Statement::Step r = s.tryStep();
  if (r == Statement::Step::Failed) fail(db, path);
  return r == Statement::Step::Row;
}

void insertSalvaged(const Database& db, const QString& table, const SalvagePlan& plan, salvage::TextEncoding encoding,
                    const QString& path) {
  QStringList cols, marks;
  Statement shape = prepareOrFail(db, "PRAGMA table_info(" + quoted(table) + ")", path);
  int columns = 0;
  while (shape.tryStep() == Statement::Step::Row) ++columns;
  const QStringList fields =
      columns > salvage::kFieldCount ? infoFieldNames() + alternateFieldNames() : infoFieldNames();
  for (const QString& f : fields) {
    cols << quoted(f);
    marks << QStringLiteral("?");
  }
  Statement ins = prepareOrFail(
      db, QString("INSERT INTO %1(%2) VALUES(%3)").arg(quoted(table), cols.join(','), marks.join(',')), path);
  const Statement::Encoding textEncoding = encoding == salvage::TextEncoding::Utf16le   ? Statement::Encoding::Utf16le
                                           : encoding == salvage::TextEncoding::Utf16be ? Statement::Encoding::Utf16be
                                                                                        : Statement::Encoding::Utf8;
  static const salvage::Value kNoValue;
  for (const SalvagedRecord& r : plan.records) {
    ins.reset();
    ins.bindInt(1, r.id);
    for (int i = 1; i < fields.size(); ++i) {
      // A field the page did not hold is stored as no value.
      const salvage::Value& v = i < r.fields.size() ? r.fields[i] : kNoValue;
      switch (v.kind) {
        case salvage::Value::Null: ins.bindNull(i + 1); break;
        case salvage::Value::Integer: ins.bindInt(i + 1, v.integer); break;
        case salvage::Value::Real: ins.bindDouble(i + 1, v.real); break;
        case salvage::Value::Text: ins.bindTextBytes(i + 1, v.bytes, textEncoding); break;
        case salvage::Value::Blob: ins.bindBlob(i + 1, v.bytes); break;
      }
    }
    if (ins.tryStep() != Statement::Step::Done) fail(db, path);
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
    // The damaged file still names soldiers: kept for its owner alone.
    fs::restrictToOwner(link);
    fs::renameFile(link, keep);
  } catch (const ToolError&) {
    QFile::remove(link);
    throw;
  }
  return keep;
}

}  // namespace quillon::dbtool
