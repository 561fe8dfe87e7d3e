#include "testdaywindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "closekeys.h"
#include "cardsmenu.h"
#include "datetext.h"
#include "dbfile.h"
#include "fitnessrecords.h"
#include "grouproster.h"
#include "historywindow.h"
#include "lanegrid.h"
#include "recordbackend.h"
#include "rosterpreview.h"
#include "soldierpicker.h"
#include "reportsmenu.h"
#include "windowmessages.h"
#include "ssnmask.h"

namespace quillon {

namespace {

enum Col { ColSsn, ColName, ColSex, ColDob, ColUnit, ColStandard, ColRank, ColDodId, ColCount };

// What a clerk types for a standard, as the group keeps it; anything else is
// kept as typed so the save names it.
QString standardOf(const QString& typed) {
  const QString named = rosterStandard(typed);
  return named.isEmpty() ? typed.trimmed() : named;
}

// The date typed, as the group keeps it; text that reads as no date is kept
// as typed so the save names it.
QString isoDateOf(const QString& typed) {
  const std::optional<QDate> d = readDate(typed);
  return d ? d->toString(Qt::ISODate) : typed.trimmed();
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QString::fromLatin1(name));
  return b;
}

}  // namespace

TestDayWindow::TestDayWindow(const QString& dbPath, QWidget* parent)
    : QMainWindow(parent), dbPath_(dbPath), boxes_(std::make_unique<WindowMessages>(this)) {
  setWindowTitle(QStringLiteral("Test Day"));
  setObjectName(QStringLiteral("TestDayWindow"));
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  picker_ = new QComboBox(central);
  picker_->setObjectName(QStringLiteral("groupPicker"));
  picker_->setMinimumContentsLength(30);
  picker_->setAccessibleName(QStringLiteral("Test group"));
  top->addWidget(picker_, 1);
  QPushButton* fresh = button(QStringLiteral("&New Group"), "newGroup", central);
  top->addWidget(fresh);
  layout->addLayout(top);

  auto* form = new QFormLayout;
  // A plain line: a date typed over a selection is the date typed, whole,
  // never merged into sections of the one before.
  date_ = new QLineEdit(central);
  date_->setObjectName(QStringLiteral("testDate"));
  date_->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
  date_->setToolTip(QStringLiteral("The date of the test, YYYY-MM-DD or MM/DD/YYYY"));
  form->addRow(QStringLiteral("Date of &test:"), date_);
  location_ = new QLineEdit(central);
  location_->setObjectName(QStringLiteral("location"));
  form->addRow(QStringLiteral("&Location:"), location_);
  layout->addLayout(form);

  soldiers_ = new QTableWidget(0, ColCount, central);
  soldiers_->setObjectName(QStringLiteral("soldiers"));
  soldiers_->setHorizontalHeaderLabels({QStringLiteral("SSN"), QStringLiteral("Name"), QStringLiteral("Sex"),
                                        QStringLiteral("Date of Birth"), QStringLiteral("Unit"),
                                        QStringLiteral("Standard"), QStringLiteral("Rank"), QStringLiteral("DoD ID")});
  soldiers_->horizontalHeader()->setSectionResizeMode(ColName, QHeaderView::Stretch);
  soldiers_->setAccessibleName(QStringLiteral("Soldiers of the group"));
  // The cells keep the SSN whole, as typed and saved; only its display is
  // masked.
  auto* ssnColumn = new SsnColumnDelegate(soldiers_);
  soldiers_->setItemDelegateForColumn(ColSsn, ssnColumn);
  layout->addWidget(soldiers_, 1);

  auto* buttons = new QHBoxLayout;
  QPushButton* add = button(QStringLiteral("&Add Soldier"), "addSoldier", central);
  QPushButton* remove = button(QStringLiteral("Re&move Soldier"), "removeSoldier", central);
  QPushButton* save = button(QStringLiteral("&Save Group"), "saveGroup", central);
  buttons->addWidget(add);
  buttons->addWidget(remove);
  QPushButton* roster = button(QStringLiteral("Import R&oster..."), "importRoster", central);
  buttons->addWidget(roster);
  QPushButton* stored = button(QStringLiteral("From Recor&ds..."), "fromRecords", central);
  buttons->addWidget(stored);
  buttons->addStretch(1);
  buttons->addWidget(save);
  QPushButton* lanes = button(QStringLiteral("Lane &Entry"), "laneEntry", central);
  buttons->addWidget(lanes);
  // Tab follows the buttons as they stand, left to right.
  QWidget* order[] = {add, remove, roster, stored, save, lanes};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  layout->addLayout(buttons);
  setCentralWidget(central);
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->menuAction()->setObjectName(QStringLiteral("MNU_TESTDAY_FILE"));
  QAction* closeWindow = file->addAction(QStringLiteral("&Close"));
  closeWindow->setObjectName(QStringLiteral("MNU_TESTDAY_CLOSE"));
  closeWindow->setShortcuts(windowCloseKeys());
  connect(closeWindow, &QAction::triggered, this, &QWidget::close);
  QAction* wholeSsn = ssnToggle(this);
  file->addAction(wholeSsn);
  connect(wholeSsn, &QAction::toggled, this, [this, ssnColumn](bool on) {
    ssnColumn->setShown(on ? SsnShown::Whole : SsnShown::Masked);
    soldiers_->viewport()->update();
  });
  menuBar()->addMenu(new ReportsMenu(this, dbPath_));
  statusBar();
  resize(760, 480);
  new CardsMenu(this, dbPath_);
  addHistoryMenu(this, dbPath_);

  connect(fresh, &QPushButton::clicked, this, [this] {
    if (mayLeaveGroup()) newGroup();
  });
  connect(date_, &QLineEdit::editingFinished, this, [this] {
    const QString typed = date_->text();
    if (readDate(typed)) date_->setText(isoDateOf(typed));
    else if (!typed.trimmed().isEmpty())
      say(QStringLiteral("Date of test: '%1' is no date (YYYY-MM-DD).").arg(typed.trimmed()));
  });
  connect(add, &QPushButton::clicked, this, [this] {
    addSoldierRow({});
    soldiers_->setCurrentCell(soldiers_->rowCount() - 1, ColSsn);
    soldiers_->setFocus();
  });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (soldiers_->currentRow() >= 0) soldiers_->removeRow(soldiers_->currentRow());
  });
  connect(roster, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Roster"), QString(),
                                                      QStringLiteral("Rosters (*.csv *.xlsx);;All files (*)"));
    if (!path.isEmpty()) importRoster(path);
  });
  connect(stored, &QPushButton::clicked, this, &TestDayWindow::pickFromRecords);
  connect(save, &QPushButton::clicked, this, &TestDayWindow::saveGroup);
  connect(lanes, &QPushButton::clicked, this, &TestDayWindow::openLanes);
  connect(picker_, &QComboBox::activated, this, [this](int index) {
    const qint64 id = picker_->itemData(index).toLongLong();
    if (!mayLeaveGroup()) {
      // The picker shows the group still on screen.
      picker_->setCurrentIndex(shownId_ ? picker_->findData(shownId_) : -1);
      return;
    }
    try {
      if (std::optional<TestGroup> g = groups_->load(id)) showGroup(*g);
    } catch (const DbError& e) {
      say(e.message());
    }
  });

  try {
    groups_ = TestGroups::forDatabase(dbPath_);
    reloadPicker(0);
  } catch (const DbError& e) {
    say(e.message());
  }
  // The window it was opened from takes this one along when it closes,
  // without asking it: it is asked here first.
  if (parent) parent->installEventFilter(this);
}

TestDayWindow::~TestDayWindow() = default;

void TestDayWindow::say(const QString& text) { statusBar()->showMessage(text); }

void TestDayWindow::setMessageSeam(MessageSeam* seam) { seam_ = seam; }

MessageSeam& TestDayWindow::messages() { return seam_ ? *seam_ : *boxes_; }

bool TestDayWindow::hasUnsavedChanges() const { return groupOnScreen() != shown_; }

bool TestDayWindow::mayLeaveGroup() {
  if (!hasUnsavedChanges()) return true;
  const TestGroup g = groupOnScreen();
  const QString what = g.location.isEmpty() ? QStringLiteral("The test group")
                                             : QStringLiteral("The test group at %1").arg(g.location);
  switch (messages().askSaveChanges(QStringLiteral("%1 has changes that are not saved.").arg(what),
                                    QStringLiteral("Test Day"))) {
    case SaveChoice::Save:
      saveGroup();
      // A refused save keeps the window, with the reason in the status line.
      return !hasUnsavedChanges();
    case SaveChoice::Discard:
      return true;
    case SaveChoice::Cancel:
      break;
  }
  return false;
}

void TestDayWindow::closeEvent(QCloseEvent* e) {
  if (mayLeaveGroup()) e->accept();
  else e->ignore();
}

bool TestDayWindow::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Close && watched == parent() && isVisible() && !close()) {
    // Cancel: the group stays on screen, and so does the window behind it.
    e->ignore();
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

void TestDayWindow::keyPressEvent(QKeyEvent* e) {
  // Reaches the window only when the control with the focus has no use for
  // it: an open cell editor takes Escape to cancel its edit first.
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void TestDayWindow::reloadPicker(qint64 select) {
  picker_->clear();
  const QList<TestGroup> all = groups_->all();
  for (const TestGroup& g : all)
    picker_->addItem(QStringLiteral("%1  %2  (%3 soldiers)").arg(g.testDate, g.location).arg(g.members.size()), g.id);
  // The newest group is the one a clerk most likely comes back to.
  int index = select ? picker_->findData(select) : 0;
  if (index < 0 || all.isEmpty()) return newGroup();
  picker_->setCurrentIndex(index);
  showGroup(all.at(index));
}

void TestDayWindow::showGroup(const TestGroup& group) {
  shownId_ = group.id;
  date_->setText(group.testDate);
  location_->setText(group.location);
  soldiers_->setRowCount(0);
  for (const GroupMember& m : group.members) addSoldierRow(m);
  shown_ = groupOnScreen();
}

void TestDayWindow::newGroup() {
  picker_->setCurrentIndex(-1);
  showGroup(TestGroup{0, QDate::currentDate().toString(Qt::ISODate), QString(), {}});
  location_->setFocus();
}

void TestDayWindow::addSoldierRow(const GroupMember& m) {
  const int row = soldiers_->rowCount();
  soldiers_->insertRow(row);
  const QString values[ColCount] = {m.ssn, m.name, m.sex, m.dob, m.unit, m.standard, m.rank, m.dodId};
  for (int c = 0; c < ColCount; ++c)
    soldiers_->setItem(row, c, c == ColSsn ? new SsnItem(values[c]) : new QTableWidgetItem(values[c]));
}

TestGroup TestDayWindow::groupOnScreen() const {
  TestGroup g;
  g.id = shownId_;
  g.testDate = isoDateOf(date_->text());
  g.location = location_->text().trimmed();
  for (int r = 0; r < soldiers_->rowCount(); ++r) {
    const auto cell = [&](int c) { return soldiers_->item(r, c) ? soldiers_->item(r, c)->text().trimmed() : QString(); };
    g.members << GroupMember{cell(ColSsn).remove(QLatin1Char('-')), cell(ColName), cell(ColSex).toUpper(),
                             cell(ColDob), cell(ColUnit), standardOf(cell(ColStandard)), cell(ColRank).toUpper(),
                             cell(ColDodId)};
  }
  return g;
}

void TestDayWindow::importRoster(const QString& path) {
  // A roster without a Standard column scores everyone under the general
  // standard, which the preview shows beside each name.
  // Read as a five-event roster: a line may name its soldier by the DoD ID
  // number alone. One naming two different stored soldiers refuses it all.
  const RosterPreview read = previewRosterFile(path, {}, RosterFor::FiveEvent);
  QList<KnownSoldier> known;
  try {
    if (read.ok()) known = knownSoldiersFor(read, dbPath_);
  } catch (const DbError& e) {
    return say(e.message());
  }
  const GroupRosterResult r = rosterForGroup(read, groupOnScreen(), QStringLiteral("general"), known);
  if (!r.error.isEmpty()) return say(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), r.error));
  auto* preview = new RosterPreviewDialog(QDir::toNativeSeparators(path), r, this);
  preview->setAttribute(Qt::WA_DeleteOnClose);
  connect(preview, &QDialog::accepted, this, [this, preview] {
    join(preview->result().joining, QStringLiteral("the roster"));
    soldiers_->setToolTip(preview->result().notJoining.join(QLatin1Char('\n')));
  });
  preview->open();
}

void TestDayWindow::pickFromRecords() {
  QList<StoredSoldier> all;
  try {
    std::unique_ptr<RecordBackend> records = RecordBackend::forDatabase(dbPath_);
    std::unique_ptr<FitnessRecords> fiveEvent = FitnessRecords::forDatabase(dbPath_);
    all = storedSoldiers(*records, fiveEvent.get());
  } catch (const DbError& e) {
    return say(e.message());
  }
  if (all.isEmpty())
    return say(QStringLiteral("The records hold no soldier with a nine-digit SSN or a ten-digit DoD ID to pick."));
  auto* picker = new SoldierPicker(all, this);
  picker->setAttribute(Qt::WA_DeleteOnClose);
  connect(picker, &QDialog::accepted, this, [this, picker] {
    QList<GroupMember> members;
    for (const StoredSoldier& s : picker->chosen()) members << memberFromStored(s, QStringLiteral("general"));
    join(members, QStringLiteral("the records"));
  });
  picker->open();
}

// The group may have changed while a dialog was open: a soldier already in
// it stays as the clerk has them.
void TestDayWindow::join(const QList<GroupMember>& members, const QString& from) {
  QList<GroupMember> inGroup = groupOnScreen().members;
  QStringList already;
  int joined = 0;
  for (const GroupMember& m : members) {
    if (std::any_of(inGroup.cbegin(), inGroup.cend(),
                    [&](const GroupMember& g) { return sameSoldier(g.dodId, g.ssn, m.dodId, m.ssn); })) {
      already << m.name;
      continue;
    }
    inGroup << m;
    addSoldierRow(m);
    ++joined;
  }
  QString text = QStringLiteral("%1 soldiers joined from %2.").arg(joined).arg(from);
  if (!already.isEmpty()) text += QStringLiteral(" Already in the group: ") + already.join(QStringLiteral("; "));
  say(text);
}

void TestDayWindow::openLanes() {
  if (!groups_) return say(QStringLiteral("No records are open."));
  // Lanes are entered for the group as saved, never for unsaved edits.
  const std::optional<TestGroup> saved = shownId_ ? groups_->load(shownId_) : std::nullopt;
  if (!saved || *saved != groupOnScreen())
    return say(QStringLiteral("Save the group first: lanes are entered for the group as saved."));
  try {
    auto* grid = new LaneGrid(*saved, dbPath_, this);
    grid->setAttribute(Qt::WA_DeleteOnClose);
    grid->setWindowFlag(Qt::Window);
    grid->show();
    grid->raise();
    grid->activateWindow();
  } catch (const DbError& e) {
    say(e.message());
  }
}

void TestDayWindow::saveGroup() {
  if (!groups_) return say(QStringLiteral("No records are open: the group cannot be saved."));
  try {
    const TestGroup saved = groups_->save(groupOnScreen());
    reloadPicker(saved.id);
    say(QStringLiteral("Test group saved."));
  } catch (const DbError& e) {
    say(e.message());
  }
}

}  // namespace quillon
