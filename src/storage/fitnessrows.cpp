#include "fitnessrows.h"

#include "recordssession.h"

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
    s.server().open();
  } else {
    s.reopenIfReplaced();
    s.file(RecordsSession::Needs::FiveEvent);
  }
}

std::vector<RowAsRead> FitnessRows::readAll() { return gw().all(readOrder()); }

std::vector<RowAsRead> FitnessRows::readOfSoldiers(const QStringList& ssnDigits, const QStringList& fields) {
  for (const QString& f : fields) Q_ASSERT_X(fitnessFieldNames().contains(f), "readOfSoldiers", qPrintable(f));
  return gw().bySsn(ssnDigits, readOrder(), fields);
}

std::vector<RowAsRead> FitnessRows::readIds(const QList<qint64>& ids) { return gw().byKeys(ids, readOrder()); }

std::optional<RowAsRead> FitnessRows::fetch(qint64 id) { return gw().fetch(id); }

std::optional<RowAsRead> FitnessRows::find(const QString& ssn, const QString& testDate) {
  std::vector<RowAsRead> rows = gw().where({{QStringLiteral("ssn"), ssn}, {QStringLiteral("test_date"), testDate}}, true);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::vector<RowAsRead> FitnessRows::readLatest(const QString& upTo) {
  return gw().latestOfEach(QStringLiteral("ssn"), QStringLiteral("test_date"), QStringLiteral("result_go"), upTo,
                           readOrder());
}

std::optional<FitnessRecords::Changes> FitnessRows::changesSince(const Followed& followed, qint64 mark) {
  if (!gw().keepsChanges()) return std::nullopt;
  Gateway::Followed f;
  f.keys = followed.ids;
  f.column = QStringLiteral("ssn");
  f.values = followed.ssns;
  f.equal = {{QStringLiteral("test_date"), followed.testDate}};
  Gateway::Changes c = gw().changedSince(f, mark);
  return Changes{std::move(c.rows), c.mark};
}

void FitnessRows::refuseSecondRecord(const DbError& e, const Record& values, const RowAsRead* row) {
  const QString ssn = fieldOf(values, row, "ssn"), date = fieldOf(values, row, "test_date");
  if (gw().onServer()) {
    const auto* refused = dynamic_cast<const pg::PgError*>(&e);
    if (refused && refused->sqlState() == QLatin1String("23505"))
      throw DbError(QStringLiteral("SSN %1 already has a five-event test record dated %2.").arg(ssn, date));
    return;
  }
  // The file names the record already there.
  if (ssn.isEmpty()) return;
  if (const std::optional<RowAsRead> other = find(ssn, date); other && (!row || other->key != row->key))
    throw DbError(QStringLiteral("SSN %1 already has a five-event test record dated %2 (ID %3).")
                      .arg(ssn, date)
                      .arg(other->key));
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
