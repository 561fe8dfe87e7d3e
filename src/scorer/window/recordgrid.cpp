#include "recordgrid.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include "ranks.h"

namespace quillon {

namespace {
const QStringList kSexes = {"M", "F"};

// What an editor's cell held when it opened, and which cell it is.
const char* const kTextBefore = "quillonTextBefore";
const char* const kCell = "quillonCell";

}  // namespace

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
    if (auto* le = qobject_cast<QLineEdit*>(w)) le->setMaxLength(RecordModel::typedLength(c));
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
