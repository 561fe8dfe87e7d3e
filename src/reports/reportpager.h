#pragma once
// A report laid out one page at a time, from any page on, for a window that
// shows a few pages and never holds the rest. The first page comes from one
// ordered read of the rows it can hold; the pages are counted afterwards a
// slice at a time (countStep), while any page can be laid out.

#include <QSizeF>
#include <functional>
#include <memory>
#include <vector>

#include "report.h"
#include "reportdetail.h"

class QPainter;

namespace quillon {

class ReportPager {
 public:
  // Reads the rows the first page can hold and lays that page out; nothing
  // is counted yet (a chart, which shows every row's count, is tallied at
  // once). `device` gives the page and its fonts and must outlive the
  // pager. Throws ReportError.
  ReportPager(PreparedReport r, QPaintDevice* device, QString printed);
  ~ReportPager();
  ReportPager(const ReportPager&) = delete;
  ReportPager& operator=(const ReportPager&) = delete;

  const PreparedReport& report() const { return r_; }
  // Every page once counted(); before that, the pages known so far.
  int pageCount() const;
  bool counted() const { return stage_ == Stage::Counted; }
  // Counts on for one slice of rows, read after the last one counted;
  // false once every page is counted. Throws ReportError.
  bool countStep();
  // Counts the rest at once, in one read. Throws ReportError.
  void finishCount();
  // Rows read by one counting slice; the default starts small and grows.
  void setSliceRows(qint64 rows);
  // Goes up each time pages laid out before are out of date: the rows were
  // found changed, or the columns were widened once every row was seen.
  int generation() const { return generation_; }
  // Where pages begin at a row, kept to lay a page out without the ones
  // before it.
  size_t pageStarts() const { return starts_.size(); }
  // A page laid out before the count ended, given the page count.
  void stamp(ReportPage& page) const;

  // Lays out pages `first` to `last` (within the report) and hands each over
  // in order. The rows stay open after `last`, so asking for the next pages
  // goes on from there; a jump starts at the nearest page beginning before
  // it, and a page past the counted ones is reached by reading on from the
  // last. Throws ReportError.
  void layOut(int first, int last, const std::function<void(const ReportPage&)>& each);
  // Closes the rows kept open for the next pages: they hold a read of the
  // database.
  void release();
  bool holdsRows() const { return live_ != nullptr; }

  // Paints a page laid out here; the painter's coordinates are the device
  // pixels of pageSize().
  void paint(QPainter& p, const ReportPage& page) const;
  QSizeF pageSize() const;

 private:
  struct Live;
  struct Keys;
  struct Changed {};
  // Keying: every row's place in print order is read in the order entered,
  // then Merging puts them in print order (where rows are reached by their
  // number); Tallying: widths and group sizes are the first rows'; Paging:
  // they are final and page beginnings are being found; Counted: all is
  // known.
  enum class Stage { Keying, Merging, Tallying, Paging, Counted };
  void start();
  bool step(qint64 rows);
  bool keyStep(qint64 rows);
  bool mergeStep(qint64 rows);
  bool keyedPagingStep(qint64 rows);
  qint64 readTally(qint64 rows);
  bool tallyStep(qint64 rows);
  bool pagingStep(qint64 rows);
  void tallied();
  void ended(int count);
  void open(int page);
  void marked(const detail::PageStart& s);

  PreparedReport r_;
  QPaintDevice* device_;
  QString printed_;
  std::unique_ptr<detail::Pagination> pagination_;
  std::vector<detail::PageStart> starts_;
  Stage stage_ = Stage::Tallying;
  std::unique_ptr<detail::TallyBuilder> tally_;
  qint64 tallied_ = 0;     // rows tallied
  QByteArray tallyAfter_;  // where the last of them stands
  std::unique_ptr<ReportPage> head_;  // the first page, from the first read
  qint64 firstSlice_ = 2000;
  bool grow_ = true;
  qint64 slice_ = 2000;
  int count_ = 0;
  int generation_ = 0;
  std::unique_ptr<Keys> keys_;
  std::vector<QByteArray> headAt_;  // where the first page's rows stood
  std::unique_ptr<Live> live_;
  std::function<void(const ReportPage&)> sink_;
};

}  // namespace quillon
