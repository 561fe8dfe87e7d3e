#include "historywindow.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "closekeys.h"
#include "dbfile.h"
#include "historychart.h"
#include "recordrow.h"
#include "testdaywindow.h"
#include "ssnmask.h"
#include "trailview.h"

namespace quillon {

namespace {

enum Col { ColDate, ColTest, ColName, ColEvents, ColTotal, ColResult, ColCount };

// "Five-event": the kind's name as a table cell starts it.
QString testName(const TestKind& kind) {
  QString name = kind.name();
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return name;
}

// "HRP 52 (78)   2MR 15:07 (81)": each event the test holds a value of, as
// its kind writes the event and its figure.
QString eventsText(const TestResult& r) {
  const TestKind& kind = kindOf(r);
  QStringList parts;
  for (const EventResult& ev : r.events) {
    const QString raw = kind.rawText(ev);
    if (raw.isEmpty() && !ev.points) continue;
    QString part = kind.captionOf(ev) + QLatin1Char(' ') + (raw.isEmpty() ? QStringLiteral("-") : raw);
    if (ev.points) part += QStringLiteral(" (%1)").arg(*ev.points);
    parts << part;
  }
  return parts.join(QStringLiteral("   "));
}

HistoryWindow* openHistory(TestDayWindow* window, const QString& dbPath) {
  auto* h = new HistoryWindow(dbPath, window);
  h->setAttribute(Qt::WA_DeleteOnClose);
  h->setWindowFlag(Qt::Window);
  h->show();
  h->raise();
  h->activateWindow();
  return h;
}

}  // namespace

HistoryWindow::HistoryWindow(const QString& dbPath, QWidget* parent) : QWidget(parent), dbPath_(dbPath) {
  setObjectName(QStringLiteral("HistoryWindow"));
  setWindowTitle(QStringLiteral("Soldier's History"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("&SSN or DoD ID:"), this));
  ssn_ = new QLineEdit(this);
  ssn_->setObjectName(QStringLiteral("historySsn"));
  ssn_->setPlaceholderText(QStringLiteral("000-00-0000 or DoD ID number"));
  ssn_->setToolTip(QStringLiteral("The soldier's SSN, or their ten-digit DoD ID number"));
  static_cast<QLabel*>(top->itemAt(0)->widget())->setBuddy(ssn_);
  top->addWidget(ssn_);
  auto* show = new QPushButton(QStringLiteral("S&how"), this);
  show->setObjectName(QStringLiteral("historyShow"));
  show->setDefault(true);
  top->addWidget(show);
  top->addStretch(1);
  wholeSsn_ = new QCheckBox(QStringLiteral("Show &Whole SSNs"), this);
  wholeSsn_->setObjectName(QStringLiteral("historyWholeSsn"));
  top->addWidget(wholeSsn_);
  layout->addLayout(top);

  auto* split = new QSplitter(Qt::Vertical, this);
  table_ = new QTableWidget(0, ColCount, split);
  table_->setObjectName(QStringLiteral("historyTable"));
  table_->setAccessibleName(QStringLiteral("Tests of the soldier"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Date of Test"), QStringLiteral("Test"), QStringLiteral("Name"),
                                     QStringLiteral("Events (points)"), QStringLiteral("Total"),
                                     QStringLiteral("Result")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(ColEvents, QHeaderView::Stretch);
  chart_ = new HistoryChart(split);
  chart_->setAccessibleName(QStringLiteral("Chart of the soldier's totals"));
  chart_->setAccessibleDescription(QStringLiteral("The same tests as the table above, drawn over time"));
  split->addWidget(table_);
  split->addWidget(chart_);
  trail_ = new TrailView(split);
  split->addWidget(trail_);
  layout->addWidget(split, 1);
  auto* bottom = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("historyStatus"));
  bottom->addWidget(status_, 1);
  auto* closeButton = new QPushButton(QStringLiteral("&Close"), this);
  closeButton->setObjectName(QStringLiteral("historyClose"));
  bottom->addWidget(closeButton);
  layout->addLayout(bottom);
  resize(900, 620);

  auto* closeWindow = new QAction(QStringLiteral("Close"), this);
  closeWindow->setObjectName(QStringLiteral("historyCloseAction"));
  closeWindow->setShortcuts(windowCloseKeys());
  addAction(closeWindow);
  connect(closeWindow, &QAction::triggered, this, &QWidget::close);
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

  // The field shows the soldier's SSN masked: shown again, it stands for
  // the SSN it masks.
  const auto typed = [this] { return ssn_->text() == shownSsn(shown_) ? shown_ : ssn_->text(); };
  connect(show, &QPushButton::clicked, this, [this, typed] { showSoldier(typed()); });
  connect(ssn_, &QLineEdit::returnPressed, this, [this, typed] { showSoldier(typed()); });
  connect(wholeSsn_, &QCheckBox::toggled, this, [this, typed](bool on) {
    const QString ssn = typed();
    ssnShown_ = on ? SsnShown::Whole : SsnShown::Masked;
    if (!shown_.isEmpty() && ssn == shown_ && !normalizedDodId(shown_)) ssn_->setText(shownSsn(shown_, ssnShown_));
    trail_->setSsnShown(ssnShown_);
  });
  QAction* whole = ssnToggle(this);
  connect(whole, &QAction::toggled, wholeSsn_, &QCheckBox::setChecked);
  connect(wholeSsn_, &QCheckBox::toggled, whole, &QAction::setChecked);
  wholeSsn_->setChecked(whole->isChecked());
}

void HistoryWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(e);
}

void HistoryWindow::showSoldier(const QString& ssn) {
  table_->setRowCount(0);
  chart_->setSeries({});
  // A DoD ID number is no secret to mask: it names the soldier as typed.
  const std::optional<QString> dodId = normalizedDodId(ssn);
  const std::optional<QString> normal = dodId ? dodId : normalizedSsn(ssn);
  if (!normal) return status_->setText(QStringLiteral("SSN: \"%1\" is not nine digits.").arg(ssn));
  shown_ = *normal;
  const auto shownId = [&] { return dodId ? *dodId : shownSsn(*normal, ssnShown_); };
  ssn_->setText(shownId());
  QList<TestResult> history;
  try {
    history = loadSoldierHistory(dbPath_, *normal);
  } catch (const DbError& e) {
    return status_->setText(e.message());
  }
  for (const TestResult& e : history) {
    const TestKind& kind = kindOf(e);
    const int r = table_->rowCount();
    table_->insertRow(r);
    const QString values[ColCount] = {
        e.date.isValid() ? e.date.toString(Qt::ISODate) : QString(),
        testName(kind),
        e.soldier.name,
        eventsText(e),
        e.total ? QString::number(*e.total) : QString(),
        e.result};
    for (int c = 0; c < ColCount; ++c) {
      auto* item = new QTableWidgetItem(values[c]);
      if (c == ColResult && e.result == kind.failWord()) item->setForeground(Qt::red);
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setSectionResizeMode(ColEvents, QHeaderView::Stretch);
  chart_->setSeries(historyChart(history));
  trail_->showChangesOf(dbPath_, history);
  const QString who = history.isEmpty() ? shownId() : history.first().soldier.name;
  setWindowTitle(QStringLiteral("History of %1").arg(who));
  status_->setText(history.isEmpty() ? QStringLiteral("No test is stored for %1 %2.").arg(dodId ? "DoD ID" : "SSN", who)
                                     : QStringLiteral("%1 tests of %2.").arg(history.size()).arg(who));
}

void addHistoryMenu(TestDayWindow* window, const QString& dbPath) {
  QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&History"));
  menu->menuAction()->setObjectName(QStringLiteral("MNU_HISTORY"));
  QAction* selected = menu->addAction(QStringLiteral("&Selected Soldier's History"));
  selected->setObjectName(QStringLiteral("MNU_HISTORY_SELECTED"));
  QAction* bySsn = menu->addAction(QStringLiteral("History by SS&N..."));
  bySsn->setObjectName(QStringLiteral("MNU_HISTORY_SSN"));
  QObject::connect(selected, &QAction::triggered, window, [window, dbPath] {
    const auto* soldiers = window->findChild<QTableWidget*>(QStringLiteral("soldiers"));
    const int row = soldiers ? soldiers->currentRow() : -1;
    const QList<GroupMember> members = window->groupOnScreen().members;
    if (row < 0 || row >= members.size())
      return window->statusBar()->showMessage(QStringLiteral("Select a soldier of the group first."));
    const GroupMember& m = members.at(row);
    openHistory(window, dbPath)->showSoldier(m.dodId.isEmpty() ? m.ssn : m.dodId);
  });
  QObject::connect(bySsn, &QAction::triggered, window, [window, dbPath] {
    openHistory(window, dbPath)->findChild<QLineEdit*>(QStringLiteral("historySsn"))->setFocus();
  });
  new TrailExport(window, menu, dbPath);
}

}  // namespace quillon
