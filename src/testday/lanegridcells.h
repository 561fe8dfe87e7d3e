#pragma once
// What the lane grid shows, held as plain text per cell: the value or
// points, a refusal (the cell's tooltip, its text red) and, per soldier, the
// points his line earns, from which each cell's accessible text is made
// when asked. A group of a thousand soldiers opens as one table of strings
// handed to the view at once, not as thousands of items each announcing
// itself.
//
// The window writes through at(); only the cell editor writes through
// setData(), and a change it makes is told by typed().

#include <QAbstractTableModel>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

#include "fitnessscore.h"

namespace quillon {

class LaneCells : public QAbstractTableModel {
  Q_OBJECT
 public:
  // `rows` names each row (its header), `columns` each column; the first
  // row holds the graders, and `graded` says which columns take one.
  LaneCells(QStringList rows, QStringList columns, int laneColumns, std::vector<bool> graded, QObject* parent);

  // One cell, written as the window writes it; a write that changes what
  // the cell shows tells the view.
  class Ref {
   public:
    int row() const { return row_; }
    int column() const { return column_; }
    const QString& text() const;
    const QString& toolTip() const;
    void setText(const QString& text);
    void setToolTip(const QString& tip);
    void setRed(bool red);

   private:
    friend class LaneCells;
    Ref(LaneCells* cells, int row, int column) : cells_(cells), row_(row), column_(column) {}
    LaneCells* cells_;
    int row_, column_;
  };
  Ref at(int row, int column) { return Ref(this, row, column); }
  const QString& text(int row, int column) const { return cell(row, column).text; }
  const QString& toolTip(int row, int column) const { return cell(row, column).tip; }
  const QString& rowName(int row) const { return rows_.at(row); }
  const QString& columnName(int column) const { return columns_.at(column); }
  // The points a soldier's lanes earn, for what each of his cells says.
  void setPoints(int row, const std::array<int, fitness::kEvents>& points) { points_[row] = points; }
  // The event whose points a lane column earns, -1 for none.
  void setLaneEvents(std::vector<int> events) { events_ = std::move(events); }
  // A row is written by `fill` (through at()) the first time anything of it
  // is asked for, telling no view: a view asks only for the rows it shows,
  // so a group opens at the cost of a screenful. Whoever changes what a row
  // should show writes it through at() as before. None: rows not written
  // stay empty (the window that wrote them is going).
  void fillWhenAsked(std::function<void(int row)> fill);
  // Whether the row was written (or is being written); one never asked for
  // will be written from what is true when it is.
  bool written(int row) const { return filled_.empty() || filled_[size_t(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : int(columns_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The cell editor's write: the same text again changes nothing and tells
  // nothing.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void typed(int row, int column);

 private:
  struct Cell {
    QString text, tip;
    bool red = false;
  };
  const Cell& cell(int row, int column) const {
    if (!filled_.empty() && !filled_[size_t(row)]) fillRow(row);
    return cells_[size_t(row) * columns_.size() + size_t(column)];
  }
  Cell& cell(int row, int column) {
    if (!filled_.empty() && !filled_[size_t(row)]) fillRow(row);
    return cells_[size_t(row) * columns_.size() + size_t(column)];
  }
  void fillRow(int row) const;
  void changed(int row, int column, const QList<int>& roles);
  bool readOnly(int row, int column) const;
  QString said(int row, int column) const;

  QStringList rows_, columns_;
  int lanes_;
  std::vector<bool> graded_;
  std::vector<int> events_;
  std::vector<Cell> cells_;
  std::vector<std::array<int, fitness::kEvents>> points_;
  std::function<void(int)> fill_;
  mutable std::vector<bool> filled_;  // empty: every row is written already
  mutable int filling_ = -1;           // the row being written when asked for
};

}  // namespace quillon
