#include "recordgrid.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include "infofields.h"
#include "recordstore.h"

namespace quillon {

namespace {
const QStringList kSexes = {"M", "F"};

// What an editor's cell held when it opened, and which cell it is.
const char* const kTextBefore = "quillonTextBefore";
const char* const kCell = "quillonCell";

bool allDigits(const QString& s) {
  for (QChar c : s)
    if (c < '0' || c > '9') return false;
  return true;
}
}  // namespace

QString ssnDisplay(const QString& stored) {
  if (stored.size() == 9 && allDigits(stored))
    return stored.left(3) + '-' + stored.mid(3, 2) + '-' + stored.right(4);
  return stored;
}

const RecordModel::Column RecordModel::kColumns[5] = {
    {"ID", "ID"}, {"Name", "LNAME"}, {"Rank", "RANK"}, {"SSN", "SSN"}, {"Sex", "SEX"}};

namespace {

int typedLength(const RecordModel::Column& col) { return infoField(QString::fromLatin1(col.field)).length; }

}  // namespace

RecordModel::RecordModel(RecordStore& store, QObject* parent) : QAbstractTableModel(parent), store_(store) {
  connect(&store_, &RecordStore::aboutToReset, this, [this] { beginResetModel(); });
  connect(&store_, &RecordStore::resetDone, this, [this] {
    hasFields_ = store_.isOpen();
    endResetModel();
  });
  connect(&store_, &RecordStore::rowAboutToBeInserted, this,
          [this](int row) { beginInsertRows(QModelIndex(), row, row); });
  connect(&store_, &RecordStore::rowInserted, this, [this] { endInsertRows(); });
  connect(&store_, &RecordStore::rowAboutToBeRemoved, this,
          [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
  connect(&store_, &RecordStore::rowRemoved, this, [this] { endRemoveRows(); });
  connect(&store_, &RecordStore::rowChanged, this,
          [this](int row) { emit dataChanged(index(row, 0), index(row, columnCount() - 1)); });
  hasFields_ = store_.isOpen();
}

int RecordModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !hasFields_) return 0;
  return store_.rowCount() + 1;
}

int RecordModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

bool RecordModel::isNewRowLine(int row) const { return hasFields_ && row == store_.rowCount(); }

QVariant RecordModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || isNewRowLine(index.row())) return QVariant();
  const Column& col = kColumns[index.column()];
  const QString v = store_.value(index.row(), store_.fieldIndex(QLatin1String(col.field)));
  if (role == Qt::DisplayRole) return index.column() == 3 ? ssnDisplay(v) : v;
  if (role == Qt::EditRole) return v;
  return QVariant();
}

QVariant RecordModel::headerData(int section, Qt::Orientation o, int role) const {
  if (role != Qt::DisplayRole) return QVariant();
  if (o == Qt::Horizontal) return section >= 0 && section < 5 ? QString::fromLatin1(kColumns[section].caption) : QVariant();
  if (isNewRowLine(section)) return QStringLiteral("*");
  return section == current_ ? QStringLiteral("\u25B6") : QVariant();
}

void RecordModel::setCurrentRow(int row) {
  const int old = current_;
  current_ = row;
  if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
  if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

Qt::ItemFlags RecordModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() != 0) f |= Qt::ItemIsEditable;  // the database fills ID
  return f;
}

bool RecordModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() == 0) return false;
  const Column& col = kColumns[index.column()];
  const QString text = value.toString().left(typedLength(col));
  const int field = store_.fieldIndex(QLatin1String(col.field));
  try {
    if (field < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + col.field);
    if (isNewRowLine(index.row())) {
      if (text.isEmpty()) return false;  // nothing typed: no row
      QHash<int, QString> values;
      values[store_.fieldIndex(QStringLiteral("SEX"))] = QStringLiteral("M");  // grid rows start as "M"
      values[field] = text;
      const int row = store_.insertRow(values);
      emit rowAddedInGrid(row);
      return true;
    }
    if (store_.value(index.row(), field) == text) return true;
    store_.updateByKey(store_.rowKey(index.row()), {{field, text}});
    return true;
  } catch (const DbError& e) {
    emit storeFailed(e.message());
    return false;
  }
}

QWidget* RecordDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
  const int c = index.column();
  QWidget* w = nullptr;
  if (c == 2 || c == 4) {
    auto* box = new QComboBox(parent);
    box->addItems(c == 2 ? rankList() : kSexes);
    box->setMaxVisibleItems(7);
    // Styles that drop the whole list down as a menu (Fusion among them)
    // ignore the visible-item count; a plain list view keeps it.
    box->setStyleSheet(QStringLiteral("combobox-popup: 0;"));
    box->setFrame(false);
    // Picking from the list is the edit; the clerk need not leave the cell.
    connect(box, &QComboBox::activated, this, [this, box] { emit const_cast<RecordDelegate*>(this)->commitData(box); });
    w = box;
  } else {
    w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* le = qobject_cast<QLineEdit*>(w)) le->setMaxLength(typedLength(RecordModel::kColumns[c]));
  }
  if (w) {
    w->setProperty(kTextBefore, index.data(Qt::EditRole).toString());
    w->setProperty(kCell, QVariant::fromValue(QPersistentModelIndex(index)));
  }
  return w;
}

void RecordDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    const QString v = index.data(Qt::EditRole).toString();
    int i = v.isEmpty() ? 0 : box->findText(v);  // empty: the default item ("N/A", "M")
    if (i < 0) {
      // A value from before the list was enforced: keep it selectable.
      box->insertItem(0, v);
      i = 0;
    }
    box->setCurrentIndex(i);
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void RecordDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    model->setData(index, box->currentText(), Qt::EditRole);
    return;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

RecordGrid::RecordGrid(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new RecordDelegate(this));
  // One cell is selected by a click; a whole row only by its record selector.
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setVisible(true);
  verticalHeader()->setVisible(true);  // record selectors
  verticalHeader()->setSectionsMovable(false);
  // The view selects nothing for a record selector in single-cell
  // selection; the whole row is what a record selector stands for.
  connect(verticalHeader(), &QHeaderView::sectionPressed, this, [this](int row) {
    selectWholeRow(row);
    setFocus(Qt::MouseFocusReason);
  });
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  setAlternatingRowColors(true);
  setWordWrap(false);
}

bool RecordGrid::commitPendingEdit() {
  if (state() != QAbstractItemView::EditingState) return false;
  QWidget* ed = indexWidget(currentIndex());
  if (!ed) return false;
  commitData(ed);
  closeEditor(ed, QAbstractItemDelegate::NoHint);
  return true;
}

bool RecordGrid::discardPendingEdit() {
  if (state() != QAbstractItemView::EditingState) return false;
  QWidget* ed = indexWidget(currentIndex());
  if (!ed) return false;
  closeEditor(ed, QAbstractItemDelegate::NoHint);
  return true;
}

void RecordGrid::selectWholeRow(int row) {
  if (!model() || row < 0 || row >= model()->rowCount()) return;
  const QModelIndex at = currentIndex();
  selectionModel()->setCurrentIndex(model()->index(row, at.isValid() ? at.column() : 1), QItemSelectionModel::NoUpdate);
  selectionModel()->select(QItemSelection(model()->index(row, 0), model()->index(row, model()->columnCount() - 1)),
                           QItemSelectionModel::ClearAndSelect);
}

void RecordGrid::keyPressEvent(QKeyEvent* e) {
  const QModelIndex at = currentIndex();
  if (state() != QAbstractItemView::EditingState && at.isValid()) {
    // Shift+Space selects the row, as its record selector does.
    if (e->key() == Qt::Key_Space && e->modifiers() == Qt::ShiftModifier) {
      selectWholeRow(at.row());
      return;
    }
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
      // A row selected as a whole goes; a selected cell is only emptied.
      auto* m = qobject_cast<RecordModel*>(model());
      if (selectionModel()->isRowSelected(at.row(), QModelIndex()))
        emit deleteRequested(at.row());
      else if (selectionModel()->isSelected(at) && (at.flags() & Qt::ItemIsEditable) && m && !m->isNewRowLine(at.row()))
        model()->setData(at, QString(), Qt::EditRole);
      return;
    }
  }
  QTableView::keyPressEvent(e);
}

void RecordGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const QPersistentModelIndex cell = editor ? editor->property(kCell).value<QPersistentModelIndex>() : QPersistentModelIndex();
  const QString before = editor ? editor->property(kTextBefore).toString() : QString();
  if (hint == QAbstractItemDelegate::RevertModelCache) {
    QTableView::closeEditor(editor, hint);
    if (cell.isValid() && cell.data(Qt::EditRole).toString() != before) emit revertRequested(cell, before);
    return;
  }
  // Tab from the last column leaves the grid (its text passed on already)
  // for the next control, as it does without an editor; it never walks on
  // into the next soldier's row.
  if (hint == QAbstractItemDelegate::EditNextItem && cell.isValid() && model() &&
      cell.column() >= model()->columnCount() - 1) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    QWidget::focusNextPrevChild(true);
    return;
  }
  QTableView::closeEditor(editor, hint);
}

bool RecordGrid::focusNextPrevChild(bool next) {
  // Tab walks the cells of a row; from the last cell (Shift+Tab: the first)
  // it leaves the grid for the next control of the window, the remark.
  const QModelIndex at = currentIndex();
  const int last = model() ? model()->columnCount() - 1 : 0;
  if (state() != QAbstractItemView::EditingState &&
      (!at.isValid() || (next && at.column() >= last) || (!next && at.column() <= 0)))
    return QWidget::focusNextPrevChild(next);
  return QTableView::focusNextPrevChild(next);
}

void RecordGrid::contextMenuEvent(QContextMenuEvent* e) {
  const QModelIndex at = indexAt(viewport()->mapFromGlobal(e->globalPos()));
  if (!at.isValid()) return;
  auto* m = qobject_cast<RecordModel*>(model());
  if (m && m->isNewRowLine(at.row())) return;
  QMenu menu(this);
  QAction* del = menu.addAction(tr("Delete Row"));
  if (menu.exec(e->globalPos()) == del) emit deleteRequested(at.row());
}

}  // namespace quillon
