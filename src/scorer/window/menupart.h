#pragma once
// What the main window's menus own: the three report objects, the About box
// and the help window, and the F1 watcher. They are a child object of the
// window (objectName "MenuObjects"), so they can be reached with findChild.

#include <QObject>
#include <QPointer>
#include <functional>

#include "about.h"
#include "help.h"
#include "mainform.h"
#include "windowreport.h"

namespace quillon {

// Catches F1 for the widgets of one window (a real key press or one the
// program sends itself) and opens the help at the control's topic.
class HelpKeyFilter : public QObject {
  Q_OBJECT
 public:
  HelpKeyFilter(QWidget* window, std::function<void(QWidget*)> onHelp)
      : window_(window), onHelp_(std::move(onHelp)) {}

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;

 private:
  QWidget* window_;
  std::function<void(QWidget*)> onHelp_;
};

class MenuObjects : public QObject {
  Q_OBJECT
 public:
  explicit MenuObjects(QWidget* window);
  ~MenuObjects() override;

  WindowReport NameReport{QStringLiteral("NameReport")};
  WindowReport TotalReport{QStringLiteral("TotalReport")};
  WindowReport ProfileReport{QStringLiteral("ProfileReport")};

  // Created on first use, then only hidden; children of the main window.
  QPointer<About> about;
  QPointer<HelpViewer> help;

  // Ends the program; tests replace it.
  std::function<void(int)> exitProgram;
  // Shows a failure to the clerk (the main window puts its own message boxes here).
  std::function<void(const QString&)> showMessage;
  // Tells the clerk something that went right (where a report was saved).
  std::function<void(const QString&)> showNotice;

  // Opens the help at the topic of `w` (the contents for the window itself).
  void openHelp(QWidget* w);

 private:
  QWidget* window_;
  HelpKeyFilter* keyFilter_ = nullptr;
};

}  // namespace quillon
