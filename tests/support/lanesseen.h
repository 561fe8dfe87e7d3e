#pragma once
// What the clerk sees in a cell of the lane grid: the text it shows and,
// while its value is refused, why (the cell's tooltip).

#include <QAbstractItemModel>
#include <QImage>
#include <QTableView>

namespace quillon::test {

inline QString shownAt(const QTableView* lanes, int row, int column) {
  return lanes->model()->index(row, column).data(Qt::DisplayRole).toString();
}

inline QString tipAt(const QTableView* lanes, int row, int column) {
  return lanes->model()->index(row, column).data(Qt::ToolTipRole).toString();
}

// Whether some pixel of `area` in `shown` is plainly red (a refused value).
inline bool drawnInRed(const QImage& shown, const QRect& area) {
  for (int x = area.left(); x <= area.right(); ++x)
    for (int y = area.top(); y <= area.bottom(); ++y) {
      const QColor c = shown.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 100 && c.blue() < 100) return true;
    }
  return false;
}

inline QRect cellRect(const QTableView* lanes, int row, int column) {
  return lanes->visualRect(lanes->model()->index(row, column));
}

}  // namespace quillon::test
