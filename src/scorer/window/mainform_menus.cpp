// The main window's menu bar and what its items do: the five report
// commands, Exit, help and the About box.

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "mainform.h"
#include "menupart.h"

namespace quillon {

bool HelpKeyFilter::eventFilter(QObject* obj, QEvent* ev) {
  if (ev->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(ev);
    auto* w = qobject_cast<QWidget*>(obj);
    // Only the widget the key is meant for; the window system object that
    // carries it there is not a QWidget.
    if (w && ke->key() == Qt::Key_F1 && ke->modifiers() == Qt::NoModifier && !ke->isAutoRepeat() &&
        (w == window_ || w->window() == window_)) {
      onHelp_(w);
      return true;
    }
  }
  return QObject::eventFilter(obj, ev);
}

MenuObjects::MenuObjects(QWidget* window) : QObject(window), window_(window) {
  setObjectName(QStringLiteral("MenuObjects"));
  exitProgram = [](int code) { QCoreApplication::exit(code); };
  showMessage = [window](const QString& text) { QMessageBox::warning(window, QStringLiteral("Error"), text); };
  showNotice = [](const QString& text) {
    QMessageBox::information(QApplication::activeModalWidget(), QStringLiteral("Report Saved"), text);
  };
  for (WindowReport* r : {&NameReport, &TotalReport, &ProfileReport}) {
    r->setPreviewParent(window);
    r->onError = [this](const QString& text) { showMessage(text); };
    r->onNotice = [this](const QString& text) { showNotice(text); };
  }
  keyFilter_ = new HelpKeyFilter(window, [this](QWidget* w) { openHelp(w); });
  qApp->installEventFilter(keyFilter_);
}

MenuObjects::~MenuObjects() {
  qApp->removeEventFilter(keyFilter_);
  delete keyFilter_;
}

void MenuObjects::openHelp(QWidget* w) {
  if (!help) {
    help = new HelpViewer(window_);
    help->setWindowFlag(Qt::Window);
    help->onError = [this](const QString& text) { showMessage(text); };
  }
  if (help->showTopic(helpTopicForWidget(w))) {
    help->show();
    help->raise();
    help->activateWindow();
  }
}

void MainForm::createMenus() {
  // Owned by the window, and its child object, which it leaves when deleted.
  menus_ = std::make_unique<MenuObjects>(this);
  // The window's boxes go through its seam, where tests script them.
  menus_->showMessage = [this](const QString& text) { messages().message(text, QStringLiteral("Error"), MsgIcon::Exclamation); };
  menus_->showNotice = [this](const QString& text) {
    messages().message(text, QStringLiteral("Report Saved"), MsgIcon::Information);
  };

  auto named = [](QAction* a, const char* name) {
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  MNU_FILE = named(file->menuAction(), "MNU_FILE");
  QMenu* report = file->addMenu(QStringLiteral("&Create Report"));
  MNU_REPORT = named(report->menuAction(), "MNU_REPORT");
  MNU_NAME = named(report->addAction(QStringLiteral("by &Name..."), this, &MainForm::MNU_NAME_Click), "MNU_NAME");
  MNU_TOTAL = named(report->addAction(QStringLiteral("by &Total..."), this, &MainForm::MNU_TOTAL_Click), "MNU_TOTAL");
  MNU_DATE = named(report->addAction(QStringLiteral("by &Date..."), this, &MainForm::MNU_DATE_Click), "MNU_DATE");
  MNU_PROFILES =
      named(report->addAction(QStringLiteral("of &Profiles..."), this, &MainForm::MNU_PROFILES_Click), "MNU_PROFILES");
  MNU_STATUS =
      named(report->addAction(QStringLiteral("&Status Chart..."), this, &MainForm::MNU_STATUS_Click), "MNU_STATUS");
  MNU_SEPERATOR2 = named(file->addSeparator(), "MNU_SEPERATOR2");
  MNU_EXIT = named(file->addAction(QStringLiteral("&Exit"), this, &MainForm::MNU_EXIT_Click), "MNU_EXIT");

  QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  MNU_HELP = named(helpMenu->menuAction(), "MNU_HELP");
  MNU_CONTENTS =
      named(helpMenu->addAction(QStringLiteral("&Contents"), this, &MainForm::MNU_CONTENTS_Click), "MNU_CONTENTS");
  MNU_SEPERATOR3 = named(helpMenu->addSeparator(), "MNU_SEPERATOR3");
  MNU_ABOUT = named(helpMenu->addAction(QStringLiteral("&About..."), this, &MainForm::MNU_ABOUT_Click), "MNU_ABOUT");
}

namespace {

// Each report command: the report file from the current directory, the first
// sort key where the command has one, then the run request. The report reads
// the database, so a change of the current row (a soldier converted but not
// yet updated) is stored first; when that fails the failure has been shown
// and no report runs that would leave the row out.
void runReport(MainForm& form, ReportObject& r, const QString& file, const QString& key = QString()) {
  if (!form.storeCurrentRow()) return;
  r.setReportFileName(QDir::current().filePath(file));
  if (!key.isEmpty()) r.setSortFields(0, key);
  r.Action(0);
}

}  // namespace

void MainForm::MNU_NAME_Click() {
  runReport(*this, menus().NameReport, QStringLiteral("basic.rpt"), QStringLiteral("+{info.LNAME}"));
}

void MainForm::MNU_TOTAL_Click() {
  runReport(*this, menus().TotalReport, QStringLiteral("basic.rpt"), QStringLiteral("-{info.TOTAL}"));
}

void MainForm::MNU_DATE_Click() { runReport(*this, menus().NameReport, QStringLiteral("date.rpt")); }

void MainForm::MNU_PROFILES_Click() {
  runReport(*this, menus().ProfileReport, QStringLiteral("profile.rpt"), QStringLiteral("+{info.LNAME}"));
}

void MainForm::MNU_STATUS_Click() { runReport(*this, menus().ProfileReport, QStringLiteral("status.rpt")); }

void MainForm::MNU_EXIT_Click() {
  // Nothing typed is lost silently: when the changed row cannot be stored the
  // failure has been shown, and the clerk chooses between staying to put it
  // right and leaving without it (as with the window's close box).
  if (!storeCurrentRow() &&
      !messages().askYesNo(QStringLiteral("The changes to the current row could not be stored. Exit Quillon anyway?"),
                           QStringLiteral("Question")))
    return;
  closeRecordSet();
  // Every window goes at once, none is asked.
  for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
  menus().exitProgram(0);
}

void MainForm::MNU_CONTENTS_Click() {
  // The same F1 a clerk would press, delivered to the window itself (so the
  // contents open, not the topic of whichever box has the focus) and
  // synchronously, so the help has been handled when this returns.
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(this, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_F1, Qt::NoModifier);
  QCoreApplication::sendEvent(this, &release);
}

void MainForm::MNU_ABOUT_Click() {
  MenuObjects& m = menus();
  if (!m.about) {
    m.about = new About(this);
    registerProgramWindow(m.about);
  }
  m.about->show();
  m.about->raise();
  m.about->activateWindow();
}

}  // namespace quillon
