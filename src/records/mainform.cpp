#include "mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "alternate.h"
#include "mainform_session.h"
#include "menupart.h"
#include "messageboxseam.h"
#include "recordgrid.h"
#include "conflictdialog.h"
#include "recordstore.h"

namespace quillon {

MainForm::MainForm(QWidget* parent) : QMainWindow(parent) {
  boxes_ = std::make_unique<WidgetMessageSeam>(this);
  seam_ = std::make_unique<SeamSwitch>(*boxes_);
  widgetControls_ = std::make_unique<WidgetControls>(*this);
  buildWindow();
  history_ = std::make_unique<RecordHistory>(*Data1, this);
  createMenus();
  createEditMenu();
  connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainForm::onFocusWindowChanged);
  Form_Load();
  loadControls();
}

MainForm::~MainForm() {
  // The members go before the widgets: a cell editor still open passes its
  // text on as the window goes, and nothing of this window may hear of it.
  QObject::disconnect(&history_->stack(), nullptr, this, nullptr);
  QObject::disconnect(Data1, nullptr, this, nullptr);
  QObject::disconnect(model_, nullptr, this, nullptr);
  QObject::disconnect(TDBGrid1, nullptr, this, nullptr);
  QObject::disconnect(TDBGrid1->selectionModel(), nullptr, this, nullptr);
  if (alternate_) alternate_->abandonWait();
  lock_.release();
}

QString MainForm::databasePath() { return QDir::current().filePath(QStringLiteral("info.mdb")); }

void MainForm::buildWindow() {
  setWindowTitle(QStringLiteral("Quillon"));
  setObjectName(QStringLiteral("MainForm"));

  auto* central = new QWidget(this);
  setCentralWidget(central);

  auto named = [](auto* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
  };
  auto lineEdit = [&](const char* name) { return named(new QLineEdit(central), name); };
  auto label = [&](const char* name, const QString& text) { return named(new QLabel(text, central), name); };
  // Points and results: framed, centred, wide enough for "PROFILE".
  auto result = [&](const char* name, int chars) {
    QLabel* l = label(name, QString());
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('W'))) + 12);
    l->setMinimumHeight(l->fontMetrics().height() + 10);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
  };

  Data1 = new RecordStore(this);
  Data1->setObjectName(QStringLiteral("Data1"));

  TDBGrid1 = named(new RecordGrid(central), "TDBGrid1");
  model_ = new RecordModel(*Data1, this);
  TDBGrid1->setModel(model_);
  TDBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  TDBGrid1->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  const int ch = TDBGrid1->fontMetrics().horizontalAdvance(QLatin1Char('W'));
  TDBGrid1->setColumnWidth(0, ch * 5);
  TDBGrid1->setColumnWidth(2, ch * 5);
  TDBGrid1->setColumnWidth(3, ch * 10);
  TDBGrid1->setColumnWidth(4, ch * 4);
  TDBGrid1->setMinimumHeight(TDBGrid1->verticalHeader()->defaultSectionSize() * 8);

  Label1 = label("Label1", QStringLiteral("Date of Birth:"));
  DOB = lineEdit("DOB");
  Label3 = label("Label3", QStringLiteral("Date of Test:"));
  DOT = lineEdit("DOT");
  const int dateWidth = DOB->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 16;
  DOB->setFixedWidth(dateWidth);
  DOT->setFixedWidth(dateWidth);
  Label1->setBuddy(DOB);
  Label3->setBuddy(DOT);

  Label11 = label("Label11", QStringLiteral("Remark:"));
  MaskEdBox1 = lineEdit("MaskEdBox1");
  Label11->setBuddy(MaskEdBox1);

  Scores = named(new QGroupBox(QStringLiteral("Input Scores"), central), "Scores");
  Label6 = named(new QLabel(QStringLiteral("Push-up"), Scores), "Label6");
  Label7 = named(new QLabel(QStringLiteral("Sit-up"), Scores), "Label7");
  Label8 = named(new QLabel(QStringLiteral("2M Run"), Scores), "Label8");
  Label9 = named(new QLabel(QStringLiteral(":"), Scores), "Label9");
  RAW_PU = named(new QLineEdit(Scores), "RAW_PU");
  RAW_SU = named(new QLineEdit(Scores), "RAW_SU");
  RUN_M = named(new QLineEdit(Scores), "RUN_M");
  RUN_S = named(new QLineEdit(Scores), "RUN_S");
  // A screen reader announces each entry by its own label, not by the
  // frame's title; the run's two boxes share one label, so they say which
  // half they are.
  Label6->setBuddy(RAW_PU);
  Label7->setBuddy(RAW_SU);
  Label8->setBuddy(RUN_M);
  Label9->setBuddy(RUN_S);
  RAW_PU->setAccessibleName(Label6->text());
  RAW_SU->setAccessibleName(Label7->text());
  RUN_M->setAccessibleName(Label8->text() + QStringLiteral(" minutes"));
  RUN_S->setAccessibleName(Label8->text() + QStringLiteral(" seconds"));
  for (QLineEdit* e : {RAW_PU, RAW_SU, RUN_M, RUN_S}) {
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
    e->setAlignment(Qt::AlignRight);
  }
  C_PU = result("C_PU", 4);
  C_SU = result("C_SU", 4);
  C_RUN = result("C_RUN", 4);
  STAT = result("STAT", 7);
  Prof = result("Prof", 7);
  TOTAL = result("TOTAL", 7);
  for (QLabel* l : {C_PU, C_SU, C_RUN, STAT, Prof, TOTAL}) l->setParent(Scores);
  Command6 = named(new QPushButton(QStringLiteral("&Convert"), Scores), "Command6");
  Command6->setMinimumHeight(Command6->sizeHint().height() * 2);

  auto* sg = new QGridLayout(Scores);
  sg->setHorizontalSpacing(10);
  sg->addWidget(Label6, 0, 0);
  sg->addWidget(RAW_PU, 0, 1);
  sg->addWidget(Label7, 1, 0);
  sg->addWidget(RAW_SU, 1, 1);
  sg->addWidget(Label8, 2, 0);
  sg->addWidget(RUN_M, 2, 1);
  sg->addWidget(Label9, 2, 2);
  sg->addWidget(RUN_S, 2, 3);
  sg->addWidget(Command6, 0, 4, 3, 1, Qt::AlignVCenter);
  sg->addWidget(C_PU, 0, 5);
  sg->addWidget(C_SU, 1, 5);
  sg->addWidget(C_RUN, 2, 5);
  sg->setColumnMinimumWidth(6, 20);
  sg->setColumnStretch(6, 1);
  sg->addWidget(STAT, 0, 7);
  sg->addWidget(Prof, 1, 7);
  sg->addWidget(TOTAL, 2, 7);

  Command2 = named(new QPushButton(QStringLiteral("&Add"), central), "Command2");
  Command3 = named(new QPushButton(QStringLiteral("&Delete"), central), "Command3");
  Command4 = named(new QPushButton(QStringLiteral("&Update"), central), "Command4");
  Command7 = named(new QPushButton(QStringLiteral("&Sort"), central), "Command7");

  // Lies outside every layout and is never shown: the clerk edits the sex in
  // the grid; Convert reads (and trims) it here.
  Sex = lineEdit("Sex");
  Sex->setFocusPolicy(Qt::NoFocus);
  Sex->hide();

  auto* top = new QVBoxLayout(central);
  top->addWidget(TDBGrid1, 1);
  auto* dates = new QHBoxLayout;
  dates->addWidget(Label1);
  dates->addWidget(DOB);
  dates->addStretch(1);
  dates->addWidget(Label3);
  dates->addWidget(DOT);
  top->addLayout(dates);
  auto* remark = new QHBoxLayout;
  remark->addWidget(Label11);
  remark->addWidget(MaskEdBox1, 1);
  top->addLayout(remark);
  top->addWidget(Scores);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Command2, Command3, Command4, Command7}) buttons->addWidget(b, 1);
  top->addLayout(buttons);

  // The clerk's path through a record: grid, remark, the scores, Convert,
  // the commands, and the dates last.
  QWidget* order[] = {TDBGrid1, MaskEdBox1, RAW_PU,   RAW_SU,   RUN_M, RUN_S, Command6,
                      Command2, Command3,   Command4, Command7, DOT,   DOB};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  bindings_ = {{DOB, "DOB"},       {DOT, "DOT"},       {MaskEdBox1, "REMARK"}, {RAW_PU, "RAW_PU"},
               {RAW_SU, "RAW_SU"}, {RUN_M, "RUN_M"},   {RUN_S, "RUN_S"},       {Sex, "SEX"},
               {C_PU, "C_PU"},     {C_SU, "C_SU"},     {C_RUN, "C_RUN"},       {TOTAL, "TOTAL"},
               {STAT, "STAT"},     {Prof, "PROFILE"}};

  connect(Command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &MainForm::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &MainForm::Command4_Click);
  connect(Command6, &QPushButton::clicked, this, &MainForm::Command6_Click);
  connect(Command7, &QPushButton::clicked, this, &MainForm::Command7_Click);

  connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& now, const QModelIndex& before) { onGridRowChanged(now.row(), before.row()); });
  connect(TDBGrid1, &RecordGrid::deleteRequested, this, &MainForm::onGridDelete);
  connect(TDBGrid1, &RecordGrid::revertRequested, this, &MainForm::onGridRevert);
  connect(model_, &RecordModel::storeFailed, this, &MainForm::reportDbError, Qt::QueuedConnection);
  connect(model_, &RecordModel::rowAddedInGrid, this, [this](int row) {
    pendingGridRow_ = row;
    QTimer::singleShot(0, this, [this] { applyGridAdd(); });
  });
  connect(Data1, &RecordStore::rowChanged, this, &MainForm::onStoreRowChanged);

  statusBar()->setSizeGripEnabled(true);
  // Which records are open (the file, or the server and database), for good.
  statusBar()->addPermanentWidget(named(new QLabel(this), "openRecords"));
  connect(Data1, &RecordStore::opened, findChild<QLabel*>(QStringLiteral("openRecords")), &QLabel::setText);
  setMinimumSize(560, 520);
  resize(680, 640);
}

// ---------------------------------------------------------------- binding

const MainForm::Binding& MainForm::bindingOf(Ctl c) const {
  QWidget* w = nullptr;
  switch (c) {
    case Ctl::DOB: w = DOB; break;
    case Ctl::Sex: w = Sex; break;
    case Ctl::RUN_M: w = RUN_M; break;
    case Ctl::RUN_S: w = RUN_S; break;
    case Ctl::RAW_SU: w = RAW_SU; break;
    case Ctl::RAW_PU: w = RAW_PU; break;
    case Ctl::C_RUN: w = C_RUN; break;
    case Ctl::C_SU: w = C_SU; break;
    case Ctl::C_PU: w = C_PU; break;
    case Ctl::TOTAL: w = TOTAL; break;
    case Ctl::DOT: w = DOT; break;
    case Ctl::STAT: w = STAT; break;
    case Ctl::Prof: w = Prof; break;
  }
  for (const Binding& b : bindings_)
    if (b.widget == w) return b;
  return bindings_.front();  // unreachable: every Ctl has a binding
}

QString MainForm::controlText(const Binding& b) const {
  if (auto* e = qobject_cast<QLineEdit*>(b.widget)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(b.widget)) return l->text();
  return QString();
}

void MainForm::setControlText(const Binding& b, const QString& v) {
  if (auto* e = qobject_cast<QLineEdit*>(b.widget))
    e->setText(v);
  else if (auto* l = qobject_cast<QLabel*>(b.widget))
    l->setText(v);
  refreshEditMenu();  // Convert's results are changes of the row too
}

QHash<int, QString> MainForm::controlChanges() const {
  QHash<int, QString> changes;
  if (!Data1->isOpen()) return changes;
  for (const Binding& b : bindings_) {
    const QString now = controlText(b);
    if (now == loaded_.value(b.widget)) continue;
    const int field = Data1->fieldIndex(b.field);
    if (field >= 0) changes[field] = now;
  }
  return changes;
}

void MainForm::loadControls() {
  const int row = Data1->currentRow();
  shownKey_ = row >= 0 ? Data1->rowKey(row) : -1;
  orphanKey_ = -1;
  for (const Binding& b : bindings_) {
    setControlText(b, row >= 0 ? Data1->value(row, Data1->fieldIndex(b.field)) : QString());
    // What the box actually shows (its limit may have cut a longer value):
    // only the clerk's own typing counts as a change.
    loaded_[b.widget] = controlText(b);
  }
  setEntriesEnabled(row >= 0);
  model_->setCurrentRow(row);
  refreshEditMenu();
}

void MainForm::setEntriesEnabled(bool on) {
  // Without a current row there is nothing for typing to belong to.
  for (QLineEdit* e : {DOB, DOT, MaskEdBox1, RAW_PU, RAW_SU, RUN_M, RUN_S}) e->setEnabled(on);
}

void MainForm::onStoreRowChanged(int row) {
  if (shownKey_ < 0 || row < 0 || row >= Data1->rowCount() || Data1->rowKey(row) != shownKey_) return;
  // Written elsewhere (a grid cell, or a store just made): show it unless the
  // clerk has typed something of their own into that control.
  for (const Binding& b : bindings_) {
    const QString stored = Data1->value(row, Data1->fieldIndex(b.field));
    // The sex is the clerk's to edit in the grid only; the hidden box just
    // carries it for Convert (which may have trimmed it), so a pick in the
    // grid always wins over what the box holds.
    if (controlText(b) == loaded_.value(b.widget) || b.widget == Sex) {
      setControlText(b, stored);
      loaded_[b.widget] = controlText(b);
    } else {
      loaded_[b.widget] = stored;  // the typed text stays a change against what is stored now
    }
  }
}

bool MainForm::storeCurrentRow() {
  // A cell still being edited in the grid belongs to the rows as well (a
  // re-query would drop its editor unread).
  TDBGrid1->commitPendingEdit();
  applyGridAdd();
  return storeShownRow();
}

bool MainForm::storeShownRow() {
  if (shownKey_ < 0 || !Data1->isOpen()) return true;
  // Told once already: the clerk has had the chance to copy what was typed.
  if (shownKey_ == orphanKey_) return true;
  const QHash<int, QString> changes = controlChanges();
  if (changes.isEmpty()) return true;
  const int row = Data1->indexOfKey(shownKey_);
  if (row < 0) return true;  // deleted here: nothing to store into
  try {
    Data1->updateByKey(shownKey_, changes);
  } catch (const ConflictError& e) {
    return settleConflict(this, *Data1, e.conflict(), changes, [this] { loadControls(); }, [this](const QString& m) { reportDbError(m); });
  } catch (const DbError& e) {
    bool gone = false;
    try {
      gone = !Data1->storedRecord(shownKey_).has_value();
    } catch (const DbError&) {
    }
    if (!gone) {
      reportDbError(e.message());
      return false;
    }
    // Deleted by another program: there is nothing left to store into, and
    // saying so again at every move would only hold the clerk up.
    orphanKey_ = shownKey_;
    const QString name = Data1->value(row, Data1->fieldIndex(QStringLiteral("LNAME")));
    const QString id = Data1->value(row, Data1->fieldIndex(QStringLiteral("ID")));
    messages().message(QStringLiteral("The record of %1 has been deleted by another program, so what was typed "
                                      "for it cannot be stored.\n\nIt is still shown so that it can be copied; "
                                      "it is left behind when another row is chosen.")
                           .arg(RecordHistory::subjectOf(name, id)),
                       kErrorTitle, MsgIcon::Exclamation);
    return false;
  }
  return true;
}

void MainForm::syncGridToStore() {
  const bool was = syncing_;
  syncing_ = true;
  const int row = Data1->currentRow();
  QItemSelectionModel* sel = TDBGrid1->selectionModel();
  if (row >= 0) {
    const int col = TDBGrid1->currentIndex().isValid() ? TDBGrid1->currentIndex().column() : 1;
    const QModelIndex idx = model_->index(row, col);
    TDBGrid1->setCurrentIndex(idx);
    TDBGrid1->scrollTo(idx);
  } else {
    sel->clearSelection();
    sel->clearCurrentIndex();
  }
  syncing_ = was;
}

void MainForm::onGridRowChanged(int row, int /*previous*/) {
  if (syncing_) return;
  if (!storeShownRow()) {
    // The row's changes are still in the controls: stay on it.
    QTimer::singleShot(0, this, [this] { syncGridToStore(); });
    return;
  }
  Data1->moveTo(row < 0 || model_->isNewRowLine(row) ? -1 : row);
  loadControls();
}

void MainForm::applyGridAdd() {
  const int row = pendingGridRow_;
  pendingGridRow_ = -1;
  if (row < 0 || row >= Data1->rowCount()) return;
  const bool was = syncing_;
  syncing_ = true;
  const bool stored = storeShownRow();
  syncing_ = was;
  if (!stored) return;
  // Typing went on in the next cell of the empty line (Tab after the name):
  // carry on in that cell of the row just added instead of making another.
  int editColumn = -1;
  const QModelIndex at = TDBGrid1->currentIndex();
  if (at.isValid() && model_->isNewRowLine(at.row()) && TDBGrid1->discardPendingEdit()) editColumn = at.column();
  Data1->moveTo(row);
  loadControls();
  syncGridToStore();
  if (editColumn >= 0) {
    const QModelIndex cell = model_->index(row, editColumn);
    TDBGrid1->setCurrentIndex(cell);
    TDBGrid1->edit(cell);
  }
}

void MainForm::onGridDelete(int row) {
  if (row < 0 || model_->isNewRowLine(row) || row >= Data1->rowCount()) return;
  // What was typed for another row shown in the boxes is stored first, so
  // the deletion is the newest step of the history.
  if (Data1->rowKey(row) != shownKey_ && !storeCurrentRow()) return;
  const bool was = syncing_;
  syncing_ = true;
  try {
    Data1->removeRow(row);
  } catch (const DbError& e) {
    syncing_ = was;
    reportDbError(e.message());
    return;
  }
  syncing_ = was;
  if (Data1->indexOfKey(shownKey_) < 0) {
    // The shown row went: the row that took its place becomes current.
    const int n = Data1->rowCount();
    Data1->moveTo(n == 0 ? -1 : std::min(row, n - 1));
    loadControls();
  }
  syncGridToStore();
  // Nothing stays selected: a second Delete must not take the next soldier.
  TDBGrid1->selectionModel()->clearSelection();
}

void MainForm::onGridRevert(const QModelIndex& index, const QString& text) {
  if (!index.isValid()) return;
  // The pick was stored when it was made; putting the old text back undoes
  // it in the history as well instead of adding a step.
  history_->setAbsorbInverse(true);
  model_->setData(index, text, Qt::EditRole);
  history_->setAbsorbInverse(false);
}

void MainForm::reportDbError(const QString& message) {
  messages().message(message, kErrorTitle, MsgIcon::Exclamation);
}

// ------------------------------------------------------- record commands

void MainForm::Command2_Click() {
  if (!storeCurrentRow()) return;
  const bool was = syncing_;
  syncing_ = true;
  try {
    if (!Data1->eof()) Data1->edit();
    Data1->addNew();
    Data1->update();
    Data1->moveLast();
  } catch (const DbError& e) {
    syncing_ = was;
    loadControls();
    syncGridToStore();
    reportDbError(e.message());
    return;
  }
  syncing_ = was;
  loadControls();
  syncGridToStore();
  // The clerk goes on with the new soldier's name.
  const int row = Data1->currentRow();
  if (row >= 0) TDBGrid1->setCurrentIndex(model_->index(row, 1));
  TDBGrid1->setFocus(Qt::OtherFocusReason);
}

void MainForm::Command3_Click() {
  const bool was = syncing_;
  syncing_ = true;
  QString failure;
  try {
    Data1->deleteCurrent();
    Data1->moveNext();
  } catch (const DbError& e) {
    failure = e.message();
  }
  syncing_ = was;
  loadControls();
  syncGridToStore();
  // Off the button, so a second Space or Enter does not take the next
  // soldier too; nothing stays selected for the Delete key either.
  TDBGrid1->selectionModel()->clearSelection();
  TDBGrid1->setFocus(Qt::OtherFocusReason);
  if (!failure.isEmpty()) reportDbError(failure);
}

void MainForm::Command4_Click() {
  TDBGrid1->commitPendingEdit();
  applyGridAdd();
  if (Data1->currentRow() < 0 || shownKey_ < 0) return;  // no current row: nothing, silently
  const QHash<int, QString> changes = controlChanges();
  try {
    Data1->edit();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) Data1->setField(Data1->fieldNames().at(it.key()), it.value());
    Data1->update();
  } catch (const ConflictError& e) {
    Data1->cancelUpdate();
    settleConflict(this, *Data1, e.conflict(), changes, [this] { loadControls(); }, [this](const QString& m) { reportDbError(m); });
  } catch (const DbError& e) {
    Data1->cancelUpdate();
    // Losing the clerk's entries without a word would be worse than a box.
    reportDbError(e.message());
  }
}

void MainForm::Command7_Click() {
  if (!storeCurrentRow()) return;
  Data1->setRecordSource(RecordStore::rowSourceQuery());
  requery();
}

void MainForm::setMessageSeam(MessageSeam* seam) { seam_->override = seam; }

MessageSeam& MainForm::messages() { return *seam_; }

void MainForm::setClock(const Clock* clock) { clock_ = clock; }

const Clock& MainForm::clock() const { return clock_ ? *clock_ : systemClock_; }

}  // namespace quillon
