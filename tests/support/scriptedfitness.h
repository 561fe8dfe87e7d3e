#pragma once
// Five-event records that pass everything on to real ones, except that a
// test can script what happens when a value is stored: look at the window
// at that moment, or have the store fail as a full or failing disk would.

#include <functional>
#include <memory>

#include "dbfile.h"
#include "fitnessrecords.h"

namespace quillon::test {

class ScriptedFitnessRecords : public FitnessRecords {
 public:
  explicit ScriptedFitnessRecords(std::unique_ptr<FitnessRecords> real) : real_(std::move(real)) {}

  // Called before each store reaches the real records; may throw DbError.
  std::function<void()> beforeStore;
  int stores = 0;
  int adds = 0;
  int reads = 0;  // of one row or many

  void open() override { real_->open(); }
  void close() override { real_->close(); }
  std::vector<RowAsRead> readAll() override {
    ++reads;
    return real_->readAll();
  }
  std::vector<RowAsRead> readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields = {}) override {
    ++reads;
    return real_->readOfSoldiers(ssnDigits, fields);
  }
  std::vector<RowAsRead> readIds(const QList<qint64>& ids) override {
    ++reads;
    return real_->readIds(ids);
  }
  std::optional<RowAsRead> fetch(qint64 id) override {
    ++reads;
    return real_->fetch(id);
  }
  std::optional<RowAsRead> find(const QString& ssn, const QString& testDate) override {
    ++reads;
    return real_->find(ssn, testDate);
  }
  std::optional<RowAsRead> findByDodId(const QString& dodId, const QString& testDate) override {
    ++reads;
    return real_->findByDodId(dodId, testDate);
  }
  RowAsRead add(const Record& values) override {
    ++adds;
    if (beforeStore) beforeStore();
    return real_->add(values);
  }
  RowAsRead store(const RowAsRead& asRead, const Record& changes) override {
    ++stores;
    if (beforeStore) beforeStore();
    return real_->store(asRead, changes);
  }
  bool remove(const RowAsRead& asRead) override { return real_->remove(asRead); }

 private:
  std::unique_ptr<FitnessRecords> real_;
};

}  // namespace quillon::test
