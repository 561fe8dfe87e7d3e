#pragma once
// A small chart of a soldier's tests of one kind over time: the total above
// (with the totals its pass rules ask for as dashed lines), each event's
// points below on the kind's own scale, one colour per line.

#include <QList>
#include <QWidget>

#include "history.h"

namespace quillon {

class HistoryChart : public QWidget {
  Q_OBJECT
 public:
  explicit HistoryChart(QWidget* parent = nullptr);
  // `series` as historyChart() gives them for tests of kind `kind`.
  void setSeries(const QList<ChartSeries>& series, TestKindId kind = TestKindId::FiveEvent);
  const QList<ChartSeries>& series() const { return series_; }
  QSize sizeHint() const override { return {620, 300}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QList<ChartSeries> series_;
  TestKindId kind_ = TestKindId::FiveEvent;
};

}  // namespace quillon
