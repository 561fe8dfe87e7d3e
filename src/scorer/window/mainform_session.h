#pragma once
// The main window's own parts shared by its source files: the switch for its
// message boxes, one conversion under way and the title of its failure boxes.

#include "alternate.h"
#include "mainform.h"
#include "profile.h"
#include "recordstore.h"

namespace quillon {

// The title of every failure box of the window.
inline const QString kErrorTitle = QStringLiteral("Error");

// Stores the judged alternate event with the converted row (alternaterecord.cpp).
void storeAlternateTaken(MainForm& f, qint64 key, const ConversionState& s);
// Empties them after a conversion that decided the status without one.
void clearAlternateTaken(MainForm& f, qint64 key);

// Boxes and questions go to the real message boxes unless a test has put
// its own seam in; the alternate-event window holds on to this one.
class MainForm::SeamSwitch : public MessageSeam {
 public:
  explicit SeamSwitch(MessageSeam& real) : real_(real) {}
  MessageSeam* override = nullptr;
  void message(const QString& text, const QString& title, MsgIcon icon) override {
    (override ? *override : real_).message(text, title, icon);
  }
  bool askYesNo(const QString& text, const QString& title) override {
    return (override ? *override : real_).askYesNo(text, title);
  }
  SaveChoice askSaveChanges(const QString& text, const QString& title) override {
    return (override ? *override : real_).askSaveChanges(text, title);
  }

 private:
  MessageSeam& real_;
};

// One conversion. Its view of the controls stays with the row that was
// converted: while that row is shown the widgets are read and written; when
// the clerk has moved on (another row, Add, Sort, a re-query on coming back
// to the window) the row's fields are read and written in the store by its
// key; when the row has been deleted nothing is written anywhere.
class MainForm::ConvertSession : public ConvertHost, public ScoreControls {
 public:
  ConvertSession(MainForm& f, qint64 key) : f_(f), key_(key) {}

  ScoreControls& controls() override { return *this; }
  MessageSeam& messages() override { return f_.messages(); }
  const Clock& clock() const override { return f_.clock(); }
  ConversionState& state() override { return f_.conversion_; }
  void setProfileEvent(const QString& phrase) override { profileEvent_ = phrase; }
  void Profile() override { askProfileForEvent(*this, messages(), profileEvent_, state()); }
  void ProfileCheck() override { askProfileMark(*this, messages()); }
  bool WaitForAlternate() override { return f_.WaitForAlternate(); }
  void EndAlternate() override {
    reportAlternateAndHide(f_.alternate_.get(), messages(), state());
    storeAlternateTaken(f_, key_, state());
  }

  // The converted row's control, wherever that row now is.
  QString text(Ctl c) const override;
  void setText(Ctl c, const QString& v) override;

  // The program ends while this conversion still waits for the alternate
  // event: a status that the profile answer put in before the wait decided
  // nothing, so the row is stored as undecided. The rest of what Convert
  // worked out (points, profile mark, date of test) stands.
  void leaveUndecided();

 private:
  // The converted row's place among the store's rows; -1 once it is gone.
  int storedRow() const;

  MainForm& f_;
  qint64 key_;
  // The phrase Profile appends to its question.
  QString profileEvent_;
};

}  // namespace quillon
