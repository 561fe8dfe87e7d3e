// Laying a report out a page at a time. Counting the pages notes where each
// one begins (the row and the grouping before it), so a page is laid out
// from its own beginning instead of from the first row; a page that begins
// in the middle of a record taller than a page starts from the nearest
// beginning before it. The rows of the last request stay open so paging on
// costs no new read; the beginnings also tell when the rows changed since
// the count, and the pages are then counted again.

#include "reportpager.h"

#include <QPainter>
#include <algorithm>

#include "reportdetail.h"

namespace quillon {

using namespace detail;

namespace {

// A page further ahead than this is laid out from its own beginning rather
// than by going on through the pages before it.
constexpr int kGoOnAhead = 8;

}  // namespace

struct ReportPager::Live {
  std::unique_ptr<ReportRowPass> pass;
  std::unique_ptr<ReportRowCursor> rows;
  std::unique_ptr<PageFlow> flow;
  // The row the pass begins with: its ID must be the one noted when counting.
  bool checked = false;
  QString firstId;
  bool ended = false;
};

ReportPager::ReportPager(PreparedReport r, QPaintDevice* device, QString printed)
    : r_(std::move(r)), device_(device), printed_(std::move(printed)) {
  count();
}

ReportPager::~ReportPager() = default;

void ReportPager::count() {
  live_.reset();
  starts_.clear();
  const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
  pagination_ = std::make_unique<Pagination>(r_.layout, device_, printed_, *pass);
  starts_.push_back(PageStart{});
  // Each beginning keeps where the row before it stands, so the page is read
  // from there later rather than by counting the rows before it.
  QByteArray before;
  PageFlow flow(*pagination_, 0, PageStart{}, [](int) { return false; }, [](const ReportPage&) {},
                [&](const PageStart& s) {
                  starts_.push_back(s);
                  starts_.back().after = before;
                });
  if (pagination_->list) {
    const std::unique_ptr<ReportRowCursor> rows = pass->rows(0);
    bool first = true;
    while (const ReportRow* row = rows->next()) {
      if (first) starts_.front().rowId = cell(*row, 0);
      first = false;
      flow.row(*row);
      before = rows->position();
    }
  }
  count_ = flow.end();
  starts_.shrink_to_fit();
  ++generation_;
}

void ReportPager::release() { live_.reset(); }

void ReportPager::open(int page) {
  live_.reset();
  // The last beginning at or before the page.
  auto it = std::upper_bound(starts_.begin(), starts_.end(), page,
                             [](int p, const PageStart& s) { return p < s.page; });
  const PageStart& s = *std::prev(it);
  auto live = std::make_unique<Live>();
  live->pass = r_.rows->open();
  live->rows = live->pass->rowsAfter(s.after, s.row);
  live->firstId = s.rowId;
  live->flow = std::make_unique<PageFlow>(
      *pagination_, count_, s, [](int) { return true; }, [this](const ReportPage& p) { sink_(p); },
      [this](const PageStart& m) { marked(m); });
  live_ = std::move(live);
}

// A page begins where the count said it would, or the rows are not the ones
// counted.
void ReportPager::marked(const PageStart& s) {
  auto it = std::lower_bound(starts_.begin(), starts_.end(), s.page, [](const PageStart& a, int p) { return a.page < p; });
  if (it == starts_.end() || it->page != s.page || it->row != s.row || it->rowId != s.rowId) throw Changed{};
}

void ReportPager::layOut(int first, int last, const std::function<void(const ReportPage&)>& each) {
  for (int attempt = 0;; ++attempt) {
    const int from = std::clamp(first, 0, count_ - 1), to = std::clamp(last, from, count_ - 1);
    sink_ = [&](const ReportPage& p) {
      if (p.index >= from && p.index <= to) each(p);
    };
    try {
      const bool goOn = live_ && !live_->ended && live_->flow->page() <= from && from - live_->flow->page() <= kGoOnAhead;
      if (!goOn) open(from);
      Live& l = *live_;
      // A chart or an empty report is one page that shows no rows.
      if (!pagination_->list) {
        l.ended = true;
        l.flow->end();
      }
      while (!l.ended && l.flow->page() <= to) {
        const ReportRow* row = l.rows->next();
        if (!l.checked) {
          l.checked = true;
          if ((row ? cell(*row, 0) : QString()) != l.firstId) throw Changed{};
        }
        if (!row) {
          l.ended = true;
          if (l.flow->end() != count_) throw Changed{};
          break;
        }
        l.flow->row(*row);
      }
      if (l.ended) live_.reset();
      sink_ = nullptr;
      return;
    } catch (const Changed&) {
      live_.reset();
      sink_ = nullptr;
      // Changed again at once: the rows are being written as they are read.
      if (attempt > 0) throw ReportError(QStringLiteral("The records changed while the report was printed."));
      count();
    } catch (...) {
      live_.reset();
      sink_ = nullptr;
      throw;
    }
  }
}

void ReportPager::paint(QPainter& p, const ReportPage& page) const {
  paintPage(p, pagination_->m, r_.layout, page, pagination_->width, pagination_->bottom);
}

QSizeF ReportPager::pageSize() const { return QSizeF(pagination_->width, pagination_->bottom); }

}  // namespace quillon
