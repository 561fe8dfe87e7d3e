#pragma once
// The five-event records (fitnessrecords.h) through the gateway, in the file
// or on the server of a records session alike.

#include <functional>
#include <memory>

#include "fitnessrecords.h"
#include "gateway.h"

namespace quillon {

class RecordsSession;

class FitnessRows : public FitnessRecords {
 public:
  // `session` is asked again after close().
  explicit FitnessRows(std::function<std::shared_ptr<RecordsSession>()> session);
  ~FitnessRows() override;

  void open() override;
  // Lets go of the session; the records stay open for whoever else holds it.
  void close() override { gateway_.reset(); }

  std::vector<RowAsRead> readAll() override;
  void forEachOf(const QStringList& fields, const std::function<bool(const RowAsRead&)>& row) override;
  std::vector<RowAsRead> readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields = {}) override;
  std::vector<RowAsRead> readOfSoldiersUnordered(const QStringList& ssnDigits) override;
  std::vector<RowAsRead> readIds(const QList<qint64>& ids) override;
  std::optional<RowAsRead> fetch(qint64 id) override;
  std::optional<RowAsRead> find(const QString& ssn, const QString& testDate) override;
  std::vector<RowAsRead> readLatest(const QString& upTo) override;
  std::optional<RowAsRead> findByDodId(const QString& dodId, const QString& testDate) override;
  RowAsRead add(const Record& values) override;
  RowAsRead store(const RowAsRead& asRead, const Record& changes) override;
  bool remove(const RowAsRead& asRead) override;
  std::optional<Changes> changesSince(const Followed& followed, qint64 mark) override;
  void holdCacheSmall(bool held) override;
  // Of the rows read as `asRead`, those another station changed since, as
  // they are now; one deleted since is not among them.
  std::vector<RowAsRead> changedSince(const std::vector<RowAsRead>& asRead) { return gw().changedSince(asRead); }

  // The session the records are reached through (tests count its statements).
  RecordsSession& session();

 private:
  Gateway& gw();
  // Throws the message of a second record of one soldier on one date when
  // `e` is that refusal; returns otherwise.
  void refuseSecondRecord(const DbError& e, const Record& values, const RowAsRead* row);
  // Throws unless the record, `values` over `row`, names the soldier by the
  // SSN or the DoD ID number.
  static void requireIdentifier(const Record& values, const RowAsRead* row);

  std::function<std::shared_ptr<RecordsSession>()> reopen_;
  std::unique_ptr<Gateway> gateway_;
  // The server session whose table was found to hold every column this
  // version reads (0: none yet).
  quint64 checkedSession_ = 0;
};

}  // namespace quillon
