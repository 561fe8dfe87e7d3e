// What a batch reports of the rows it added is what the file holds, on
// tables of every shape a records file may have: the Undo step compares the
// file with that report, and a redo stores it again. The batch works out
// most rows instead of reading them back, so each shape here has rows the
// engine keeps in another form than they were given, and values that differ
// from row to row.
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "recordsdb.h"
#include "recordstore.h"
#include "testsupport.h"

using quillon::BatchOp;
using quillon::FieldValues;
using quillon::RecordStore;

namespace {

// The program's own table with some declarations changed; every other field
// stays as the program makes it.
QString tableWith(const QHash<QString, QString>& declared, const QString& id = {}) {
  QString ddl = quillon::infoTableDdl();
  for (auto it = declared.cbegin(); it != declared.cend(); ++it)
    ddl.replace(QRegularExpression("\\b" + it.key() + " TEXT\\b"), it.key() + ' ' + it.value());
  if (!id.isEmpty()) ddl.replace(QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT"), "ID " + id);
  return "DROP TABLE info; " + ddl;
}

struct Table {
  const char* name;
  QString sql;  // run on a fresh records file before it is opened
};

void PrintTo(const Table& t, std::ostream* os) { *os << t.name; }

class BatchInsertTest : public ::testing::TestWithParam<Table> {
 protected:
  quillon::test::ScratchDir dir;
  // A new info.mdb shaped as the table asks, opened in `store`.
  void open(RecordStore& store) {
    const QString path = dir.file(QStringLiteral("info.mdb"));
    quillon::createRecordsDatabase(path);
    if (!GetParam().sql.isEmpty()) quillon::test::execSql(path, GetParam().sql);
    store.setDatabaseName(path);
    store.refresh();
  }
};

// The file's own record of the row, only the fields holding a value, as an
// added row is reported.
QStringList heldInFile(RecordStore& store, qint64 key) {
  QStringList out;
  const std::optional<quillon::Record> now = store.storedRecord(key);
  if (!now) return {"<no such row>"};
  for (const QString& f : store.fieldNames())
    if (!now->value(f).isNull()) out << f + '=' + now->value(f);
  return out;
}

QStringList reported(const FieldValues& after) {
  QStringList out;
  for (const FieldValues::Field& f : after) out << f.name + '=' + f.value;
  return out;
}

TEST_P(BatchInsertTest, EveryAddedRowIsReportedAsTheFileHoldsIt) {
  RecordStore store;
  open(store);
  QList<BatchOp> ops;
  for (int i = 0; i < 6; ++i) {
    FieldValues f;
    f.insert(QStringLiteral("LNAME"), QStringLiteral("Soldier %1").arg(i));
    f.insert(QStringLiteral("RAW_PU"), QStringLiteral("0%1").arg(40 + i));
    // Empty text, no value, and text that cannot be stored as given.
    f.insert(QStringLiteral("RANK"), i % 2 ? QStringLiteral("") : QString());
    f.insert(QStringLiteral("SEX"), i == 4 ? QString(QChar(0xD800)) : QStringLiteral("F"));
    ops.append({BatchOp::Insert, 0, f});
  }
  // A different set of fields takes a statement of its own.
  FieldValues other;
  other.insert(QStringLiteral("SSN"), QStringLiteral("000-01-0001"));
  ops.append({BatchOp::Insert, 0, other});
  ops.append({BatchOp::Insert, 0, other});
  const auto done = store.applyBatch(ops);
  ASSERT_TRUE(done);
  ASSERT_EQ(done->size(), ops.size());
  for (const quillon::BatchChange& c : *done) {
    ASSERT_TRUE(c.after);
    EXPECT_EQ(reported(*c.after), heldInFile(store, c.key)) << "row " << c.key;
  }
}

// The rows shown after a batch are the rows the file holds, field by field,
// when consecutive added rows name different fields: the same number of
// fields with one name changed, in another order, and fewer.
TEST_P(BatchInsertTest, EveryAddedRowIsShownAsTheFileHoldsIt) {
  RecordStore store;
  open(store);
  const QList<QStringList> shapes = {{"LNAME", "RANK", "SSN", "SEX"},
                                     {"LNAME", "RANK", "SSN", "DOB"},
                                     {"SSN", "LNAME", "RANK", "SEX"},
                                     {"REMARK", "LNAME"}};
  QList<BatchOp> ops;
  for (int i = 0; i < 12; ++i) {
    FieldValues f;
    for (const QString& name : shapes.at(i % shapes.size())) f.insert(name, QStringLiteral("%1 %2").arg(name).arg(i));
    // A key of many digits, zeros among them, then the next free ones after it.
    ops.append({BatchOp::Insert, i == 5 ? Q_INT64_C(9000000000102) : 0, f});
  }
  const auto done = store.applyBatch(ops);
  ASSERT_TRUE(done);
  ASSERT_EQ(store.rowCount(), ops.size());
  for (const quillon::BatchChange& c : *done) {
    const int row = store.indexOfKey(c.key);
    ASSERT_GE(row, 0) << "row " << c.key << " is not shown";
    const std::optional<quillon::Record> now = store.storedRecord(c.key);
    ASSERT_TRUE(now);
    for (int col = 0; col < store.fieldNames().size(); ++col)
      EXPECT_EQ(store.value(row, col), now->value(store.fieldNames().at(col)))
          << "row " << c.key << ", " << qPrintable(store.fieldNames().at(col));
    EXPECT_EQ(reported(*c.after), heldInFile(store, c.key)) << "row " << c.key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, BatchInsertTest,
    ::testing::Values(Table{"AsTheProgramMakesIt", {}},
                      // A number field keeps "040" as 40.
                      Table{"NumberField", tableWith({{"RAW_PU", "INTEGER"}})},
                      // Defaults: one for every row, and ones worked out per row.
                      Table{"ConstantDefaults", tableWith({{"REMARK", "TEXT DEFAULT 'none yet'"}, {"DOT", "TEXT DEFAULT 12"}})},
                      Table{"DefaultPerRow", tableWith({{"STAT", "TEXT DEFAULT (hex(randomblob(4)))"}})},
                      Table{"DefaultTime", tableWith({{"PROFILE", "TEXT DEFAULT CURRENT_TIMESTAMP"}})},
                      // ID an ordinary field of a hand-made table: not the row number.
                      Table{"IdNotTheRowNumber", tableWith({}, QStringLiteral("INTEGER"))},
                      // A trigger fills a field after the insert.
                      Table{"Trigger", tableWith({}) + "; CREATE TRIGGER stamp AFTER INSERT ON info BEGIN "
                                                       "UPDATE info SET REMARK = 'added ' || new.ID WHERE ID = new.ID; END"}),
    [](const ::testing::TestParamInfo<Table>& info) { return std::string(info.param.name); });

}  // namespace
