// The main window's parts put together, and the seams its boxes and its
// clock go through.

#include "mainform.h"

#include <QApplication>
#include <QDir>

#include "alternate.h"
#include "mainform_session.h"
#include "menupart.h"
#include "messageboxes.h"
#include "recordgrid.h"
#include "recordsmenu.h"
#include "recordshost.h"
#include "recordstore.h"

namespace quillon {

namespace {

// The main window as its Records menu sees it.
class FormRecords final : public RecordsHost {
 public:
  explicit FormRecords(MainForm& form) : form_(form) {}
  QMainWindow* window() override { return &form_; }
  bool storeCurrentRow() override { return form_.storeCurrentRow(); }
  RecordStore& records() override { return form_.records(); }
  RecordHistory& history() override { return form_.history(); }
  MessageSeam& messages() override { return form_.messages(); }
  QString databasePath() const override { return MainForm::databasePath(); }

 private:
  MainForm& form_;
};

}  // namespace

MainForm::MainForm(QWidget* parent, const std::vector<MenuBarPart>& menuParts) : QMainWindow(parent) {
  boxes_ = std::make_unique<MessageBoxes>(this);
  seam_ = std::make_unique<SeamSwitch>(*boxes_);
  buildWindow();
  history_ = std::make_unique<RecordHistory>(*Data1, this);
  createMenus();
  createEditMenu();
  new RecordsMenu(std::make_unique<FormRecords>(*this));
  for (const MenuBarPart& part : menuParts) part(menuBar(), databasePath());
  connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainForm::onFocusWindowChanged);
  Form_Load();
  loadControls();
}

MainForm::~MainForm() {
  // The members go before the widgets: a cell editor still open passes its
  // text on as the window goes, and nothing of this window may hear of it.
  QObject::disconnect(&history_->stack(), nullptr, this, nullptr);
  QObject::disconnect(Data1, nullptr, this, nullptr);
  QObject::disconnect(model_, nullptr, this, nullptr);
  QObject::disconnect(TDBGrid1, nullptr, this, nullptr);
  QObject::disconnect(TDBGrid1->selectionModel(), nullptr, this, nullptr);
  if (alternate_) alternate_->abandonWait();
  lock_.release();
}

QString MainForm::databasePath() { return QDir::current().filePath(QStringLiteral("info.mdb")); }

void MainForm::reportDbError(const QString& message) {
  messages().message(message, kErrorTitle, MsgIcon::Exclamation);
}

void MainForm::setMessageSeam(MessageSeam* seam) { seam_->override = seam; }

MessageSeam& MainForm::messages() { return *seam_; }

void MainForm::setClock(const Clock* clock) { clock_ = clock; }

const Clock& MainForm::clock() const { return clock_ ? *clock_ : systemClock_; }

}  // namespace quillon
