#pragma once
// The record grid: a table model over the record store showing ID, Name,
// Rank, SSN and Sex, with an empty last line where typing adds a row, the
// value lists for Rank and Sex, and the view that lets the main window
// commit a cell still being edited.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include "ranks.h"

namespace quillon {

class RecordStore;

// "123456789" and "123-45-6789" both show as "123-45-6789"; anything else
// shows as stored.
QString ssnDisplay(const QString& stored);

class RecordModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Column {
    const char* caption;
    const char* field;  // its length is the field's (infoFields())
  };
  static const Column kColumns[5];

  explicit RecordModel(RecordStore& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The empty last line where a new row is typed.
  bool isNewRowLine(int row) const;
  // The record selector of this row shows the current-row mark.
  void setCurrentRow(int row);

 Q_SIGNALS:
  // A cell edit could not be stored; `message` is the engine's.
  void storeFailed(const QString& message);
  // A row was added from the new-row line (index in the store).
  void rowAddedInGrid(int row);

 private:
  RecordStore& store_;
  bool hasFields_ = false;
  int current_ = -1;
};

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
