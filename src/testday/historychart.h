#pragma once
// A small chart of a soldier's five-event tests over time: the total above
// (with the totals the standards ask for as dashed lines), each event's
// points below on their own 0-100 scale, one colour per line.

#include <QList>
#include <QWidget>

#include "history.h"

namespace quillon {

class HistoryChart : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryChart(QWidget* parent = nullptr);
  void setSeries(const QList<ChartSeries>& series);
  const QList<ChartSeries>& series() const { return series_; }
  QSize sizeHint() const override { return {620, 300}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QList<ChartSeries> series_;
};

}  // namespace quillon
