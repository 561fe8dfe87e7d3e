// Several stations on one records server: versions, conflicts, deletes
// elsewhere, adds, the row source order, the clerk's rights, a dropped
// connection, and the transaction that several statements share.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "pgtest.h"

using namespace quillon::pg;
using Kind = StoreOutcome::Kind;

namespace {

class Stations : public quillon::test::PgTest {};

const FieldClash* clashOn(const StoreOutcome& o, const QString& field) {
  for (const FieldClash& c : o.clashes)
    if (c.field == field) return &c;
  return nullptr;
}

}  // namespace

TEST_F(Stations, SecondStoreOfARowReadByBothIsAConflictNamingTheirFieldsAndWritesNothing) {
  auto a = station();
  auto b = station();
  const qint64 id = a->add({{"LNAME", "Adams"}, {"RAW_PU", "40"}, {"REMARK", "new"}}).id;
  const PgRecord readByA = *a->fetch(id);
  const PgRecord readByB = b->readAll().front();
  ASSERT_EQ(readByA.version, readByB.version);

  const StoreOutcome first = a->store(readByA, {{"RAW_PU", "45"}, {"remark", "retested"}});
  ASSERT_EQ(first.kind, Kind::Done);
  EXPECT_EQ(first.row.version, readByA.version + 1);

  const StoreOutcome second = b->store(readByB, {{"RAW_PU", "50"}, {"LNAME", "Adams-Bell"}});
  ASSERT_EQ(second.kind, Kind::Conflict);
  EXPECT_EQ(second.clashes.size(), 2);
  const FieldClash* pu = clashOn(second, "RAW_PU");
  ASSERT_NE(pu, nullptr);
  EXPECT_EQ(pu->theirs, "45");
  EXPECT_EQ(pu->asRead, "40");
  EXPECT_EQ(pu->ours, "50");
  EXPECT_TRUE(pu->changedByUs);
  const FieldClash* remark = clashOn(second, "REMARK");
  ASSERT_NE(remark, nullptr);
  EXPECT_EQ(remark->theirs, "retested");
  EXPECT_EQ(remark->ours, "new");
  EXPECT_FALSE(remark->changedByUs);
  // LNAME was changed only here: no clash, and not written either.
  EXPECT_EQ(clashOn(second, "LNAME"), nullptr);
  const PgRecord onServer = *a->fetch(id);
  EXPECT_EQ(onServer.field("RAW_PU"), "45");
  EXPECT_EQ(onServer.field("LNAME"), "Adams");
  EXPECT_EQ(onServer.version, first.row.version);
}

TEST_F(Stations, StoreAnywayWritesOursOverTheirsKeepsTheirOtherFieldsAndChecksAgain) {
  auto a = station();
  auto b = station();
  auto c = station();
  const PgRecord row = a->add({{"LNAME", "Baker"}, {"RAW_SU", "50"}});
  ASSERT_EQ(a->store(row, {{"RAW_SU", "55"}, {"STAT", "PASS"}}).kind, Kind::Done);
  const StoreOutcome conflict = b->store(row, {{"RAW_SU", "60"}});
  ASSERT_EQ(conflict.kind, Kind::Conflict);

  // A third station changes the row while the clerk at B decides.
  ASSERT_EQ(c->store(conflict.row, {{"DOT", "06/01/2026"}}).kind, Kind::Done);
  const StoreOutcome again = b->storeAnyway(conflict, {{"RAW_SU", "60"}});
  ASSERT_EQ(again.kind, Kind::Conflict);
  ASSERT_EQ(again.clashes.size(), 1);
  EXPECT_EQ(again.clashes.front().field, "DOT");
  EXPECT_EQ(a->fetch(row.id)->field("RAW_SU"), "55");

  const StoreOutcome stored = b->storeAnyway(again, {{"RAW_SU", "60"}});
  ASSERT_EQ(stored.kind, Kind::Done);
  const PgRecord now = *a->fetch(row.id);
  EXPECT_EQ(now.field("RAW_SU"), "60");
  EXPECT_EQ(now.field("STAT"), "PASS");
  EXPECT_EQ(now.field("DOT"), "06/01/2026");
  EXPECT_EQ(now.version, row.version + 3);
}

// The store's statement sees the row as it was when the statement began; a
// change committed while it waited for the row is newer than that.
TEST_F(Stations, AStoreThatWaitedForAnotherStationsChangeIsAConflictWithTheirValuesAndWritesNothing) {
  auto a = station();
  auto b = station();
  const PgRecord row = a->add({{"LNAME", "Moss"}, {"RAW_PU", "40"}});
  const PgRecord readByB = *b->fetch(row.id);
  const QByteArray bPid = QByteArray::number(PQbackendPID(b->connection().handle()));
  Connection& c = a->connection();
  Transaction tx(c);
  c.exec("UPDATE info SET raw_pu = '45', remark = 'theirs' WHERE id = $1", {QByteArray::number(row.id)});

  std::atomic<bool> done = false;
  StoreOutcome second;
  QString failed;
  std::thread storing([&] {
    try {
      second = b->store(readByB, {{"RAW_PU", "50"}});
    } catch (const quillon::DbError& e) {
      failed = e.message();
    }
    done = true;
  });
  // A commits only once B's statement waits for the row: B began before A's change counted.
  const char* waiting = "SELECT count(*) FROM pg_stat_activity WHERE pid = $1 AND wait_event_type = 'Lock'";
  while (!done && admin().exec(waiting, {bPid}).integer(0, 0) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  tx.commit();
  storing.join();

  ASSERT_TRUE(failed.isEmpty()) << qPrintable(failed);
  ASSERT_EQ(second.kind, Kind::Conflict);
  EXPECT_EQ(second.row.version, row.version + 1);
  EXPECT_EQ(second.row.field("RAW_PU"), "45");
  ASSERT_EQ(second.clashes.size(), 2);
  const FieldClash* pu = clashOn(second, "RAW_PU");
  ASSERT_NE(pu, nullptr);
  EXPECT_EQ(pu->theirs, "45");
  EXPECT_EQ(pu->ours, "50");
  EXPECT_TRUE(pu->changedByUs);
  const FieldClash* remark = clashOn(second, "REMARK");
  ASSERT_NE(remark, nullptr);
  EXPECT_EQ(remark->theirs, "theirs");
  EXPECT_FALSE(remark->changedByUs);
  const PgRecord onServer = *a->fetch(row.id);
  EXPECT_EQ(onServer.field("RAW_PU"), "45");
  EXPECT_EQ(onServer.version, row.version + 1);
}

TEST_F(Stations, SameValuesStoredElsewhereAreNoConflict) {
  auto a = station();
  auto b = station();
  const PgRecord row = a->add({{"LNAME", "Cole"}});
  ASSERT_EQ(a->store(row, {{"TOTAL", "0"}}).kind, Kind::Done);
  ASSERT_EQ(a->store(*a->fetch(row.id), {{"TOTAL", ""}}).kind, Kind::Done);
  // The version moved twice, the fields came back to what B read.
  const StoreOutcome o = b->store(row, {{"REMARK", "ok"}});
  EXPECT_EQ(o.kind, Kind::Done);
  EXPECT_EQ(o.row.version, row.version + 3);
}

TEST_F(Stations, ARowDeletedElsewhereIsReportedAndNeverComesBack) {
  auto a = station();
  auto b = station();
  const PgRecord gone = a->add({{"LNAME", "Dunn"}});
  const PgRecord kept = a->add({{"LNAME", "Eady"}});
  ASSERT_EQ(a->remove(gone).kind, Kind::Done);

  EXPECT_EQ(b->store(gone, {{"RAW_PU", "30"}}).kind, Kind::DeletedElsewhere);
  EXPECT_EQ(b->store(gone, {}).kind, Kind::DeletedElsewhere);
  EXPECT_EQ(b->remove(gone).kind, Kind::DeletedElsewhere);
  EXPECT_FALSE(b->removeAnyway(gone.id));
  EXPECT_FALSE(a->fetch(gone.id).has_value());

  // Deleting a row someone changed since it was read asks first.
  ASSERT_EQ(a->store(kept, {{"RAW_PU", "31"}}).kind, Kind::Done);
  const StoreOutcome del = b->remove(kept);
  ASSERT_EQ(del.kind, Kind::Conflict);
  ASSERT_EQ(del.clashes.size(), 1);
  EXPECT_EQ(del.clashes.front().theirs, "31");
  EXPECT_TRUE(a->fetch(kept.id).has_value());
  EXPECT_TRUE(b->removeAnyway(kept.id));
  EXPECT_EQ(count(), 0);
}

TEST_F(Stations, AddsAtSeveralStationsAtOnceNeverShareAnId) {
  constexpr int kStations = 4, kAdds = 50;
  std::vector<std::vector<qint64>> ids(kStations);
  std::vector<std::unique_ptr<PgStore>> stores;
  for (int s = 0; s < kStations; ++s) stores.push_back(station());
  std::vector<std::thread> threads;
  for (int s = 0; s < kStations; ++s)
    threads.emplace_back([&, s] {
      for (int i = 0; i < kAdds; ++i) ids[s].push_back(stores[s]->add().id);
    });
  for (auto& t : threads) t.join();
  std::set<qint64> all;
  for (const auto& v : ids) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), size_t(kStations * kAdds));
  EXPECT_EQ(count(), kStations * kAdds);
  // A blank row has every field empty but its ID.
  const PgRecord blank = *stores[0]->fetch(*all.begin());
  for (int c = 1; c < blank.fields.size(); ++c) EXPECT_TRUE(blank.fields[c].isEmpty());
  EXPECT_EQ(blank.fields[0], QString::number(blank.id));
}

TEST_F(Stations, RowSourceOrdersByNameFoldingAsciiCaseBlankFirstTiesById) {
  auto a = station();
  EXPECT_TRUE(a->readAll().empty());
  const qint64 zane = a->add({{"LNAME", "zane"}}).id;
  const qint64 silva = a->add({{"LNAME", "de Silva"}}).id;
  const qint64 evans2 = a->add({{"LNAME", "Evans"}}).id;
  const qint64 blank = a->add().id;
  const qint64 davis = a->add({{"LNAME", "Davis"}}).id;
  const qint64 evans1 = a->add({{"LNAME", "EVANS"}}).id;
  std::vector<qint64> order;
  for (const PgRecord& r : a->readAll()) order.push_back(r.id);
  EXPECT_EQ(order, (std::vector<qint64>{blank, davis, silva, evans2, evans1, zane}));
}

TEST_F(Stations, AClerkMayChangeRowsButNotTheTableNorForgeAVersion) {
  auto a = station();
  const PgRecord row = a->add({{"LNAME", "Ford"}});
  a->connection().exec("SET ROLE quillon_clerk");
  const PgRecord added = a->add({{"LNAME", "Gray"}});
  ASSERT_EQ(a->store(row, {{"RAW_PU", "20"}}).kind, Kind::Done);
  // The version is the server's: setting it back does not make a stale read current.
  a->connection().exec("UPDATE info SET version = 1 WHERE id = $1", {QByteArray::number(row.id)});
  EXPECT_EQ(a->fetch(row.id)->version, row.version + 2);
  EXPECT_EQ(a->store(row, {{"RAW_PU", "25"}}).kind, Kind::Conflict);
  for (const char* sql : {"TRUNCATE info", "DROP TABLE info", "ALTER TABLE info DROP COLUMN remark",
                          "INSERT INTO info (id) OVERRIDING SYSTEM VALUE VALUES (999)"}) {
    try {
      a->connection().exec(sql);
      ADD_FAILURE() << "a clerk may: " << sql;
    } catch (const PgError& e) {
      EXPECT_EQ(e.kind(), PgError::Kind::Server) << sql;
      EXPECT_EQ(e.sqlState(), "42501") << sql;
    }
  }
  EXPECT_EQ(a->remove(*a->fetch(added.id)).kind, Kind::Done);
}

TEST_F(Stations, ACallThatLosesTheServerSaysSoAndTheNextOneReconnects) {
  auto a = station();
  const PgRecord row = a->add({{"LNAME", "Hale"}});
  const QString before = a->description();
  const int pid = PQbackendPID(a->connection().handle());
  admin().exec("SELECT pg_terminate_backend($1)", {QByteArray::number(pid)});
  try {
    a->readAll();
    FAIL() << "the terminated connection still answered";
  } catch (const PgError& e) {
    EXPECT_EQ(e.kind(), PgError::Kind::Lost);
    EXPECT_TRUE(e.message().contains(before)) << qPrintable(e.message());
  }
  const StoreOutcome o = a->store(row, {{"RUN_M", "14"}});
  EXPECT_EQ(o.kind, Kind::Done);
  EXPECT_NE(PQbackendPID(a->connection().handle()), pid);
  EXPECT_EQ(a->fetch(row.id)->field("RUN_M"), "14");
}

TEST_F(Stations, AStoreAfterAReconnectPreparesItsStatementAgain) {
  auto a = station();
  PgRecord row = a->add({{"LNAME", "Ives"}});
  // Prepared in the first session, which then ends under it.
  row = a->store(row, {{"RAW_PU", "30"}}).row;
  const int pid = PQbackendPID(a->connection().handle());
  admin().exec("SELECT pg_terminate_backend($1)", {QByteArray::number(pid)});
  EXPECT_THROW(a->store(row, {{"RAW_PU", "31"}}), PgError);
  const StoreOutcome o = a->store(row, {{"RAW_PU", "32"}});
  ASSERT_EQ(o.kind, Kind::Done);
  EXPECT_EQ(a->fetch(row.id)->field("RAW_PU"), "32");
  EXPECT_EQ(o.row.version, row.version + 1);
}

TEST_F(Stations, ATransactionLeftUncommittedStoresNothing) {
  auto a = station();
  const PgRecord row = a->add({{"LNAME", "Jones"}});
  Connection& c = a->connection();
  const QByteArray id = QByteArray::number(row.id);
  try {
    Transaction tx(c);
    c.exec("UPDATE info SET remark = 'half' WHERE id = $1", {id});
    c.exec("SELECT 1 / 0");
    tx.commit();
    ADD_FAILURE() << "a refused statement went unnoticed";
  } catch (const PgError& e) {
    EXPECT_EQ(e.kind(), PgError::Kind::Server);
  }
  EXPECT_EQ(a->fetch(row.id)->field("REMARK"), "");
  // The connection is out of the transaction again: a plain change sticks.
  c.exec("UPDATE info SET remark = 'whole' WHERE id = $1", {id});
  EXPECT_EQ(station()->fetch(row.id)->field("REMARK"), "whole");
}

TEST_F(Stations, ACommitAfterAFailedStatementThatWasCaughtIsRefusedNotSilentlyRolledBack) {
  auto a = station();
  const PgRecord row = a->add({{"LNAME", "Kerr"}});
  Connection& c = a->connection();
  Transaction tx(c);
  c.exec("UPDATE info SET remark = 'kept?' WHERE id = $1", {QByteArray::number(row.id)});
  EXPECT_THROW(c.exec("SELECT 1 / 0"), PgError);
  try {
    tx.commit();
    ADD_FAILURE() << "COMMIT of an aborted transaction was taken as stored";
  } catch (const PgError& e) {
    EXPECT_EQ(e.kind(), PgError::Kind::Server);
    EXPECT_TRUE(e.message().contains("rolled the change back")) << qPrintable(e.message());
  }
  EXPECT_EQ(station()->fetch(row.id)->field("REMARK"), "");
}

TEST_F(Stations, ACommitInASessionOtherThanTheOneThatBeganIsRefused) {
  auto a = station();
  const PgRecord row = a->add({{"LNAME", "Lowe"}});
  Connection& c = a->connection();
  const QByteArray id = QByteArray::number(row.id);
  Transaction tx(c);
  c.exec("UPDATE info SET remark = 'first' WHERE id = $1", {id});
  admin().exec("SELECT pg_terminate_backend($1)", {QByteArray::number(PQbackendPID(c.handle()))});
  EXPECT_THROW(c.exec("SELECT 1"), PgError);
  // A caller that carries on reconnects; what it runs there is outside the transaction.
  c.exec("UPDATE info SET total = '9' WHERE id = $1", {id});
  try {
    tx.commit();
    ADD_FAILURE() << "a commit in a new session was taken as the transaction's";
  } catch (const PgError& e) {
    EXPECT_EQ(e.kind(), PgError::Kind::Lost);
  }
  const PgRecord now = *station()->fetch(row.id);
  EXPECT_EQ(now.field("REMARK"), "");
  EXPECT_EQ(now.field("TOTAL"), "9");
}
