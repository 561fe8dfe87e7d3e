#include "alternate.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "statusword.h"

namespace quillon {

namespace {

// The window's geometry in twips, as laid out on the original form; 15
// twips are one pixel at 96 dpi.
struct Twips {
  int left, top, width, height;
};
constexpr int kClientWidth = 3420;
constexpr int kClientHeight = 2025;
constexpr Twips kFrame1{240, 240, 2895, 975};
constexpr Twips kCombo1{240, 360, 1335, 315};
constexpr Twips kM{1680, 360, 375, 285};
constexpr Twips kLabel1{2160, 360, 135, 255};
constexpr Twips kS{2280, 360, 375, 285};
constexpr Twips kCommand1{1320, 1440, 1095, 375};

int px(int twips, double scale) { return int(std::lround(twips / 15.0 * scale)); }

void place(QWidget* w, const Twips& t, double scale) {
  w->setGeometry(px(t.left, scale), px(t.top, scale), px(t.width, scale), px(t.height, scale));
}

}  // namespace

Alternate::Alternate(MessageSeam& seam, ConversionState& state, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      seam_(seam),
      state_(state) {
  setObjectName(QStringLiteral("Alternate"));
  setWindowTitle(QStringLiteral("Alternate Test Standards"));
  QFont f = font();
  // The form's own font is rarely installed; these share its narrow build.
  f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                 QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                 QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
  f.setPointSizeF(8.25);
  f.setBold(true);
  setFont(f);

  Frame1 = new QGroupBox(QStringLiteral("Select Event"), this);
  Frame1->setObjectName(QStringLiteral("Frame1"));

  Combo1 = new QComboBox(Frame1);
  Combo1->setObjectName(QStringLiteral("Combo1"));
  Combo1->setEditable(true);
  // Enter in the text field must not add what was typed to the event list.
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  // What the clerk typed is what OK judges: a completion that ignored case
  // would turn "2.5m walk" into the list's "2.5M Walk" as soon as the box
  // lost the focus (pressing OK does that).
  if (QCompleter* c = Combo1->completer()) c->setCaseSensitivity(Qt::CaseSensitive);

  M = new QLineEdit(Frame1);
  M->setObjectName(QStringLiteral("M"));
  M->setMaxLength(2);

  Label1 = new QLabel(QStringLiteral(":"), Frame1);
  Label1->setObjectName(QStringLiteral("Label1"));

  S = new QLineEdit(Frame1);
  S->setObjectName(QStringLiteral("S"));
  S->setMaxLength(2);

  Command1 = new QPushButton(QStringLiteral("OK"), this);
  Command1->setObjectName(QStringLiteral("Command1"));

  // The frame's title and the ":" between the boxes say nothing to a
  // reader on their own.
  Combo1->setAccessibleName(QStringLiteral("Event"));
  Combo1->lineEdit()->setAccessibleName(QStringLiteral("Event"));
  M->setAccessibleName(QStringLiteral("Minutes"));
  S->setAccessibleName(QStringLiteral("Seconds"));
  setTabOrder(Combo1, M);
  setTabOrder(M, S);
  setTabOrder(S, Command1);

  placeControls();
  connect(Command1, &QPushButton::clicked, this, &Alternate::Command1_Click);
}

Alternate::~Alternate() {
  if (loop_) {
    abandoned_ = true;
    loop_->quit();
  }
}

void Alternate::placeControls() {
  const double scale = logicalDpiX() / 96.0;
  setFixedSize(px(kClientWidth, scale), px(kClientHeight, scale));
  place(Frame1, kFrame1, scale);
  place(Combo1, kCombo1, scale);
  place(M, kM, scale);
  place(Label1, kLabel1, scale);
  place(S, kS, scale);
  place(Command1, kCommand1, scale);

  // The form was drawn for a narrow system font. Where the font at hand is
  // wider, the event list grows until the longest event shows whole, and
  // what stands to its right moves along with it.
  int text = 0;
  for (const QString& e : alternateEvents()) text = std::max(text, Combo1->fontMetrics().horizontalAdvance(e));
  QStyleOptionComboBox opt;
  opt.initFrom(Combo1);
  opt.editable = true;
  const int need = Combo1->style()
                       ->sizeFromContents(QStyle::CT_ComboBox, &opt,
                                          QSize(text, Combo1->fontMetrics().height()), Combo1)
                       .width();
  const int extra = need - Combo1->width();
  if (extra <= 0) return;
  Combo1->resize(Combo1->width() + extra, Combo1->height());
  for (QWidget* w : {static_cast<QWidget*>(M), static_cast<QWidget*>(Label1), static_cast<QWidget*>(S)})
    w->move(w->x() + extra, w->y());
  Frame1->resize(Frame1->width() + extra, Frame1->height());
  Command1->move(Command1->x() + extra / 2, Command1->y());
  setFixedSize(width() + extra, height());
}

void Alternate::Form_Load() {
  loaded_ = true;
  // Looked up in the current directory now, at the moment of use.
  standards_.open(QDir::current().filePath(kAltStandardsFileName));
  Combo1->addItems(alternateEvents());
  Combo1->setCurrentIndex(-1);
  Combo1->clearEditText();
}

void Alternate::showEvent(QShowEvent* e) {
  if (!loaded_) Form_Load();
  QWidget::showEvent(e);
}

void Alternate::closeEvent(QCloseEvent* e) {
  QWidget::closeEvent(e);
  if (!isWaiting()) return;
  // The soldier's status cannot be settled without an alternate event, so
  // the window comes back; it is the same window, with the same open file.
  QTimer::singleShot(0, this, [this] {
    if (isWaiting() && !isVisible()) {
      show();
      raise();
      activateWindow();
    }
  });
}

bool Alternate::isWaiting() const { return loop_ != nullptr; }

bool Alternate::waitUntilDone() {
  if (loop_) return false;
  if (state_.AltState == StatusWord::DONE) return true;

  QEventLoop loop;
  QPointer<Alternate> self(this);
  loop_ = &loop;
  abandoned_ = false;
  connect(this, &Alternate::judged, &loop, &QEventLoop::quit);
  show();
  raise();
  activateWindow();
  loop.exec();
  if (!self) return false;  // destroyed while waiting: the program is going away
  loop_ = nullptr;
  const bool done = !abandoned_ && state_.AltState == StatusWord::DONE;
  abandoned_ = false;
  return done;
}

void Alternate::abandonWait() {
  if (!loop_) return;
  abandoned_ = true;
  loop_->quit();
  hide();
}

void Alternate::Command1_Click() {
  // As.dat missing when the window loaded: once the clerk has put it in
  // place it is opened here, and from then on kept like any other time.
  if (loaded_ && !standards_.isOpen()) standards_.open(QDir::current().filePath(kAltStandardsFileName));
  const AltJudgement j =
      judgeAlternate(Combo1->currentText(), M->text(), S->text(), state_.AgeSexKey, standards_, buffer_);
  switch (j.kind) {
    case AltJudgement::NoEvent:
      return;
    case AltJudgement::Refused:
      seam_.message(j.message, QStringLiteral("Error"), MsgIcon::Exclamation);
      return;
    case AltJudgement::Judged:
      break;
  }
  state_.AltMaxTime = j.maxTime;
  if (j.over) state_.AltResult = StatusWord::FAIL;
  state_.AltState = StatusWord::DONE;
  judgedEvent_ = Combo1->currentText();
  judgedTime_ = M->text().trimmed() + ':' + S->text().trimmed().rightJustified(2, QLatin1Char('0'));
  M->clear();
  S->clear();
  emit judged();
}

QString maxAllowableTimeText(int packed) {
  if (packed < 0) return QString::number(packed);
  // Minutes are whatever stands before the last two digits, so 955 is 9:55
  // and 2030 is 20:30.
  return QStringLiteral("%1:%2").arg(packed / 100).arg(packed % 100, 2, 10, QLatin1Char('0'));
}

void reportAlternateAndHide(QWidget* form, MessageSeam& m, const ConversionState& s) {
  if (s.AltState != StatusWord::DONE) return;
  if (form) form->hide();
  m.message(QStringLiteral("Maximum allowable time ") + maxAllowableTimeText(s.AltMaxTime),
            QStringLiteral("Alternate Test: ") + s.AltResult, MsgIcon::None);
}

}  // namespace quillon
