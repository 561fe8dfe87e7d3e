#pragma once
// The record store over each of its backends, so that one set of tests holds
// both to the same behaviour: FileRecords (a folder's info.mdb) and
// ServerRecords (a scratch schema on the records server; skipped without a
// server unless QUILLON_REQUIRE_PG=1). Each gives stores, a way to change
// the records as another program would, and a way to read them back.

#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

#include "backendpair.h"
#include "dbfile.h"
#include "pgbackend.h"
#include "recordsdb.h"
#include "recordstore.h"
#include "sqlitebackend.h"

namespace quillon::test {

class FileRecords : public RecordsFileSide {
 public:
  // A store of its own, as a second scorer on the same records would have.
  std::unique_ptr<RecordStore> store() {
    auto s = std::make_unique<RecordStore>();
    s->setDatabaseName(path_);
    s->setRecordSource(RecordStore::rowSourceQuery());
    return s;
  }
  std::unique_ptr<RecordBackend> backend() { return std::make_unique<SqliteBackend>(path_); }
  // Runs SQL as another program would.
  void exec(const QString& sql) { execSql(path_, sql); }
  // The first column of the first row, "<null>" for no value, "<none>" for no row.
  QString scalar(const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path_).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    QString out = QStringLiteral("<none>");
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      out = t ? QString::fromUtf8(t) : QStringLiteral("<null>");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }
};

class ServerRecords : public RecordsServerSide {
 public:
  std::unique_ptr<RecordStore> store() {
    auto s = std::make_unique<RecordStore>();
    s->setBackend(backend());
    s->setRecordSource(RecordStore::rowSourceQuery());
    return s;
  }
  std::unique_ptr<RecordBackend> backend() { return PgBackend::fromConnInfo(scratch_->conninfo()); }
  void exec(const QString& sql) {
    try {
      scratch_->admin().runScript(sql.toUtf8());
    } catch (const DbError& e) {
      ADD_FAILURE() << qPrintable(e.message());
    }
  }
  QString scalar(const QString& sql) {
    const pg::Result r = scratch_->admin().exec(sql.toUtf8().constData());
    if (r.rows() == 0) return QStringLiteral("<none>");
    return r.isNull(0, 0) ? QStringLiteral("<null>") : r.value(0, 0);
  }
};

// The fixture of the tests every backend must pass.
template <typename Records>
class StoreTest : public PairedTest<Records> {
 protected:
  void SetUp() override {
    PairedTest<Records>::SetUp();
    if (this->ready()) store = records.store();
  }
  void addNames(const QStringList& names) {
    for (const QString& n : names) records.exec("INSERT INTO info (LNAME) VALUES ('" + n + "')");
  }
  QStringList namesInOrder(const RecordStore& s) const {
    QStringList out;
    const int c = s.fieldIndex("LNAME");
    for (int i = 0; i < s.rowCount(); ++i) out << s.value(i, c);
    return out;
  }
  QStringList namesInOrder() const { return namesInOrder(*store); }

  Records& records = this->side;
  std::unique_ptr<RecordStore> store;
};

using Backends = ::testing::Types<FileRecords, ServerRecords>;
using BackendNames = SideNames;

}  // namespace quillon::test
