#include "openform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QStorageInfo>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <cerrno>

#include "artwork.h"
#include "fsops.h"

namespace quillon::dbtool {

const QString OpenForm::kAccessEntry = QStringLiteral("Access Database(.MDB)");
const QString OpenForm::kAllFilesEntry = QStringLiteral("All Files(*.*)");

QRect twipsRect(const QWidget* w, int left, int top, int width, int height) {
  // 15 twips make a pixel at 96 dpi; larger screens scale up with it.
  const qreal k = (w->logicalDpiX() / 96.0) / 15.0;
  return QRect(qRound(left * k), qRound(top * k), qRound(width * k), qRound(height * k));
}

namespace {

// Swallows Enter in the file-type box's text field: an editable box would
// otherwise take the typed text as a pick, and only picking from the list
// may change the file type.
class NoEnter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return QObject::eventFilter(watched, e);
  }
};

QFont sized(QFont f, qreal points, bool bold) {
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

template <typename T>
T* placed(QWidget* parent, const char* name, int l, int t, int w, int h) {
  T* c = new T(parent);
  c->setObjectName(QLatin1String(name));
  c->setGeometry(twipsRect(parent, l, t, w, h));
  return c;
}

// The width an editable box needs to show the longest of `entries` whole in
// its text field: the text, the field's own margin on either side, and the
// frame and arrow the style draws around it.
int widthShowing(const QComboBox* box, const QStringList& entries) {
  int text = 0;
  for (const QString& e : entries) text = std::max(text, box->fontMetrics().horizontalAdvance(e));
  QStyleOptionComboBox opt;
  opt.initFrom(box);
  opt.editable = true;
  constexpr int kFieldMargin = 2;  // a line edit keeps this much clear each side of its text
  return box->style()
      ->sizeFromContents(QStyle::CT_ComboBox, &opt, QSize(text + 2 * kFieldMargin, box->fontMetrics().height()), box)
      .width();
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
  QLabel* c = placed<QLabel>(parent, name, l, t, w, h);
  c->setText(text);
  c->setTextFormat(Qt::PlainText);
  return c;
}

}  // namespace

About::About(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("About"));
  setWindowTitle(QStringLiteral("About"));
  setWindowIcon(toolIcon());
  setFixedSize(twipsRect(this, 0, 0, 5130, 3810).size());
  setModal(false);

  Picture1 = placed<QLabel>(this, "Picture1", 240, 240, 495, 495);
  Picture1->setPixmap(drawToolIcon(Picture1->width()));
  Label1 = label(this, "Label1", QStringLiteral("Marlpit Program"), 1200, 240, 3495, 375);
  Label1->setFont(sized(font(), 13.5, true));
  Label2 = label(this, "Label2", QStringLiteral("Version " QUILLON_VERSION), 1320, 720, 3135, 375);
  Label2->setFont(sized(font(), 12, false));
  Image1 = placed<QLabel>(this, "Image1", 1920, 1080, 1665, 975);
  Image1->setPixmap(drawAboutPicture(Image1->size()));
  Label3 = label(this, "Label3", QStringLiteral("Repairs and compacts"), 1320, 2280, 3375, 375);
  Label4 = label(this, "Label4", QStringLiteral("databases"), 1800, 2640, 1815, 375);
  for (QLabel* l : {Label3, Label4}) {
    l->setFont(sized(font(), 9.75, false));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  }
  Command1 = placed<QPushButton>(this, "Command1", 2160, 3120, 1215, 375);
  Command1->setText(QStringLiteral("OK"));
  Command1->setDefault(true);
  Command1->setFocus();
}

void ToolMessageBoxes::message(const QString& text, const QString& title, BoxIcon icon) {
  QMessageBox box(parent_);
  box.setWindowTitle(title);
  box.setText(text);
  box.setIcon(icon == BoxIcon::Critical      ? QMessageBox::Critical
              : icon == BoxIcon::Exclamation ? QMessageBox::Warning
                                             : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

void ToolMessageBoxes::endProgram(int exitCode) {
  QApplication::closeAllWindows();
  QCoreApplication::exit(exitCode);
}

OpenForm::OpenForm(ToolMessages* messages, FaultPlan* plan, QWidget* parent) : QWidget(parent) {
  if (!messages) {
    ownBoxes_ = std::make_unique<ToolMessageBoxes>(this);
    messages = ownBoxes_.get();
  }
  messages_ = messages;
  commands_ = std::make_unique<MaintenanceCommands>(*messages_, plan);

  setObjectName(QStringLiteral("OpenForm"));
  setWindowTitle(QStringLiteral("Marlpit Program"));
  setWindowIcon(toolIcon());
  setFont(sized(font(), 8.25, true));
  setFixedSize(twipsRect(this, 0, 0, 7365, 3525).size());

  Label5 = label(this, "Label5", QStringLiteral("File Name:"), 240, 240, 2415, 255);
  Label1 = label(this, "Label1", QString(), 240, 480, 2535, 255);
  File1 = placed<FileListBox>(this, "File1", 240, 840, 2535, 1200);
  Label6 = label(this, "Label6", QStringLiteral("List Files of Type:"), 240, 2520, 2535, 255);
  Combo1 = placed<QComboBox>(this, "Combo1", 240, 2880, 2535, 315);
  Label3 = label(this, "Label3", QStringLiteral("Directories:"), 3120, 240, 2535, 255);
  Label4 = label(this, "Label4", QString(), 3120, 480, 2535, 255);
  Dir1 = placed<DirListBox>(this, "Dir1", 3120, 840, 2535, 1215);
  Label2 = label(this, "Label2", QStringLiteral("Drives:"), 3120, 2520, 2535, 255);
  Drive1 = placed<QComboBox>(this, "Drive1", 3120, 2880, 2535, 315);
  Command1 = placed<QPushButton>(this, "Command1", 5880, 360, 1215, 375);
  Command1->setText(QStringLiteral("Repair"));
  Command3 = placed<QPushButton>(this, "Command3", 5880, 840, 1215, 375);
  Command3->setText(QStringLiteral("Compact"));
  Command2 = placed<QPushButton>(this, "Command2", 5880, 1680, 1215, 375);
  Command2->setText(QStringLiteral("Exit..."));

  // The layout's tab indices, labels included, kept for whoever asks; the
  // focus chain follows them through the controls that take focus.
  const std::pair<QWidget*, int> tabs[] = {{Dir1, 0},  {Drive1, 1}, {Label1, 2},  {Label2, 3},   {Label3, 4},
                                           {Label4, 5}, {Label5, 6}, {File1, 7},   {Label6, 8},   {Combo1, 9},
                                           {Command1, 10}, {Command2, 11}, {Command3, 12}};
  for (const auto& [w, i] : tabs) w->setProperty("TabIndex", i);
  QWidget* chain[] = {Dir1, Drive1, File1, Combo1, Command1, Command2, Command3};
  for (size_t i = 0; i + 1 < std::size(chain); ++i) setTabOrder(chain[i], chain[i + 1]);
  // Each list is heard by the caption above it (a list does not take its
  // name from a label by itself); the captions stay as they are.
  const std::pair<QLabel*, QWidget*> captions[] = {{Label5, File1}, {Label6, Combo1}, {Label3, Dir1}, {Label2, Drive1}};
  for (const auto& [caption, list] : captions) {
    caption->setBuddy(list);
    list->setAccessibleName(caption->text().chopped(1));
  }

  Label1->setTextInteractionFlags(Qt::NoTextInteraction);
  Label4->setToolTip(QString());
  Combo1->setEditable(true);
  Combo1->lineEdit()->setAccessibleName(Combo1->accessibleName());
  // Typing in the box never adds an entry; only picking one counts.
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  // No completion either: it would fill in an entry from a typed letter and
  // pick it when the focus moves on.
  Combo1->setCompleter(nullptr);
  Combo1->lineEdit()->installEventFilter(new NoEnter(Combo1));
  Combo1->setEditText(kAccessEntry);
  // The box was drawn for a narrower system font. Where the font at hand
  // needs more, it grows to the right, into the space before the drive
  // list, until each file type shows whole; nothing else moves.
  Combo1->resize(std::max(Combo1->width(), widthShowing(Combo1, {kAccessEntry, kAllFilesEntry})), Combo1->height());

  // The lists begin where the program was started.
  fillDrives();
  Dir1->setPath(QDir::currentPath());
  File1->setPath(QDir::currentPath());

  connect(Drive1, &QComboBox::activated, this, [this] {
    if (Drive1->currentData().toString() != shownDrive_) Drive1_Change();
  });
  connect(Dir1, &DirListBox::Change, this, &OpenForm::Dir1_Change);
  connect(File1, &QListWidget::itemClicked, this, [this] { File1_Click(); });
  connect(File1, &QListWidget::itemSelectionChanged, this, [this] {
    if (!File1->selectedItems().isEmpty()) File1_Click();
  });
  connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
  connect(Command1, &QPushButton::clicked, this, &OpenForm::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &OpenForm::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &OpenForm::Command3_Click);

  Form_Load();
}

OpenForm::~OpenForm() = default;

void OpenForm::fillDrives() {
  const QSignalBlocker quiet(Drive1);
  Drive1->clear();
  QStringList roots;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes())
    if (v.isValid() && v.isReady() && QFileInfo(v.rootPath()).isDir() && !roots.contains(v.rootPath()))
      roots << v.rootPath();
  roots.sort(Qt::CaseInsensitive);
  for (const QString& r : roots) Drive1->addItem(QDir::toNativeSeparators(r), r);
  shownDrive_ = QStorageInfo(QDir::currentPath()).rootPath();
  if (Drive1->findData(shownDrive_) < 0) Drive1->addItem(QDir::toNativeSeparators(shownDrive_), shownDrive_);
  Drive1->setCurrentIndex(Drive1->findData(shownDrive_));
}

PickerState OpenForm::pickerState() const { return {Label1->text(), ChosenFile, DriveText, DirText}; }

void OpenForm::failed(const ToolError& e) {
  ended_ = true;
  reportFailure(*messages_, e);
}

void OpenForm::ShowCurrentDir() {
#ifdef Q_OS_WIN
  DriveText = QDir::toNativeSeparators(QDir::currentPath()).left(2).toLower();
  const QString cur = QDir::toNativeSeparators(QDir::currentPath());
  DirText = cur.mid(2).toLower();
#else
  // No drive letters here, and names differ by case: the whole path, as it
  // is, stands in the directory part.
  DriveText = QString();
  DirText = QDir::currentPath();
#endif
  Label4->setText(DriveText + DirText);
  Label4->setToolTip(DriveText + DirText);
}

void OpenForm::Form_Load() {
  ShowCurrentDir();
  Combo1->addItem(kAccessEntry);
  Combo1->addItem(kAllFilesEntry);
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(kAccessEntry);
  Combo1->lineEdit()->setCursorPosition(0);  // show the entry's start, not its end
  File1->setPattern(QStringLiteral("*.MDB"));
  Label1->setText(QStringLiteral("*.mdb"));
}

void OpenForm::Drive1_Change() {
  if (ended_) return;
  const QString root = Drive1->currentData().toString();
  try {
    const QStorageInfo volume(root);
    if (!volume.isValid() || !volume.isReady() || volume.rootPath() != root)
      throw ToolError(ENODEV, QDir::toNativeSeparators(root) + ": the drive is not ready");
    fs::makeCurrent(root);
  } catch (const ToolError& e) {
    failed(e);
    return;
  }
  shownDrive_ = root;
  Dir1->setPath(QDir::currentPath());
  if (ended_) return;
  ShowCurrentDir();
}

void OpenForm::Dir1_Change() {
  if (ended_) return;
  try {
    fs::makeCurrent(Dir1->path());
  } catch (const ToolError& e) {
    failed(e);
    return;
  }
  File1->setPath(Dir1->path());
  ShowCurrentDir();
  // Walking the tree may cross onto another volume; the drive list shows
  // the one now current, without running a drive change.
  const QString root = QStorageInfo(QDir::currentPath()).rootPath();
  const int at = Drive1->findData(root);
  if (at >= 0 && root != shownDrive_) {
    const QSignalBlocker quiet(Drive1);
    Drive1->setCurrentIndex(at);
    shownDrive_ = root;
  }
}

void OpenForm::File1_Click() {
  const QList<QListWidgetItem*> sel = File1->selectedItems();
  if (sel.isEmpty()) return;
  ChosenFile = sel.first()->text();
  Label1->setText(ChosenFile);
}

void OpenForm::Combo1_Click() {
  const QString text = Combo1->currentText();
  if (text == kAccessEntry) {
    File1->setPattern(QStringLiteral("*.MDB"));
    Label1->setText(QStringLiteral("*.mdb"));
  } else if (text == kAllFilesEntry) {
    File1->setPattern(QStringLiteral("*.*"));
    Label1->setText(QStringLiteral("*.*"));
  }
}

void OpenForm::Command1_Click() {
  if (ended_) return;
  commands_->repair(pickerState());
}

void OpenForm::Command3_Click() {
  if (ended_) return;
  commands_->compact(pickerState());
  // Compact leaves a new backup beside the database: show it.
  File1->refresh();
  if (Label1->text() != QLatin1String("*.mdb") && Label1->text() != QLatin1String("*.*")) {
    const QList<QListWidgetItem*> same = File1->findItems(ChosenFile, Qt::MatchExactly);
    const QSignalBlocker quiet(File1);
    if (!same.isEmpty()) File1->setCurrentItem(same.first());
  }
}

void OpenForm::Command2_Click() {
  if (!about_) {
    about_ = new About(this);
    about_->setWindowFlag(Qt::Dialog);
    connect(about_->Command1, &QPushButton::clicked, this, [this] { endProgram(0); });
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void OpenForm::endProgram(int code) {
  ended_ = true;
  messages_->endProgram(code);
}

}  // namespace quillon::dbtool
