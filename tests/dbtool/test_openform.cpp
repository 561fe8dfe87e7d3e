// The picker window driven through its real widgets: how the lists follow
// one another, the two states of the file-name line, the file-type box,
// the About box, and the commands as the window hands them the chosen file.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QStorageInfo>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "dbfile.h"
#include "openform.h"
#include "recordingmessages.h"
#include "testsupport.h"

using namespace quillon;
using namespace quillon::dbtool;
using quillon::test::ScratchDir;
using quillon::dbtool::test::Box;
using quillon::dbtool::test::RecordingMessages;

namespace {

void touch(const QString& name, const QByteArray& bytes = "x") {
  QFile f(name);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QStringList sorted(QStringList l) {
  l.sort();
  return l;
}

// Clicks the file list's entry of that name, as the clerk would.
void clickFile(OpenForm& form, const QString& name) {
  const QList<QListWidgetItem*> hits = form.File1->findItems(name, Qt::MatchExactly);
  ASSERT_EQ(hits.size(), 1) << qPrintable(name);
  const QRect r = form.File1->visualItemRect(hits.first());
  QTest::mouseClick(form.File1->viewport(), Qt::LeftButton, {}, r.center());
}

// Opens the directory list's entry of that name with the keyboard.
void openDir(OpenForm& form, const QString& name) {
  QListWidgetItem* target = nullptr;
  for (int i = 0; i < form.Dir1->count(); ++i)
    if (form.Dir1->item(i)->text() == name) target = form.Dir1->item(i);
  ASSERT_NE(target, nullptr) << qPrintable(name);
  form.Dir1->setCurrentItem(target);
  QTest::keyClick(form.Dir1, Qt::Key_Return);
}

// Picks the file-type entry at `index` from the keyboard.
void pickType(OpenForm& form, int index) {
  form.Combo1->setFocus();
  const int from = form.Combo1->currentIndex();
  if (from == index) {
    // Already the current entry: going away and back still counts as picking.
    QTest::keyClick(form.Combo1, index == 0 ? Qt::Key_Down : Qt::Key_Up);
  }
  while (form.Combo1->currentIndex() < index) QTest::keyClick(form.Combo1, Qt::Key_Down);
  while (form.Combo1->currentIndex() > index) QTest::keyClick(form.Combo1, Qt::Key_Up);
  ASSERT_EQ(form.Combo1->currentIndex(), index);
}

}  // namespace

TEST(OpenForm, StartsInTheFolderItWasStartedIn) {
  ScratchDir dir;
  touch("info.mdb");
  touch("notes.txt");
  RecordingMessages seam;
  OpenForm form(&seam);
  EXPECT_EQ(form.objectName(), "OpenForm");
  EXPECT_STREQ(form.metaObject()->className(), "quillon::dbtool::OpenForm");
  EXPECT_EQ(form.windowTitle(), "Marlpit Program");
  EXPECT_EQ(form.Label1->text(), "*.mdb");
  EXPECT_EQ(form.Combo1->currentText(), "Access Database(.MDB)");
  EXPECT_EQ(form.Combo1->currentIndex(), -1) << "no entry selected at start";
  ASSERT_EQ(form.Combo1->count(), 2);
  EXPECT_EQ(form.Combo1->itemText(0), "Access Database(.MDB)");
  EXPECT_EQ(form.Combo1->itemText(1), "All Files(*.*)");
  EXPECT_EQ(form.File1->pattern(), "*.MDB");
  EXPECT_EQ(form.File1->fileNames(), QStringList{"info.mdb"});
  EXPECT_EQ(form.Label4->text(), QDir::currentPath());
  EXPECT_EQ(form.DriveText + form.DirText, QDir::currentPath());
  EXPECT_EQ(form.Dir1->path(), QDir::currentPath());
  EXPECT_EQ(form.Drive1->currentData().toString(), QStorageInfo(QDir::currentPath()).rootPath());
  EXPECT_TRUE(form.ChosenFile.isEmpty());
  EXPECT_TRUE(form.TargetPath().isEmpty());
  EXPECT_TRUE(seam.boxes.empty());
}

TEST(OpenForm, LayoutFollowsTheTableInTwips) {
  ScratchDir dir;
  RecordingMessages seam;
  OpenForm form(&seam);
  const qreal k = form.logicalDpiX() / 96.0;
  auto px = [k](int twips) { return qRound(twips / 15.0 * k); };
  EXPECT_EQ(form.size(), QSize(px(7365), px(3525)));
  struct Row {
    const char* name;
    const char* caption;
    int l, t, w, h, tab;
  };
  const Row rows[] = {{"Label5", "File Name:", 240, 240, 2415, 255, 6},
                      {"Label1", nullptr, 240, 480, 2535, 255, 2},
                      {"File1", nullptr, 240, 840, 2535, 1200, 7},
                      {"Label6", "List Files of Type:", 240, 2520, 2535, 255, 8},
                      {"Combo1", nullptr, 240, 2880, 2535, 315, 9},
                      {"Label3", "Directories:", 3120, 240, 2535, 255, 4},
                      {"Label4", nullptr, 3120, 480, 2535, 255, 5},
                      {"Dir1", nullptr, 3120, 840, 2535, 1215, 0},
                      {"Label2", "Drives:", 3120, 2520, 2535, 255, 3},
                      {"Drive1", nullptr, 3120, 2880, 2535, 315, 1},
                      {"Command1", "Repair", 5880, 360, 1215, 375, 10},
                      {"Command3", "Compact", 5880, 840, 1215, 375, 12},
                      {"Command2", "Exit...", 5880, 1680, 1215, 375, 11}};
  for (const Row& r : rows) {
    auto* w = form.findChild<QWidget*>(r.name);
    ASSERT_NE(w, nullptr) << r.name;
    // The file-type box alone may be wider than drawn, where the font at
    // hand needs it to show its entries whole (below).
    const int extra = w == form.Combo1 ? w->width() - px(r.w) : 0;
    EXPECT_GE(extra, 0);
    EXPECT_EQ(w->geometry(), QRect(px(r.l), px(r.t), px(r.w) + extra, px(r.h))) << r.name;
    EXPECT_EQ(w->property("TabIndex").toInt(), r.tab) << r.name;
    EXPECT_TRUE(w->font().bold()) << r.name;
    if (r.caption) {
      if (auto* l = qobject_cast<QLabel*>(w)) {
        EXPECT_EQ(l->text(), r.caption);
      }
      if (auto* b = qobject_cast<QPushButton*>(w)) {
        EXPECT_EQ(b->text(), r.caption);
      }
    }
  }
  // Focus walks the controls that take it in tab-index order.
  const QList<QWidget*> order = {form.Dir1,   form.Drive1,   form.File1,   form.Combo1,
                                 form.Command1, form.Command2, form.Command3};
  QList<QWidget*> walked;
  QWidget* w = form.Dir1;
  for (int guard = 0; guard < 200 && walked.size() < order.size(); ++guard, w = w->nextInFocusChain())
    if (order.contains(w) && !walked.contains(w)) walked << w;
  EXPECT_EQ(walked, order);
  EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());
  EXPECT_EQ(form.windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

TEST(OpenForm, EachFileTypeShowsWholeInItsBoxWhichStopsShortOfTheDriveList) {
  ScratchDir dir;
  RecordingMessages seam;
  OpenForm form(&seam);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QLineEdit* field = form.Combo1->lineEdit();
  ASSERT_EQ(form.Combo1->count(), 2);
  for (int i = 0; i < form.Combo1->count(); ++i) {
    form.Combo1->setCurrentIndex(i);
    field->setCursorPosition(0);
    // The field keeps 2 pixels clear on either side of its text.
    EXPECT_LE(field->fontMetrics().horizontalAdvance(form.Combo1->currentText()), field->contentsRect().width() - 4)
        << qPrintable(form.Combo1->currentText());
  }
  EXPECT_EQ(form.Combo1->itemText(0), QStringLiteral("Access Database(.MDB)"));
  EXPECT_LT(form.Combo1->geometry().right(), form.Drive1->geometry().left());
}

TEST(OpenForm, PatternIgnoresCaseAndListsPlainFilesOnly) {
  ScratchDir dir;
  touch("INFO.MDB");
  touch("info.mdb");
  touch("Unit.Mdb");
  touch("info.mdbx");
  touch(".hidden.mdb");
  touch("readme");
  ASSERT_TRUE(QDir().mkdir("folder.mdb"));
  ASSERT_TRUE(QFile::link("info.mdb", "link.mdb"));
  RecordingMessages seam;
  OpenForm form(&seam);
  EXPECT_EQ(sorted(form.File1->fileNames()), (QStringList{"INFO.MDB", "Unit.Mdb", "info.mdb"}));

  pickType(form, 1);
  EXPECT_EQ(form.Label1->text(), "*.*");
  EXPECT_EQ(form.File1->pattern(), "*.*");
  // Every plain file, with or without a dot in its name.
  EXPECT_EQ(sorted(form.File1->fileNames()), (QStringList{"INFO.MDB", "Unit.Mdb", "info.mdb", "info.mdbx", "readme"}));

  pickType(form, 0);
  EXPECT_EQ(form.Label1->text(), "*.mdb");
  EXPECT_EQ(sorted(form.File1->fileNames()), (QStringList{"INFO.MDB", "Unit.Mdb", "info.mdb"}));
}

TEST(OpenForm, TypingInTheFileTypeBoxChangesNothing) {
  ScratchDir dir;
  touch("info.mdb");
  touch("notes.txt");
  RecordingMessages seam;
  OpenForm form(&seam);
  QLineEdit* edit = form.Combo1->lineEdit();
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClicks(edit, "All Files(*.*)");
  EXPECT_EQ(form.Combo1->currentText(), "All Files(*.*)");
  EXPECT_EQ(form.Label1->text(), "*.mdb");
  EXPECT_EQ(form.File1->pattern(), "*.MDB");
  EXPECT_EQ(form.File1->fileNames(), QStringList{"info.mdb"});

  // Text that names no entry, confirmed with Enter, is not added or used.
  edit->selectAll();
  QTest::keyClicks(edit, "*.txt");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.Combo1->count(), 2);
  EXPECT_EQ(form.Label1->text(), "*.mdb");
  EXPECT_EQ(form.File1->fileNames(), QStringList{"info.mdb"});
}

// Enter, a single typed letter that an entry begins with, or an entry's name
// typed in other letter case, must not stand for a pick: a chosen file stays
// chosen and the file type stays as it is.
TEST(OpenForm, EnterOrLeavingTheFileTypeBoxKeepsTheChosenFile) {
  ScratchDir dir;
  touch("info.mdb");
  touch("notes.txt");
  RecordingMessages seam;
  OpenForm form(&seam);
  form.show();
  QLineEdit* edit = form.Combo1->lineEdit();
  clickFile(form, "info.mdb");
  ASSERT_EQ(form.Label1->text(), "info.mdb");

  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.Label1->text(), "info.mdb");

  edit->selectAll();
  QTest::keyClicks(edit, "a");
  QTest::keyClick(edit, Qt::Key_Tab);
  QApplication::processEvents();
  EXPECT_EQ(form.Label1->text(), "info.mdb");

  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "all files(*.*)");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.Label1->text(), "info.mdb");
  EXPECT_EQ(form.File1->pattern(), "*.MDB");
}

TEST(OpenForm, FileChosenThenAnotherFolderKeepsTheNameAndFollowsTheFolder) {
  ScratchDir dir;
  touch("info.mdb");
  ASSERT_TRUE(QDir().mkdir("Unit B"));
  touch("Unit B/other.mdb");
  touch("Unit B/Info.MDB");
  RecordingMessages seam;
  OpenForm form(&seam);
  clickFile(form, "info.mdb");
  EXPECT_EQ(form.Label1->text(), "info.mdb");
  EXPECT_EQ(form.ChosenFile, "info.mdb");

  openDir(form, "Unit B");
  const QString unitB = QDir(dir.path()).filePath("Unit B");
  EXPECT_EQ(QDir::currentPath(), QFileInfo(unitB).canonicalFilePath());
  EXPECT_EQ(form.Label4->text(), QDir::currentPath()) << "the directory line keeps the folder's case";
  EXPECT_EQ(form.Label1->text(), "info.mdb");
  EXPECT_EQ(sorted(form.File1->fileNames()), (QStringList{"Info.MDB", "other.mdb"}));
  EXPECT_TRUE(form.File1->selectedItems().isEmpty());

  // Up again through the ancestors shown above the current folder.
  openDir(form, QFileInfo(dir.path()).fileName());
  EXPECT_EQ(QDir::currentPath(), QFileInfo(dir.path()).canonicalFilePath());
  EXPECT_EQ(form.File1->fileNames(), QStringList{"info.mdb"});
  EXPECT_EQ(form.DirText, QDir::currentPath());
}

TEST(OpenForm, DirectoryListShowsAncestorsThenSubfoldersButNoHiddenOnes) {
  ScratchDir dir;
  ASSERT_TRUE(QDir().mkdir("beta"));
  ASSERT_TRUE(QDir().mkdir("Alpha"));
  ASSERT_TRUE(QDir().mkdir(".secret"));
  RecordingMessages seam;
  OpenForm form(&seam);
  QStringList texts;
  for (int i = 0; i < form.Dir1->count(); ++i) texts << form.Dir1->item(i)->text();
  ASSERT_GE(texts.size(), 3);
  EXPECT_EQ(texts.first(), "/");
  EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{"Alpha", "beta"}));
  EXPECT_FALSE(texts.contains(".secret"));
  EXPECT_EQ(texts.at(texts.size() - 3), QFileInfo(dir.path()).fileName());
  EXPECT_EQ(form.Dir1->currentItem()->text(), QFileInfo(dir.path()).fileName());
}

TEST(OpenForm, PickingAFileTypeGoesBackToNoFileChosen) {
  ScratchDir dir;
  createRecordsDatabase(QDir::current().filePath("info.mdb"));
  RecordingMessages seam;
  OpenForm form(&seam);
  for (int type : {0, 1}) {
    clickFile(form, "info.mdb");
    EXPECT_EQ(form.Label1->text(), "info.mdb");
    pickType(form, type);
    EXPECT_EQ(form.Label1->text(), type == 0 ? "*.mdb" : "*.*");
    EXPECT_EQ(form.ChosenFile, "info.mdb") << "kept, though no longer consulted";
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_FALSE(QFileInfo::exists("info.old"));
    EXPECT_TRUE(form.TargetPath().isEmpty());
  }
}

TEST(OpenForm, CompactFromTheWindowWorksOnTheFolderShown) {
  ScratchDir dir;
  createRecordsDatabase(QDir::current().filePath("info.mdb"));
  ASSERT_TRUE(QDir().mkdir("unit"));
  createRecordsDatabase(QDir(dir.path()).filePath("unit/info.mdb"));
  RecordingMessages seam;
  OpenForm form(&seam);
  clickFile(form, "info.mdb");
  openDir(form, "unit");
  QTest::mouseClick(form.Command3, Qt::LeftButton);
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, "Compact database successful!");
  EXPECT_EQ(form.TargetPath(), QDir(QDir::currentPath()).filePath("info.mdb"));
  EXPECT_TRUE(QFileInfo::exists(QDir(dir.path()).filePath("unit/info.old")));
  EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath("info.old")));
  // The chosen file is still chosen, and the list shows the new backup.
  EXPECT_EQ(form.Label1->text(), "info.mdb");
  pickType(form, 1);
  EXPECT_TRUE(form.File1->fileNames().contains("info.old"));
}

TEST(OpenForm, ChoosingADriveRunsTheDirectoryChangeToo) {
  ScratchDir dir;
  RecordingMessages seam;
  OpenForm form(&seam);
  const int root = form.Drive1->findData(QStringLiteral("/"));
  ASSERT_GE(root, 0);
  form.Drive1->setCurrentIndex(root);
  form.Drive1_Change();
  EXPECT_EQ(QDir::currentPath(), "/");
  EXPECT_EQ(form.Dir1->path(), "/");
  EXPECT_EQ(form.File1->path(), "/");
  EXPECT_EQ(form.Label4->text(), "/");
  EXPECT_EQ(form.DirText, "/");
  EXPECT_TRUE(seam.boxes.empty());
}

TEST(OpenForm, DriveThatIsNotReadyShowsTheErrorAndEnds) {
  ScratchDir dir;
  RecordingMessages seam;
  OpenForm form(&seam);
  const QString before = form.Label4->text();
  form.Drive1->addItem("/no/such/volume", QStringLiteral("/no/such/volume"));
  form.Drive1->setFocus();
  QTest::keyClick(form.Drive1, Qt::Key_End);  // picks the last entry, as a clerk would
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_TRUE(seam.boxes[0].text.startsWith("Error ")) << qPrintable(seam.boxes[0].text);
  EXPECT_TRUE(seam.boxes[0].text.contains("/no/such/volume"));
  EXPECT_EQ(seam.ends, std::vector<int>{1});
  EXPECT_EQ(QDir::currentPath(), QFileInfo(dir.path()).canonicalFilePath());
  EXPECT_EQ(form.Label4->text(), before) << "the remaining steps did not run";
}

TEST(OpenForm, FolderThatCannotBeEnteredShowsTheErrorAndEnds) {
  ScratchDir dir;
  ASSERT_TRUE(QDir().mkdir("gone"));
  RecordingMessages seam;
  OpenForm form(&seam);
  ASSERT_TRUE(QDir().rmdir("gone"));
  openDir(form, "gone");
  ASSERT_EQ(seam.boxes.size(), 1u);
  EXPECT_EQ(seam.boxes[0].text, QString("Error %1: %2: No such file or directory")
                                    .arg(ENOENT)
                                    .arg(QDir(dir.path()).filePath("gone")));
  EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Critical);
  EXPECT_EQ(seam.ends, std::vector<int>{1});
  EXPECT_EQ(form.Label4->text(), QDir::currentPath());
  EXPECT_NE(form.File1->path(), QDir(dir.path()).filePath("gone"));
}

TEST(About, ExitShowsOneModelessBoxAndOnlyItsOkEndsTheProgram) {
  ScratchDir dir;
  RecordingMessages seam;
  OpenForm form(&seam);
  form.show();
  QTest::mouseClick(form.Command2, Qt::LeftButton);
  About* about = form.aboutBox();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_FALSE(about->isModal());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(seam.ends.empty()) << "Exit... itself does not end the program";

  about->hide();
  QTest::mouseClick(form.Command2, Qt::LeftButton);
  EXPECT_EQ(form.aboutBox(), about) << "one box, shown again";
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(form.findChildren<About*>().size(), 1);

  // The window stays usable behind the box.
  touch("late.mdb");
  pickType(form, 0);
  EXPECT_TRUE(form.File1->fileNames().contains("late.mdb"));

  QTest::mouseClick(about->Command1, Qt::LeftButton);
  EXPECT_EQ(seam.ends, std::vector<int>{0});
}

TEST(About, LayoutAndContents) {
  About about;
  EXPECT_EQ(about.objectName(), "About");
  EXPECT_EQ(about.windowTitle(), "About");
  const qreal k = about.logicalDpiX() / 96.0;
  auto px = [k](int twips) { return qRound(twips / 15.0 * k); };
  EXPECT_EQ(about.size(), QSize(px(5130), px(3810)));
  EXPECT_EQ(about.Label1->text(), "Marlpit Program");
  EXPECT_DOUBLE_EQ(about.Label1->font().pointSizeF(), 13.5);
  EXPECT_TRUE(about.Label1->font().bold());
  EXPECT_EQ(about.Label1->geometry(), QRect(px(1200), px(240), px(3495), px(375)));
  EXPECT_TRUE(about.Label2->text().contains(QUILLON_VERSION));
  EXPECT_DOUBLE_EQ(about.Label2->font().pointSizeF(), 12);
  EXPECT_EQ(about.Image1->geometry(), QRect(px(1920), px(1080), px(1665), px(975)));
  EXPECT_EQ(about.Image1->pixmap().size(), about.Image1->size());
  EXPECT_FALSE(about.Picture1->pixmap().isNull());
  EXPECT_DOUBLE_EQ(about.Label3->font().pointSizeF(), 9.75);
  EXPECT_DOUBLE_EQ(about.Label4->font().pointSizeF(), 9.75);
  EXPECT_FALSE(about.Label3->text().isEmpty());
  EXPECT_EQ(about.Command1->text(), "OK");
  EXPECT_EQ(about.Command1->geometry(), QRect(px(2160), px(3120), px(1215), px(375)));
  // The pictures are drawn, not blank.
  const QImage img = about.Image1->pixmap().toImage();
  QSet<QRgb> colours;
  for (int y = 0; y < img.height(); y += 4)
    for (int x = 0; x < img.width(); x += 4) colours.insert(img.pixel(x, y));
  EXPECT_GT(colours.size(), 10);
}

TEST(ToolMessageBoxes, ShowsAnOkBoxWithTheGivenTitleAndIconAndEndsByClosingEverything) {
  ScratchDir dir;
  OpenForm form;  // its own boxes: real ones
  form.show();
  ToolMessageBoxes boxes(&form);
  struct Seen {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
  } seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = {box->text(), box->windowTitle(), box->icon(), int(box->buttons().size())};
    box->button(QMessageBox::Ok)->click();
  });
  boxes.message("Compact database successful!", "Task Complete", BoxIcon::None);
  EXPECT_EQ(seen.text, "Compact database successful!");
  EXPECT_EQ(seen.title, "Task Complete");
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen.buttons, 1);

  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen.icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  boxes.message("Error 2: gone", "Marlpit Program", BoxIcon::Critical);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);

  // With no event loop running, ending the program closes every window.
  QTest::mouseClick(form.Command2, Qt::LeftButton);
  ASSERT_TRUE(form.aboutBox()->isVisible());
  boxes.endProgram(0);
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.aboutBox()->isVisible());
}
