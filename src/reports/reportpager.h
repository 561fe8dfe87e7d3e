#pragma once
// A report laid out one page at a time, from any page on, for a window that
// shows a few pages and never holds the rest.

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
  // Reads the rows twice, for the counts and widths and then for where each
  // page begins; keeps only those beginnings. `device` gives the page and
  // its fonts and must outlive the pager. Throws ReportError.
  ReportPager(PreparedReport r, QPaintDevice* device, QString printed);
  ~ReportPager();
  ReportPager(const ReportPager&) = delete;
  ReportPager& operator=(const ReportPager&) = delete;

  const PreparedReport& report() const { return r_; }
  int pageCount() const { return count_; }
  // Goes up each time the rows were found changed and the pages counted
  // again; pages laid out before then are out of date.
  int generation() const { return generation_; }
  // Where pages begin at a row, kept to lay a page out without the ones
  // before it.
  size_t pageStarts() const { return starts_.size(); }

  // Lays out pages `first` to `last` (within the report) and hands each over
  // in order. The rows stay open after `last`, so asking for the next pages
  // goes on from there; a jump starts at the nearest page beginning before
  // it. Throws ReportError.
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
  struct Changed {};
  void count();
  void open(int page);
  void marked(const detail::PageStart& s);

  PreparedReport r_;
  QPaintDevice* device_;
  QString printed_;
  std::unique_ptr<detail::Pagination> pagination_;
  std::vector<detail::PageStart> starts_;
  int count_ = 0;
  int generation_ = 0;
  std::unique_ptr<Live> live_;
  std::function<void(const ReportPage&)> sink_;
};

}  // namespace quillon
