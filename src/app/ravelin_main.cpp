// ravelin: the scorer. Starts the main window in the current folder, where
// the records (info.mdb) and the table files are.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "leftovers.h"
#include "mainform.h"
#include "scorerparts.h"
#include "testdaywindow.h"

namespace {

// For the start bench, which times this program from outside: with
// QUILLON_FIRST_ROWS set, ravelin prints "first rows" once the grid has
// painted the rows of the window's first activation, then re-queries as
// many times as the variable's number says, printing "requery <ms>" for
// each (activation to rows painted), and quits. Unset, nothing changes.
class FirstRowsWatch : public QObject {
 public:
  FirstRowsWatch(quillon::MainForm& form, int requeries) : form_(form), left_(requeries) {
    // Posted after the window's own first activation, so it runs once the
    // rows are read.
    QTimer::singleShot(0, this, [this] {
      grid()->viewport()->installEventFilter(this);
      grid()->viewport()->update();
    });
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    // Reported after the paint has finished, not as it begins.
    if (e->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      QTimer::singleShot(0, this, [this] { report(); });
    }
    return false;
  }

 private:
  QTableView* grid() const { return form_.findChild<QTableView*>(QStringLiteral("TDBGrid1")); }
  void report() {
    std::printf("first rows\n");
    for (; left_ > 0; --left_) {
      QElapsedTimer t;
      t.start();
      form_.Form_Activate();
      grid()->viewport()->repaint();
      std::printf("requery %.3f\n", double(t.nsecsElapsed()) / 1e6);
    }
    std::fflush(stdout);
    QApplication::quit();
  }
  quillon::MainForm& form_;
  int left_;
  bool reported_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  // A compaction cut short leaves the records to be put back under their
  // name before anything opens them; the clerk hears of it only when that
  // cannot be done.
  const QStringList unsettled = quillon::settleLeftovers(QDir::current().filePath(QStringLiteral("info.mdb")));
  if (!unsettled.isEmpty())
    QMessageBox::warning(nullptr, QStringLiteral("Error"), unsettled.join(QLatin1Char('\n')));
  // The test day's own desktop entry starts its window alone.
  if (app.arguments().contains(QStringLiteral("--test-day"))) {
    quillon::TestDayWindow day(QDir::current().filePath(QStringLiteral("info.mdb")));
    day.show();
    return app.exec();
  }
  quillon::MainForm form(nullptr, quillon::scorerMenuParts());
  // Closing the main window ends the program even when another window of
  // it (About, help) is still open.
  QObject::connect(&form, &quillon::MainForm::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  form.show();
  std::unique_ptr<FirstRowsWatch> watch;
  if (qEnvironmentVariableIsSet("QUILLON_FIRST_ROWS"))
    watch = std::make_unique<FirstRowsWatch>(form, qEnvironmentVariableIntValue("QUILLON_FIRST_ROWS"));
  return app.exec();
}
