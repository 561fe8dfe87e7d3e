#pragma once
// The lane grid's table: the keys of lane entry, and keys typed ahead.
// Enter takes the cell's value and moves down the lane before the next key
// is taken, so a grader (or a keyboard-wedge scanner) who types value,
// Enter, value, Enter... without waiting has each value land in its own
// row, in order. A burst that cannot go on where it was aimed (a value
// refused, a lane clash asked about, the lane's last soldier passed, a
// cell that takes no value) stops there: what was typed after it is held,
// entered nowhere, and told, never applied to the next soldier.
//
// Keys typed ahead are the ones already waiting when the burst stopped and
// those that keep coming as one stream after them; a key after a pause
// (or one the window system gives no time for) is the grader's again.

#include <QFontMetricsF>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <optional>
#include <vector>

#include "celltextcache.h"

namespace quillon {

class LaneCells;
class LaneDelegate;

class LaneTable : public QTableView {
  Q_OBJECT
 public:
  // Shows `cells`, which it does not own.
  LaneTable(LaneCells* cells, QWidget* parent);
  ~LaneTable() override;

  // Set while the value just committed is refused: the cell keeps it and
  // the focus.
  bool refused = false;
  std::function<void(int, int)> revert, clear;
  std::function<void(int, int)> retry;
  // What a stopped burst held back (each value as typed, an Enter or Tab
  // ending one) and where it stopped (`why`), once no more of it comes.
  std::function<void(const QString& why, const QStringList& held)> heldBack;

  LaneCells& cells() const { return *cells_; }
  int rowCount() const;
  void setCurrentCell(int row, int column);
  bool editingAt(int row, int column) const {
    return state() == EditingState && currentIndex().row() == row && currentIndex().column() == column;
  }
  // Stops a burst: keys typed ahead of this moment are held until the
  // grader pauses. `why` says where it stopped, for the report.
  void stopBurst(const QString& why);
  // Whether keys of a stopped burst are being held and were told.
  bool holdingTyped() const { return holding_ && (!held_.isEmpty() || !partial_.isEmpty()); }

 protected:
  void commitData(QWidget* editor) override;
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles = QList<int>()) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void downTheLane(const QModelIndex& at);
  friend class LaneDelegate;
  void noteKey(const QKeyEvent* event);
  bool holdKey(QObject* to, QKeyEvent* event);
  void endHold();
  // What a move of the keyboard focus between the table and its own cell
  // editor can change on the screen, in a style that shows the focus: the
  // frame and the current cell.
  void paintFocusChange();
  void showChanged(const QModelIndex& at);

  LaneCells* cells_;
  LaneDelegate* delegate_;
  bool holding_ = false;
  bool queueDrained_ = false;
  ulong lastKeyAt_ = 0;  // the window system's time stamp of the last key taken or held
  int stops_ = 0;
  QString stoppedAt_;
  QStringList held_;  // the values typed ahead, each ended by Enter or Tab
  QString partial_;   // and the one being typed
  bool toOwnEditor_ = false;  // the focus left for this table's cell editor
  QWidget* committing_ = nullptr;  // the cell editor whose text is being committed
  QModelIndex underEditor_;        // a cell changed under it meanwhile, not yet shown
};

// The soldiers' names, the rows' headers. A header measures the first and
// the last hundred of its sections for its width, each with a bold font
// made for it; here only the names that could be the widest by that font
// are measured, to the same width at a small part of the cost.
class LaneHeader : public QHeaderView {
 public:
  explicit LaneHeader(QWidget* parent);
  QSize sizeHint() const override;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  static bool plain(const QString& name);
  std::optional<qreal> widthBound(const QString& name, const QFontMetricsF& fm, qreal perPair) const;

  mutable QSize measured_;
  mutable int measuredCount_ = -1;
  // Each character's advance by the bold font (none yet: below 0), kept
  // until the font changes.
  mutable std::vector<qreal> advances_;
};

// Enter on the editor commits and closes it at once, as Tab does, rather
// than from the event loop: keys typed ahead are queued before anything the
// loop is asked to do later, so a deferred commit let them run on into the
// same editor.
//
// Most cells of a group on a test day are empty; such a cell neither
// selected nor current shows nothing of its own (the grid's lines are the
// table's), so it is passed over rather than dressed as an item first.
//
// A cell's text is drawn from a layout kept per text and room, not laid
// out and shaped again by the style at every paint (see CellTextCache);
// the style still draws all else of the item.
class LaneDelegate : public QStyledItemDelegate {
 public:
  explicit LaneDelegate(LaneTable* table) : QStyledItemDelegate(table), table_(table) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
  // The table's font, style or palette changed.
  void forgetTexts();

 protected:
  bool eventFilter(QObject* editor, QEvent* event) override;

 private:
  static bool keptTextDrawsAsStyle(const QStyle* style, const QStyleOptionViewItem& item);

  LaneTable* table_;
  mutable CellTextCache texts_;
};

}  // namespace quillon
