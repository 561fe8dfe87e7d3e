#pragma once
// A records file holding five-event results as a test day leaves them, for
// the tests of the test day's reports and of its window.

#include <QString>
#include <gtest/gtest.h>
#include <memory>

#include "dbfile.h"
#include "fitnessrecords.h"
#include "fitnessrecordsfixture.h"

namespace quillon::test {

// A whole five-event record of `ssn` on `date` with `result` (GO, NO-GO, or
// empty for one still missing events) and `total`; the run was run unless
// `alternate` names the event taken instead.
inline Record fiveEventResult(const QString& ssn, const QString& name, const QString& date, const QString& result,
                              const QString& total = QStringLiteral("400"), const QString& alternate = QString()) {
  Record r = fullFitnessRecord();
  r.insert(QStringLiteral("ssn"), ssn);
  r.insert(QStringLiteral("name"), name);
  r.insert(QStringLiteral("test_date"), date);
  r.insert(QStringLiteral("result_go"), result);
  r.insert(QStringLiteral("total_pts"), result.isEmpty() ? QString() : total);
  r.insert(QStringLiteral("run_go"), QStringLiteral("GO"));
  r.insert(QStringLiteral("run_pts"), QStringLiteral("70"));
  for (const char* k : {"alt_event", "alt_time_s", "alt_pts", "alt_go"}) r.insert(QString::fromLatin1(k), QString());
  if (!alternate.isEmpty()) {
    // The run's own fields as the stand-in left them; the alternate decides.
    r.insert(QStringLiteral("run_go"), QStringLiteral("NO-GO"));
    r.insert(QStringLiteral("run_pts"), QStringLiteral("0"));
    r.insert(QStringLiteral("alt_event"), alternate);
    r.insert(QStringLiteral("alt_time_s"), QStringLiteral("1510"));
    r.insert(QStringLiteral("alt_pts"), QStringLiteral("60"));
    r.insert(QStringLiteral("alt_go"), QStringLiteral("GO"));
  }
  return r;
}

// Adds the records to the five-event table of the file at `path`.
inline void addFiveEventRecords(const QString& path, const QList<Record>& records) {
  const std::unique_ptr<FitnessRecords> store = FitnessRecords::forDatabase(path);
  store->open();
  for (const Record& r : records) store->add(r);
  store->close();
}

// A fresh records file with its five-event store open, for the tests of
// what the test day makes of stored records (cards, history).
class FiveEventFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_.setUp();
    path_ = file_.path();
    store_ = file_.station();
    store_->open();
  }

  FitnessFile file_;
  QString path_;
  std::unique_ptr<FitnessRecords> store_;
};

}  // namespace quillon::test
