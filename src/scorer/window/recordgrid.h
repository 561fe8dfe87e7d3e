#pragma once
// The record grid: the view over the grid's rows (recordmodel.h), the
// value lists for Rank and Sex, and the view that lets the main window
// commit a cell still being edited.

#include <QStyledItemDelegate>
#include <QTableView>

#include "recordmodel.h"

namespace quillon {

// Rank and Sex: a drop-down of the offered values; other columns: a line
// edit limited to the column's length.
class RecordDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

class RecordGrid : public QTableView {
  Q_OBJECT
 public:
  explicit RecordGrid(QWidget* parent = nullptr);
  // Passes a cell still being edited on to the model; true when there was one.
  bool commitPendingEdit();
  // Closes a cell editor without passing its text on; true when there was one.
  bool discardPendingEdit();
  // A cell editor is open.
  bool isEditing() const { return state() == QAbstractItemView::EditingState; }

 Q_SIGNALS:
  // Delete key on a row selected by its record selector, or the context
  // menu on a record line.
  void deleteRequested(int row);
  // Escape in a cell whose new text had already been passed on (a pick from
  // a list is passed on at once): `text` is what the cell held before.
  void revertRequested(const QModelIndex& index, const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool focusNextPrevChild(bool next) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  // The whole row, as a click on its record selector selects it.
  void selectWholeRow(int row);
};

}  // namespace quillon
