#pragma once
// Records databases on disk for the maintenance tests: made with the
// programs' own table definition, read back field by field, and damaged on
// purpose.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QStringList>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "dbfile.h"
#include "recordingmessages.h"
#include "toolerror.h"

namespace quillon::dbtool::test {

class SqlDb {
 public:
  explicit SqlDb(const QString& path, int flags = SQLITE_OPEN_READWRITE) {
    EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr), SQLITE_OK) << qPrintable(path);
  }
  ~SqlDb() { sqlite3_close(db); }
  void exec(const QString& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql.toStdString();
    sqlite3_free(err);
  }
  QList<QStringList> rows(const QString& sql) {
    QList<QStringList> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
      QStringList r;
      for (int i = 0; i < sqlite3_column_count(st); ++i)
        r << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
      out << r;
    }
    sqlite3_finalize(st);
    return out;
  }
  QString value(const QString& sql) { return rows(sql).value(0).value(0); }
  sqlite3* db = nullptr;
};

// A records database of `n` fictional soldiers, IDs 1..n.
inline void makeRecords(const QString& path, int n, const QString& tag = "S") {
  createRecordsDatabase(path);
  SqlDb d(path);
  d.exec("BEGIN");
  for (int i = 1; i <= n; ++i)
    d.exec(QString("INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, RAW_PU, RAW_SU, RUN_M, RUN_S, TOTAL, STAT, REMARK) "
                   "VALUES ('%1%2', 'SGT', '%3', '%4', '01/02/1990', '42', '55', '15', '30', '0212', 'PASS', "
                   "'remark for soldier %2, kept through every repair')")
               .arg(tag)
               .arg(i, 5, 10, QChar('0'))
               .arg(100000000 + i)
               .arg(i % 2 ? "M" : "F"));
  d.exec("COMMIT");
}

// Every record by ID, every field as text.
inline QMap<qint64, QStringList> records(const QString& path) {
  QMap<qint64, QStringList> out;
  SqlDb d(path, SQLITE_OPEN_READONLY);
  for (const QStringList& r : d.rows("SELECT * FROM info ORDER BY ID")) out.insert(r.first().toLongLong(), r);
  return out;
}

inline QByteArray hashOf(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

inline QByteArray randomBytes(int n, unsigned seed) {
  std::mt19937 gen(seed);
  QByteArray b(n, '\0');
  for (char& c : b) c = char(gen() & 0xff);
  return b;
}

// Overwrites page `page` (from 1) of a database with random bytes.
inline void damagePage(const QString& path, qint64 page, int pageSize) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  ASSERT_TRUE(f.seek((page - 1) * pageSize));
  f.write(randomBytes(pageSize, unsigned(page)));
}


// ---------------------------------------------------------------- commands
inline void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

inline PickerState chosen(const QString& name) { return {name, name, QString(), QDir::currentPath()}; }

// Runs Repair (or Compact) on `name` in the current folder; what it showed.
inline RecordingMessages runCommand(bool repair, const QString& name) {
  RecordingMessages seam;
  MaintenanceCommands cmd(seam);
  if (repair)
    cmd.repair(chosen(name));
  else
    cmd.compact(chosen(name));
  return seam;
}

// Names in the current folder other than the lock files the tool keeps.
inline QStringList folderNames() {
  QStringList names = QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  names.removeIf([](const QString& n) { return n.endsWith(".ldb"); });
  return names;
}

// Fails the n-th step it is asked about and lets a test look at the disk
// before every step.
class NthStepFails : public FaultPlan {
 public:
  void at(const char* step) override {
    ++calls;
    steps.push_back(step);
    if (observe) observe(step);
    if (calls == failAt) {
      failedStep = step;
      throw ToolError(kInjectedFailure, QString("injected failure at ") + step);
    }
    if (alsoFail == step) throw ToolError(kInjectedFailure, QString("second injected failure at ") + step);
  }
  int failAt = -1;
  int calls = 0;
  std::string alsoFail;
  std::string failedStep;
  std::vector<std::string> steps;
  std::function<void(const char*)> observe;
};

}  // namespace quillon::dbtool::test
