#pragma once
// A schema of its own on the test server for each test (and bench run), with
// the shipped setup run in it, dropped again at the end. The server is the
// one the PG* environment names (pg_virtualenv sets it up); stores reach the
// scratch schema through the connection string, so tests may run side by side.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <memory>

#include "pgconnection.h"

namespace quillon::test {

class PgScratch {
 public:
  explicit PgScratch(const QString& setupSql) {
    schema_ = QStringLiteral("quillon_t%1_%2")
                  .arg(QCoreApplication::applicationPid())
                  .arg(QRandomGenerator::global()->generate() % 1000000);
    try {
      auto admin = std::make_unique<pg::Connection>(QString());
      admin->open();
      admin->runScript("CREATE SCHEMA " + schema_.toUtf8());
      admin_ = std::move(admin);
      QFile f(setupSql);
      if (!f.open(QIODevice::ReadOnly)) throw DbError(setupSql + ": " + f.errorString());
      admin_->runScript("SET search_path TO " + schema_.toUtf8() + ";\n" + f.readAll());
    } catch (const DbError& e) {
      error_ = e.message();
    }
  }
  ~PgScratch() {
    if (!admin_) return;
    try {
      admin_->runScript("DROP SCHEMA " + schema_.toUtf8() + " CASCADE");
    } catch (const DbError&) {
    }
  }
  PgScratch(const PgScratch&) = delete;
  PgScratch& operator=(const PgScratch&) = delete;

  // Empty when the server is there and set up; else why not.
  const QString& error() const { return error_; }
  // A connection string for stores: the server of the environment, this
  // schema first in the search path.
  QString conninfo() const { return "options='-c search_path=" + schema_ + "'"; }
  // The superuser's connection, already in this schema.
  pg::Connection& admin() { return *admin_; }
  const QString& schema() const { return schema_; }

 private:
  QString schema_;
  QString error_;
  std::unique_ptr<pg::Connection> admin_;
};

inline QString setupSqlPath() {
  return QDir(QStringLiteral(QUILLON_SOURCE_DIR)).filePath(QStringLiteral("data/postgres/setup.sql"));
}

}  // namespace quillon::test
