// The real message boxes: what the clerk sees and which answers count.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "messageboxes.h"

using namespace quillon;

namespace {

struct Seen {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QWidget* parent = nullptr;
  bool found = false;
};

// Once the box is up, records what it shows and then lets `act` answer it.
void whenBoxShows(Seen& seen, std::function<void(QMessageBox*)> act) {
  QTimer::singleShot(0, [&seen, act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      // Not up yet: look again on the next pass.
      whenBoxShows(seen, act);
      return;
    }
    seen.found = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.parent = box->parentWidget();
    act(box);
  });
}

void pressEscape(QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }

void clickButton(QMessageBox* box, QMessageBox::StandardButton which) {
  QAbstractButton* b = box->button(which);
  ASSERT_NE(b, nullptr);
  QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace

TEST(MessageBoxesTest, MessageHasTitleTextIconAndOneOkButton) {
  QWidget owner;
  MessageBoxes seam(&owner);
  const struct {
    MsgIcon icon;
    QMessageBox::Icon expected;
  } icons[] = {{MsgIcon::Exclamation, QMessageBox::Warning},
               {MsgIcon::Question, QMessageBox::Question},
               {MsgIcon::Information, QMessageBox::Information},
               {MsgIcon::None, QMessageBox::NoIcon}};
  for (const auto& i : icons) {
    Seen seen;
    whenBoxShows(seen, [](QMessageBox* box) { clickButton(box, QMessageBox::Ok); });
    seam.message("Event minutes must be numeric", "Error", i.icon);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QStringLiteral("Error"));
    EXPECT_EQ(seen.text, QStringLiteral("Event minutes must be numeric"));
    EXPECT_EQ(seen.icon, i.expected);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.parent, &owner);
  }
}

TEST(MessageBoxesTest, EscapeClosesAMessage) {
  MessageBoxes seam;
  Seen seen;
  whenBoxShows(seen, pressEscape);
  seam.message("Maximum allowable time 20:30", "Alternate Test: PASS", MsgIcon::None);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.title, QStringLiteral("Alternate Test: PASS"));
}

TEST(MessageBoxesTest, OnlyYesCountsAsYes) {
  MessageBoxes seam;
  {
    Seen seen;
    whenBoxShows(seen, [](QMessageBox* box) { clickButton(box, QMessageBox::Yes); });
    EXPECT_TRUE(seam.askYesNo("Is this soldier a permanent profile?", "Question"));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, QStringLiteral("Question"));
    EXPECT_EQ(seen.text, QStringLiteral("Is this soldier a permanent profile?"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
  }
  {
    Seen seen;
    whenBoxShows(seen, [](QMessageBox* box) { clickButton(box, QMessageBox::No); });
    EXPECT_FALSE(seam.askYesNo("q", "Question"));
    EXPECT_TRUE(seen.found);
  }
  {
    Seen seen;
    whenBoxShows(seen, pressEscape);
    EXPECT_FALSE(seam.askYesNo("q", "Question"));
    EXPECT_TRUE(seen.found);
  }
  {
    // The close box of the question counts as No.
    Seen seen;
    whenBoxShows(seen, [](QMessageBox* box) { box->close(); });
    EXPECT_FALSE(seam.askYesNo("q", "Question"));
    EXPECT_TRUE(seen.found);
  }
}

TEST(MessageBoxesTest, ParentCanBeSetLaterAndOutlivedByTheSeam) {
  MessageBoxes seam;
  EXPECT_EQ(seam.parent(), nullptr);
  {
    QWidget w;
    seam.setParent(&w);
    EXPECT_EQ(seam.parent(), &w);
    Seen seen;
    whenBoxShows(seen, [](QMessageBox* box) { clickButton(box, QMessageBox::Ok); });
    seam.message("x", "Error", MsgIcon::Exclamation);
    EXPECT_EQ(seen.parent, &w);
  }
  // The window went away: boxes still show, without an owner.
  EXPECT_EQ(seam.parent(), nullptr);
  Seen seen;
  whenBoxShows(seen, [](QMessageBox* box) { clickButton(box, QMessageBox::Ok); });
  seam.message("x", "Error", MsgIcon::Exclamation);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.parent, nullptr);
}

// The outcome of the alternate event is in the title alone, so a box with a
// short text must still be wide enough to show its whole title.
TEST(MessageBoxesTest, ABoxIsWideEnoughForItsTitle) {
  MessageBoxes seam;
  const QString title = QStringLiteral("Alternate Test: FAIL");
  int boxWidth = 0, titleWidth = 0;
  Seen seen;
  whenBoxShows(seen, [&](QMessageBox* box) {
    QFont bold = box->font();
    bold.setBold(true);
    titleWidth = QFontMetrics(bold).horizontalAdvance(title);
    boxWidth = box->width();
    clickButton(box, QMessageBox::Ok);
  });
  seam.message("Maximum allowable time 9:55", title, MsgIcon::None);
  ASSERT_TRUE(seen.found);
  EXPECT_GT(boxWidth, titleWidth + 100);
}
