#include "pickerlists.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QStyledItemDelegate>

namespace quillon::dbtool {

namespace {

// Indents each directory entry by its depth, as a folder tree would.
class LevelDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    o.rect.adjust(index.data(DirListBox::kLevelRole).toInt() * indent(option), 0, 0, 0);
    QStyledItemDelegate::paint(p, o, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.rwidth() += index.data(DirListBox::kLevelRole).toInt() * indent(option);
    return s;
  }

 private:
  static int indent(const QStyleOptionViewItem& option) { return option.fontMetrics.height() * 2 / 3; }
};

}  // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new LevelDelegate(this));
  setUniformItemSizes(true);
  // Opening a folder is a double click or Enter, as in a file dialog; a
  // single click only highlights it.
  connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    if (item) setPath(item->data(kPathRole).toString());
  });
}

void DirListBox::setPath(const QString& dir) {
  const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
  if (clean == path_) return;
  path_ = clean;
  refresh();
  emit Change();
}

void DirListBox::refresh() {
  clear();
  if (path_.isEmpty()) return;
  const QStyle* st = style();
  const QIcon open = st->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = st->standardIcon(QStyle::SP_DirClosedIcon);

  // The chain of folders from the root down to the current one.
  QStringList chain;
  for (QDir d(path_);; ) {
    chain.prepend(d.absolutePath());
    if (d.isRoot() || !d.cdUp()) break;
  }
  int level = 0;
  QListWidgetItem* current = nullptr;
  for (const QString& p : chain) {
    const QString name = QDir(p).isRoot() ? QDir::toNativeSeparators(p) : QDir(p).dirName();
    auto* item = new QListWidgetItem(open, name, this);
    item->setData(kPathRole, p);
    item->setData(kLevelRole, level++);
    item->setToolTip(QDir::toNativeSeparators(p));
    current = item;
  }
  const QFileInfoList subs =
      QDir(path_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& fi : subs) {
    auto* item = new QListWidgetItem(closed, fi.fileName(), this);
    item->setData(kPathRole, fi.absoluteFilePath());
    item->setData(kLevelRole, level);
    item->setToolTip(QDir::toNativeSeparators(fi.absoluteFilePath()));
  }
  if (current) {
    setCurrentItem(current);
    scrollToItem(current, QAbstractItemView::PositionAtCenter);
  }
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::setPath(const QString& dir) {
  path_ = QDir::cleanPath(QDir(dir).absolutePath());
  refresh();
}

void FileListBox::setPattern(const QString& pattern) {
  pattern_ = pattern;
  refresh();
}

bool FileListBox::matches(const QString& pattern, const QString& name) {
  if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) return true;
  const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                              QRegularExpression::CaseInsensitiveOption);
  return re.match(name).hasMatch();
}

void FileListBox::refresh() {
  const QSignalBlocker quiet(this);
  clear();
  if (path_.isEmpty()) return;
  // Plain files only: no folders, no hidden files, no links, no devices.
  const QFileInfoList files =
      QDir(path_).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& fi : files)
    if (matches(pattern_, fi.fileName())) addItem(fi.fileName());
  setCurrentRow(-1);
  clearSelection();
}

QStringList FileListBox::fileNames() const {
  QStringList names;
  for (int i = 0; i < count(); ++i) names << item(i)->text();
  return names;
}

}  // namespace quillon::dbtool
