#pragma once
// The alternate-event window: the clerk picks the event a profiled soldier
// took instead of the run and types the time; OK judges it against the
// standards file As.dat for the soldier's age group and sex.

#include <QWidget>

#include "altstandards.h"
#include "conversionstate.h"
#include "scoreui.h"

class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

class Alternate : public QWidget {
  Q_OBJECT
 public:
  // Judges against `state`'s AgeSexKey and writes the judgement into it;
  // `state` outlives the window.
  Alternate(MessageSeam& seam, ConversionState& state, QWidget* parent = nullptr);
  ~Alternate() override;

  // Shows the window (not modal; the first show loads it: opens As.dat from
  // the current directory once for the life of the program and fills
  // Combo1) and runs a nested event loop until the state's AltState reads
  // "DONE" (returns true) or abandonWait() is called (returns false).
  // Closing the window by its close box does not end the wait: the window
  // is shown again, and the one open As.dat is kept. An As.dat missing at
  // load is not created; OK answers "Unknown" until the file is there, and
  // then opens it (once) itself.
  // Not re-entrant: called while a wait is already running it returns false
  // at once and leaves the running wait alone.
  bool waitUntilDone();
  // Ends a running wait (the program is closing); no-op otherwise.
  void abandonWait();
  bool isWaiting() const;
  // The standards file this window holds open (for inspection).
  const AltStandardsFile& standards() const { return standards_; }
  // The event and time ("M:SS") of the last entry judged, kept for the record.
  QString judgedEvent() const { return judgedEvent_; }
  QString judgedTime() const { return judgedTime_; }

  QComboBox* Combo1 = nullptr;
  QLineEdit* M = nullptr;
  QLineEdit* S = nullptr;
  QPushButton* Command1 = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* Frame1 = nullptr;

 public Q_SLOTS:
  // The OK handler.
  void Command1_Click();

 Q_SIGNALS:
  // Emitted when AltState became "DONE".
  void judged();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void Form_Load();
  void placeControls();

  MessageSeam& seam_;
  ConversionState& state_;
  AltStandardsFile standards_;
  AltStandardRecord buffer_;
  bool loaded_ = false;
  QEventLoop* loop_ = nullptr;
  bool abandoned_ = false;
  QString judgedEvent_, judgedTime_;
};

// The closing report of a conversion that waited for the alternate event.
// Acts only when `s`.AltState is "DONE": hides `form` (if not null), then
// shows "Maximum allowable time MM:SS" titled "Alternate Test: " + AltResult
// with a single OK button and no icon.
void reportAlternateAndHide(QWidget* form, MessageSeam& m, const ConversionState& s);

// MMSS packed time as the clerk reads it: 2030 -> "20:30", 955 -> "9:55".
QString maxAllowableTimeText(int packed);

}  // namespace quillon
