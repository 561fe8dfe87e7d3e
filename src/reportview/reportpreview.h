#pragma once
// The window a report opens in: the pages in view are laid out and painted
// when they are shown, a few are kept, the rest are not held at all.

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <functional>
#include <list>
#include <memory>

#include "report.h"

class QAction;
class QBuffer;
class QLabel;
class QPdfWriter;
class QSpinBox;
class QTimer;
class QToolBar;

namespace quillon {

class ReportPager;

// Lets Tab reach every button of a report window's tool bar.
void keyboardReachable(QToolBar* bar);

class ReportPreview : public QDialog {
  Q_OBJECT
 public:
  // Pages laid out and kept at most, beyond which the least recently shown
  // page goes.
  static constexpr int kKeptPages = 8;

  // Lays out the first page as it will be saved as a PDF; the pages are
  // counted afterwards, a slice of rows each time the window is idle.
  // Throws ReportError.
  ReportPreview(const PreparedReport& r, const QString& printed, QWidget* parent = nullptr);
  ~ReportPreview() override;

  // Every page: what is not counted yet is counted first.
  int pageCount();
  // The pages counted so far, and whether that is all of them.
  int pagesCounted() const;
  bool counted() const;
  // Rows read by each counting slice (a small number shows the count grow).
  void setCountSlice(int rows);
  // The page the view is on (from 0): the one in the middle of the view.
  int currentPage() const;
  void showPage(int page);
  // The page laid out as shown; null when it cannot be (see failure()).
  const ReportPage* page(int index);
  int keptPages() const { return static_cast<int>(kept_.size()); }
  int mostKept() const { return mostKept_; }
  // Why the pages could not be shown; the window closes once it is set.
  const QString& failure() const { return failure_; }
  // Whether rows are held open for the next pages (a read of the database).
  bool holdsRows() const;

  QAction* savePdfAction() const { return savePdf_; }
  // Print failures, shown while the window stays.
  std::function<void(const QString&)> onError;

  enum class Fit { Width, Page, None };
  void setFit(Fit fit);
  double zoom() const { return scale_; }
  void zoomBy(double factor);

 protected:
  void showEvent(QShowEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  class View;
  friend class View;
  void print();
  void fail(const QString& message);
  void catchUp();
  void countOn();
  void finishCount();
  void updateControls();
  void paintPages(QPainter& p, const QRect& area);

  PreparedReport report_;
  QString printed_;
  std::unique_ptr<QBuffer> sink_;
  std::unique_ptr<QPdfWriter> device_;
  std::unique_ptr<ReportPager> pager_;
  QSize paper_;    // the whole sheet, in the pixels the pages are laid out in
  QPoint origin_;  // where the laid-out page starts on it
  int generation_ = 0;
  std::list<ReportPage> kept_;  // most recently shown first
  int mostKept_ = 0;
  QString failure_;

  View* view_ = nullptr;
  QSpinBox* pageBox_ = nullptr;
  QAction* savePdf_ = nullptr;
  QAction *first_ = nullptr, *previous_ = nullptr, *next_ = nullptr, *last_ = nullptr;
  QAction *fitWidth_ = nullptr, *fitPage_ = nullptr;
  QTimer* idle_ = nullptr;
  QTimer* counter_ = nullptr;
  int at_ = 0;             // the page the clerk is on
  bool placing_ = false;   // scrolling to a page, not by the clerk
  Fit fit_ = Fit::Width;
  double scale_ = 0.1;
};

}  // namespace quillon
