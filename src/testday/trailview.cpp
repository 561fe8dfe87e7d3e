#include "trailview.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dbfile.h"

namespace quillon {

namespace {

enum TrailCol { TrailTest, TrailWhen, TrailWho, TrailWhere, TrailAction, TrailField, TrailBefore, TrailAfter, TrailColumns };

TracedTable tableOf(TestKindId kind) {
  return kind == TestKindId::FiveEvent ? TracedTable::FiveEvent : TracedTable::ThreeEvent;
}

QString testOf(const TestResult& e) {
  QString name = testKind(e.kind).name();
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return e.date.isValid() ? name + QLatin1Char(' ') + e.date.toString(Qt::ISODate) : name;
}

// A trail value as it may be read: an SSN masked unless asked for whole.
QString valueShown(const TrailEntry& e, const QString& value, SsnShown how) {
  return e.field == QLatin1String("ssn") ? shownSsn(value, how) : value;
}

// One statement's add or delete of a record wrote a line per field: they
// share the time, the user, the record and the action.
bool sameStatement(const TrailEntry& a, const TrailEntry& b) {
  return a.action == b.action && a.when == b.when && a.who == b.who && a.station == b.station &&
         a.table == b.table && a.record == b.record;
}

}  // namespace

TrailView::TrailView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("historyTrailView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(QStringLiteral("Changes to these records:"), this);
  layout->addWidget(caption);
  table_ = new QTableWidget(0, TrailColumns, this);
  table_->setObjectName(QStringLiteral("historyTrail"));
  table_->setAccessibleName(QStringLiteral("Changes to the soldier's records"));
  caption->setBuddy(table_);
  table_->setHorizontalHeaderLabels({QStringLiteral("Test"), QStringLiteral("When"), QStringLiteral("Who"),
                                     QStringLiteral("Where"), QStringLiteral("Change"), QStringLiteral("Field"),
                                     QStringLiteral("Before"), QStringLiteral("After")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  layout->addWidget(table_, 1);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("historyTrailStatus"));
  layout->addWidget(status_);
}

void TrailView::showChangesOf(const QString& dbPath, const QList<TestResult>& history) {
  lines_.clear();
  QString why;
  try {
    const std::unique_ptr<ChangeTrail> trail = ChangeTrail::forDatabase(dbPath);
    for (const TestResult& h : history) {
      const std::vector<TrailEntry> entries = trail->ofRecord(tableOf(h.kind), h.id);
      for (const TrailEntry& e : entries) {
        if (e.action != TrailEntry::Action::Change && !lines_.empty() && sameStatement(lines_.back().entry, e)) {
          ++lines_.back().fields;
          continue;
        }
        lines_.push_back(Line{testOf(h), e, 1});
      }
    }
  } catch (const DbError& e) {
    lines_.clear();
    why = e.message();
  }
  fill();
  if (!why.isEmpty())
    status_->setText(QStringLiteral("The changes could not be read: %1").arg(why));
  else
    status_->setText(lines_.empty() ? QStringLiteral("No change to these records is traced.")
                                    : QStringLiteral("%1 changes to these records.").arg(lines_.size()));
}

void TrailView::setSsnShown(SsnShown how) {
  ssn_ = how;
  fill();
}

void TrailView::fill() {
  table_->setRowCount(0);
  for (const Line& l : lines_) {
    const TrailEntry& e = l.entry;
    const bool whole = e.action != TrailEntry::Action::Change;
    const QString fields = QStringLiteral("(%1 fields)").arg(l.fields);
    const QString values[TrailColumns] = {
        l.test,
        e.when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        e.who,
        e.address.isEmpty() ? e.station : e.station + QStringLiteral(" (") + e.address + QLatin1Char(')'),
        whole ? (e.action == TrailEntry::Action::Add ? QStringLiteral("record added")
                                                     : QStringLiteral("record deleted"))
              : QStringLiteral("changed"),
        whole ? QString() : e.field,
        whole ? (e.action == TrailEntry::Action::Delete ? fields : QString()) : valueShown(e, e.before, ssn_),
        whole ? (e.action == TrailEntry::Action::Add ? fields : QString()) : valueShown(e, e.after, ssn_)};
    const int r = table_->rowCount();
    table_->insertRow(r);
    for (int c = 0; c < TrailColumns; ++c) table_->setItem(r, c, new QTableWidgetItem(values[c]));
  }
  table_->resizeColumnsToContents();
}

TrailExport::TrailExport(QMainWindow* window, QMenu* menu, const QString& dbPath)
    : QObject(menu), window_(window), dbPath_(dbPath) {
  setObjectName(QStringLiteral("trailExport"));
  savePath = [this](const QString& caption, const QString& suggested) {
    return QFileDialog::getSaveFileName(window_, caption, suggested, QStringLiteral("CSV files (*.csv)"));
  };
  wholeSsn = [] { return SsnShown::Masked; };
  QAction* a = menu->addAction(QStringLiteral("Export &Trail of Changes..."));
  a->setObjectName(QStringLiteral("MNU_HISTORY_TRAIL_EXPORT"));
  connect(a, &QAction::triggered, this, [this] {
    const QString suggested = QDir(QFileInfo(dbPath_).absolutePath()).filePath(QStringLiteral("changes.csv"));
    const QString path = savePath(QStringLiteral("Export Trail of Changes"), suggested);
    if (!path.isEmpty()) exportTo(path);
  });
}

bool TrailExport::exportTo(const QString& path) {
  try {
    std::vector<TrailEntry> entries = ChangeTrail::forDatabase(dbPath_)->all();
    const SsnShown how = wholeSsn();
    for (TrailEntry& e : entries) {
      e.before = valueShown(e, e.before, how);
      e.after = valueShown(e, e.after, how);
    }
    exportTrailCsv(entries, path);
    window_->statusBar()->showMessage(
        QStringLiteral("%1 changes were exported to %2.").arg(entries.size()).arg(QDir::toNativeSeparators(path)));
    return true;
  } catch (const DbError& e) {
    window_->statusBar()->showMessage(QStringLiteral("Nothing was exported: %1").arg(e.message()));
    return false;
  }
}

}  // namespace quillon
