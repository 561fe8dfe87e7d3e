#pragma once
// The five-event records on a records server (fitnessrecords.h), in table
// fitness_tests that data/postgres/setup.sql makes. Where the server gives
// each unit's clerks their own rows only, a row of another unit reads as no
// row at all and cannot be written.

#include "fitnessrecords.h"
#include "pgconnection.h"

namespace quillon {

class FitnessOnServer : public FitnessRecords {
 public:
  explicit FitnessOnServer(const QString& conninfo) : conn_(conninfo) {}

  void open() override { conn_.open(); }
  void close() override { conn_.close(); }

  std::vector<RowAsRead> readAll() override;
  std::vector<RowAsRead> readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields = {}) override;
  std::vector<RowAsRead> readIds(const QList<qint64>& ids) override;
  std::optional<RowAsRead> fetch(qint64 id) override;
  std::optional<RowAsRead> find(const QString& ssn, const QString& testDate) override;
  RowAsRead add(const Record& values) override;
  RowAsRead store(const RowAsRead& asRead, const Record& changes) override;
  bool remove(const RowAsRead& asRead) override;

  pg::Connection& connection() { return conn_; }

 private:
  std::optional<RowAsRead> fetchLocked(qint64 id);

  pg::Connection conn_;
};

}  // namespace quillon
