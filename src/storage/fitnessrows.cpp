#include "fitnessrows.h"

#include "pgconnection.h"
#include "recordssession.h"
#include "serversetup.h"

namespace quillon {

namespace {

// The order every read gives: by date of test, name, ID.
const QStringList& readOrder() {
  static const QStringList order{QStringLiteral("test_date"), Gateway::byName(QStringLiteral("name")),
                                 QStringLiteral("id")};
  return order;
}

QString fieldOf(const Record& values, const RowAsRead* row, const char* name) {
  const QString key = QString::fromLatin1(name);
  if (values.contains(key) || !row) return values.value(key);
  return row->fields.value(fitnessFieldNames().indexOf(key));
}

// How often a store is tried again when the row moved between its write and
// the read that looked why, no field of it clashing.
constexpr int kRounds = 3;

}  // namespace

FitnessRows::FitnessRows(std::function<std::shared_ptr<RecordsSession>()> session) : reopen_(std::move(session)) {}

FitnessRows::~FitnessRows() = default;

Gateway& FitnessRows::gw() {
  if (!gateway_) gateway_ = std::make_unique<Gateway>(reopen_(), fitnessTable());
  return *gateway_;
}

RecordsSession& FitnessRows::session() { return gw().session(); }

void FitnessRows::open() {
  RecordsSession& s = session();
  if (s.isServer()) {
    pg::Connection& c = s.server();
    c.open();
    // Once a session: a server set up before the DoD ID number is said to
    // be so, with what to do, before any read or store meets the gap.
    if (checkedSession_ != c.session()) {
      requireServerColumn(c, QStringLiteral("fitness_tests"), QStringLiteral("dod_id"));
      checkedSession_ = c.session();
    }
  } else {
    s.reopenIfReplaced();
    s.file(RecordsSession::Needs::FiveEvent);
  }
}

std::vector<RowAsRead> FitnessRows::readAll() { return gw().all(readOrder()); }

void FitnessRows::forEachOf(const QStringList& fields, const std::function<bool(const RowAsRead&)>& row) {
  for (const QString& f : fields)
    if (!fitnessFieldNames().contains(f)) throw DbError(QStringLiteral("No field '%1' in the five-event records.").arg(f));
  gw().each(readOrder(), fields, row);
}

std::vector<RowAsRead> FitnessRows::readOfSoldiers(const QStringList& soldiers, const QStringList& fields) {
  for (const QString& f : fields) Q_ASSERT_X(fitnessFieldNames().contains(f), "readOfSoldiers", qPrintable(f));
  QStringList ssns, dodIds;
  for (const QString& id : soldiers) (id.size() == 10 ? dodIds : ssns) << id;
  return gw().bySsnOr(ssns, QStringLiteral("dod_id"), dodIds, readOrder(), fields);
}

std::vector<RowAsRead> FitnessRows::readOfSoldiersUnordered(const QStringList& soldiers) {
  QStringList ssns, dodIds;
  for (const QString& id : soldiers) (id.size() == 10 ? dodIds : ssns) << id;
  return gw().bySsnOr(ssns, QStringLiteral("dod_id"), dodIds, {}, {});
}

std::vector<RowAsRead> FitnessRows::readIds(const QList<qint64>& ids) { return gw().byKeys(ids, readOrder()); }

std::optional<RowAsRead> FitnessRows::fetch(qint64 id) { return gw().fetch(id); }

std::optional<RowAsRead> FitnessRows::find(const QString& ssn, const QString& testDate) {
  std::vector<RowAsRead> rows = gw().where({{QStringLiteral("ssn"), ssn}, {QStringLiteral("test_date"), testDate}}, true);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::vector<RowAsRead> FitnessRows::readLatest(const QString& upTo) {
  // The latest records are found per SSN; a soldier known by the DoD ID
  // number alone has none, so while the table holds such a record every
  // record is read.
  if (gw().anyWithout(QStringLiteral("ssn"), QStringLiteral("dod_id"))) return readAll();
  return gw().latestOfEach(QStringLiteral("ssn"), QStringLiteral("test_date"), QStringLiteral("result_go"), upTo,
                           readOrder());
}

std::optional<FitnessRecords::Changes> FitnessRows::changesSince(const Followed& followed, qint64 mark) {
  if (!gw().keepsChanges()) return std::nullopt;
  Gateway::Followed f;
  f.keys = followed.ids;
  f.columns = {{QStringLiteral("ssn"), followed.ssns}, {QStringLiteral("dod_id"), followed.dodIds}};
  f.equal = {{QStringLiteral("test_date"), followed.testDate}};
  Gateway::Changes c = gw().changedSince(f, mark);
  return Changes{std::move(c.rows), c.mark};
}

void FitnessRows::holdCacheSmall(bool held) { session().holdCacheSmall(held); }

std::optional<RowAsRead> FitnessRows::findByDodId(const QString& dodId, const QString& testDate) {
  std::vector<RowAsRead> rows =
      gw().where({{QStringLiteral("dod_id"), dodId}, {QStringLiteral("test_date"), testDate}}, true);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

void FitnessRows::refuseSecondRecord(const DbError& e, const Record& values, const RowAsRead* row) {
  const QString ssn = fieldOf(values, row, "ssn"), date = fieldOf(values, row, "test_date");
  const QString dodId = fieldOf(values, row, "dod_id");
  // The record already there by the DoD ID, when that is what clashed.
  const auto byDodId = [&]() -> std::optional<RowAsRead> {
    if (dodId.isEmpty()) return std::nullopt;
    std::optional<RowAsRead> other = findByDodId(dodId, date);
    if (other && row && other->key == row->key) return std::nullopt;
    return other;
  };
  if (gw().onServer()) {
    const auto* refused = dynamic_cast<const pg::PgError*>(&e);
    if (!refused || refused->sqlState() != QLatin1String("23505")) return;
    // The server's message names the index that refused; nothing more is
    // asked of a transaction the refusal ended.
    if (e.message().contains(QLatin1String("fitness_tests_dod_id_date")))
      throw DbError(QStringLiteral("DoD ID %1 already has a five-event test record dated %2.").arg(dodId, date));
    throw DbError(QStringLiteral("SSN %1 already has a five-event test record dated %2.").arg(ssn, date));
  }
  if (const std::optional<RowAsRead> other = byDodId())
    throw DbError(QStringLiteral("DoD ID %1 already has a five-event test record dated %2 (ID %3).")
                      .arg(dodId, date)
                      .arg(other->key));
  // The file names the record already there.
  if (ssn.isEmpty()) return;
  if (const std::optional<RowAsRead> other = find(ssn, date); other && (!row || other->key != row->key))
    throw DbError(QStringLiteral("SSN %1 already has a five-event test record dated %2 (ID %3).")
                      .arg(ssn, date)
                      .arg(other->key));
}

void FitnessRows::requireIdentifier(const Record& values, const RowAsRead* row) {
  if (!fieldOf(values, row, "ssn").trimmed().isEmpty() || !fieldOf(values, row, "dod_id").isEmpty()) return;
  throw DbError(QStringLiteral("A five-event test record needs the soldier's SSN or DoD ID number."));
}

RowAsRead FitnessRows::add(const Record& values) {
  const Record v = checkedFitnessValues(values);
  try {
    return gw().add(v);
  } catch (const DbError& e) {
    refuseSecondRecord(e, v, nullptr);
    throw;
  }
}

RowAsRead FitnessRows::store(const RowAsRead& asRead, const Record& changes) {
  const Record v = checkedFitnessValues(changes);
  if (v.isEmpty()) {
    const std::optional<RowAsRead> now = fetch(asRead.key);
    if (!now) throw DbError(deletedMessage(QString::number(asRead.key)));
    return *now;
  }
  if (v.contains(QStringLiteral("ssn")) || v.contains(QStringLiteral("dod_id"))) {
    // A record may come naming no one (from a file made by hand, an older
    // program), but a change never takes the last identifier off one.
    const std::optional<RowAsRead> now = fetch(asRead.key);
    if (!now) throw DbError(deletedMessage(QString::number(asRead.key)));
    const bool named = !fieldOf({}, &*now, "ssn").trimmed().isEmpty() || !fieldOf({}, &*now, "dod_id").isEmpty();
    if (named) requireIdentifier(v, &*now);
  }
  // Callers hand in a row as read whose version is not the row's own (a
  // lane keeps its own fields from an earlier read while other lanes store
  // theirs), so the fields written are checked, never the version.
  RowAsRead base = asRead;
  for (int round = 1;; ++round) {
    Gateway::Outcome out;
    try {
      out = gw().store(base, v, Gateway::Check::FieldsWritten);
    } catch (const DbError& e) {
      refuseSecondRecord(e, v, &asRead);
      throw;
    }
    if (out.stored) return *out.stored;
    if (!out.now) throw DbError(deletedMessage(QString::number(asRead.key)));
    const QList<FieldClash> clashes = fitnessClashes(asRead, *out.now, v);
    if (!clashes.isEmpty() || round == kRounds) throw ConflictError(StoreConflict{asRead.key, *out.now, clashes});
    base = *out.now;
  }
}

bool FitnessRows::remove(const RowAsRead& asRead) {
  RowAsRead base = asRead;
  for (int round = 1;; ++round) {
    const Gateway::Outcome out = gw().remove(base, Gateway::Check::AllFields);
    if (out.stored) return true;
    if (!out.now) return false;
    const QList<FieldClash> clashes = fitnessClashes(asRead, *out.now, {});
    if (!clashes.isEmpty() || round == kRounds) throw ConflictError(StoreConflict{asRead.key, *out.now, clashes});
    base = *out.now;
  }
}

}  // namespace quillon
