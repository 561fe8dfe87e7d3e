#pragma once
// The clerk at the windows a test-day report opens, and what a PDF says: the
// tests that print from the test-day window share them.

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "reportpreview.h"
#include "rosterpreview.h"
#include "testdaywindow.h"
#include "testsupport.h"

namespace quillon::test {

// A roster file roster.csv in `dir` holding `lines`; its path.
inline QString writeRoster(const ScratchDir& dir, const QByteArray& lines) {
  QFile roster(dir.file(QStringLiteral("roster.csv")));
  EXPECT_TRUE(roster.open(QIODevice::WriteOnly));
  roster.write(lines);
  roster.close();
  return roster.fileName();
}

// The test-day window shown and active with `location` typed, as a clerk
// starts a group.
inline void startGroup(TestDayWindow& w, const QString& location) {
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  auto* field = w.findChild<QLineEdit*>(QStringLiteral("location"));
  ASSERT_NE(field, nullptr);
  field->setFocus();
  QTest::keyClicks(field, location);
}

// The roster preview the window opened: shown, then taken with Enter.
inline void acceptRosterPreview(TestDayWindow& w) {
  auto* preview = w.findChild<RosterPreviewDialog*>();
  ASSERT_NE(preview, nullptr) << w.statusBar()->currentMessage().toStdString();
  ASSERT_TRUE(preview->isVisible());
  QTest::keyClick(preview, Qt::Key_Return);
  QCoreApplication::processEvents();
}

// The roster at `path` imported and its preview taken with Enter.
inline void takeRoster(TestDayWindow& w, const QString& path) {
  w.importRoster(path);
  acceptRosterPreview(w);
}

// Types into the focused cell of a grid as the clerk does: the first key
// opens the cell's editor, which takes the rest, then `key` (Enter, Tab).
inline void typeIntoCell(const QString& text, Qt::Key key) {
  QTest::keyClicks(QApplication::focusWidget(), text.left(1));
  QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
  QTest::keyClick(QApplication::focusWidget(), key);
  // The item delegate commits an editor's text from the event loop.
  QCoreApplication::processEvents();
}

// The text of a PDF as pdftotext reads it, in reading order.
inline QString pdfText(const QString& path) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  EXPECT_TRUE(p.waitForFinished(-1)) << "pdftotext did not finish";
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Plays the clerk at each modal window the action opens: the due list's
// dialog gets `months` and `asOf` and OK; the report window saves itself as
// a PDF (the file name given through the menu's seam) and is closed.
class ReportClerk {
 public:
  ReportClerk(int months, QDate asOf) : months_(months), asOf_(asOf) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { step(); });
    poll_.start(10);
  }
  int dialogs = 0, previews = 0;

 private:
  void step() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* preview = qobject_cast<ReportPreview*>(modal)) {
      ++previews;
      preview->savePdfAction()->trigger();
      preview->reject();
    } else if (modal->objectName() == QLatin1String("dueListDialog")) {
      ++dialogs;
      auto* spin = modal->findChild<QSpinBox*>(QStringLiteral("dueMonths"));
      EXPECT_EQ(spin->value(), 6) << "six months unless the clerk says otherwise";
      spin->setValue(months_);
      modal->findChild<QDateEdit*>(QStringLiteral("dueAsOf"))->setDate(asOf_);
      static_cast<QDialog*>(modal)->accept();
    } else if (auto* other = qobject_cast<QDialog*>(modal)) {
      // A message box nobody expected: noted and closed, never waited on.
      ADD_FAILURE() << "unexpected window: " << qPrintable(other->windowTitle());
      other->reject();
    }
  }
  int months_;
  QDate asOf_;
  QTimer poll_;
};

}  // namespace quillon::test
