#pragma once
// The five-event records in a folder's records file (fitnessrecords.h).

#include "fitnessrecords.h"
#include "sqlitedb.h"

namespace quillon {

class FitnessInFile : public FitnessRecords {
 public:
  explicit FitnessInFile(const QString& path) : path_(path) {}

  // Opens the file read-write; a file made before the five-event records
  // gains their table here.
  void open() override;
  void close() override { db_ = sqlite::Database(); }

  std::vector<RowAsRead> readAll() override;
  std::vector<RowAsRead> readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields = {}) override;
  std::vector<RowAsRead> readIds(const QList<qint64>& ids) override;
  std::optional<RowAsRead> fetch(qint64 id) override;
  std::optional<RowAsRead> find(const QString& ssn, const QString& testDate) override;
  RowAsRead add(const Record& values) override;
  RowAsRead store(const RowAsRead& asRead, const Record& changes) override;
  bool remove(const RowAsRead& asRead) override;

 private:
  sqlite::Database& db();
  std::optional<RowAsRead> readOne(const QString& where, const QStringList& args);

  QString path_;
  sqlite::Database db_;
};

}  // namespace quillon
