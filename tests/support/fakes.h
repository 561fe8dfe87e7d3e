#pragma once
// Plain stand-ins for the main window's named controls, its message boxes
// and its clock, so the scoring and profile logic can be driven without
// widgets and every box shown can be checked afterwards.

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <deque>
#include <vector>
#include <QStringList>
#include <gtest/gtest.h>

#include "scoreui.h"

namespace quillon::test {

class FakeControls : public ScoreControls {
 public:
  QString text(Ctl c) const override { return values.value(c); }
  void setText(Ctl c, const QString& v) override {
    values[c] = v;
    writes << c;
  }
  QMap<Ctl, QString> values;
  QList<Ctl> writes;  // every write, in order
};

struct ShownBox {
  QString text;
  QString title;
  MsgIcon icon;
  bool question;
};

// Records every box; answers questions from a script (Yes = true). A
// question with no scripted answer fails the test.
class ScriptedSeam : public MessageSeam {
 public:
  void message(const QString& text, const QString& title, MsgIcon icon) override {
    shown.push_back({text, title, icon, false});
  }
  bool askYesNo(const QString& text, const QString& title) override {
    shown.push_back({text, title, MsgIcon::Question, true});
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  // Answered from saveAnswers; none scripted fails the test.
  SaveChoice askSaveChanges(const QString& text, const QString& title) override {
    shown.push_back({text, title, MsgIcon::Question, true});
    if (saveAnswers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return SaveChoice::Cancel;
    }
    const SaveChoice a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
  }
  QStringList texts() const {
    QStringList t;
    for (const auto& b : shown) t << b.text;
    return t;
  }
  int questions() const {
    int n = 0;
    for (const auto& b : shown) n += b.question ? 1 : 0;
    return n;
  }
  std::deque<bool> answers;
  std::deque<SaveChoice> saveAnswers;
  std::vector<ShownBox> shown;
};

class FixedClock : public Clock {
 public:
  explicit FixedClock(QDate d = QDate(2026, 12, 7)) : day(d) {}
  QDate today() const override { return day; }
  QDate day;
};

}  // namespace quillon::test
