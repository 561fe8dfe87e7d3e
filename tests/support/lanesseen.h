#pragma once
// What the clerk sees in a cell of the lane grid: the text it shows and,
// while its value is refused, why (the cell's tooltip).

#include <QAbstractItemModel>
#include <QTableView>

namespace quillon::test {

inline QString shownAt(const QTableView* lanes, int row, int column) {
  return lanes->model()->index(row, column).data(Qt::DisplayRole).toString();
}

inline QString tipAt(const QTableView* lanes, int row, int column) {
  return lanes->model()->index(row, column).data(Qt::ToolTipRole).toString();
}

inline QRect cellRect(const QTableView* lanes, int row, int column) {
  return lanes->visualRect(lanes->model()->index(row, column));
}

}  // namespace quillon::test
