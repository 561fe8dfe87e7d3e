// The main window's construction: its controls, their layout and tab order,
// and the connections of the buttons, the grid and the record store.

#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "mainform_session.h"
#include "recordgrid.h"
#include "recordstore.h"

namespace quillon {

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
  TDBGrid1->setAccessibleName(QStringLiteral("Test records"));
  TDBGrid1->setAccessibleDescription(QStringLiteral("One soldier a row; the selected row is shown in the boxes below"));

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
  // The results are bare figures and words on screen, placed beside what
  // they belong to; a reader hears what each one is.
  C_PU->setAccessibleDescription(QStringLiteral("Push-up points"));
  C_SU->setAccessibleDescription(QStringLiteral("Sit-up points"));
  C_RUN->setAccessibleDescription(QStringLiteral("2M Run points"));
  STAT->setAccessibleDescription(QStringLiteral("Status"));
  Prof->setAccessibleDescription(QStringLiteral("Profile"));
  TOTAL->setAccessibleDescription(QStringLiteral("Total points"));
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

  bindControls();

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
  auto* openRecords = new QLabel(this);
  openRecords->setObjectName(QStringLiteral("openRecords"));
  statusBar()->addPermanentWidget(openRecords);
  connect(Data1, &RecordStore::opened, openRecords, &QLabel::setText);
  setMinimumSize(560, 520);
  resize(680, 640);
}

}  // namespace quillon
