// Laying a report out a page at a time. The window opens on the first page,
// laid out from one ordered read of the rows it can hold: its column widths
// are those rows' widest values. The rows are then counted in slices, each
// read on after the last row counted, first for the widths and group sizes
// (when the widths come out wider the pages are laid out again), then for
// where each page begins (the row and the grouping before it), so a page is
// laid out from its own beginning instead of from the first row; a page
// that begins in the middle of a record taller than a page starts from the
// nearest beginning before it. The rows of the last request stay open so
// paging on costs no new read; the beginnings also tell when the rows
// changed since the count, and the pages are then counted again.

#include "reportpager.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPainter>
#include <algorithm>

#include "reportdetail.h"

namespace quillon {

using namespace detail;

namespace {

// A page further ahead than this is laid out from its own beginning rather
// than by going on through the pages before it.
constexpr int kGoOnAhead = 8;
// Each counting slice reads this many times the rows of the one before: on
// a large file every ordered read costs the engine a walk over the table.
constexpr int kGrowth = 4;
// Where rows are read by their number a slice costs what it reads, so each
// is sized to take about this long and the window answers in between.
constexpr qint64 kSliceMs = 40;

}  // namespace

// Every row's place in print order, read in the order entered and sorted
// here, so the count never asks the engine to sort: each slice is a sorted
// run, and the runs are merged a slice at a time.
struct ReportPager::Keys {
  QByteArray bytes;             // the positions, one after another
  std::vector<qint64> at{0};    // where each begins, and the end
  std::vector<quint32> sorted;  // per slice, its rows in print order
  std::vector<size_t> runEnds;
  std::vector<size_t> heads;    // merging: each run's next row in `sorted`
  std::vector<quint32> order;   // every row, in print order once merged
  QByteArray last;              // the last row read in the order entered
  // Grouped reports: each row's group, numbered as first met.
  int groupField = -1;
  bool dates = false;
  std::vector<int> group;
  QHash<QString, int> groups;

  size_t size() const { return at.size() - 1; }
  QByteArrayView position(quint32 i) const {
    return QByteArrayView(bytes).sliced(static_cast<qsizetype>(at[i]), static_cast<qsizetype>(at[i + 1] - at[i]));
  }
  bool before(quint32 a, quint32 b) const { return positionBefore(position(a), position(b)); }
  // Runs of one group in print order.
  std::vector<int> groupSizes() const {
    std::vector<int> sizes;
    for (size_t i = 0; i < order.size(); ++i) {
      if (i == 0 || group[order[i]] != group[order[i - 1]]) sizes.push_back(0);
      ++sizes.back();
    }
    return sizes;
  }
};

struct ReportPager::Live {
  std::unique_ptr<ReportRowPass> pass;
  std::unique_ptr<ReportRowCursor> rows;
  std::unique_ptr<PageFlow> flow;
  // The row the pass begins with: its ID must be the one noted when counting.
  bool checked = false;
  QString firstId;
  bool ended = false;
  QByteArray before;  // where the last row laid out stands
  // Read by their number in the counted order: the next row's place in it,
  // and where that row must stand, until it comes.
  bool keyed = false;
  size_t next = 0;
  QByteArray want;
  bool pending = false;
};

ReportPager::ReportPager(PreparedReport r, QPaintDevice* device, QString printed)
    : r_(std::move(r)), device_(device), printed_(std::move(printed)) {
  start();
}

ReportPager::~ReportPager() = default;

void ReportPager::start() {
  live_.reset();
  keys_.reset();
  headAt_.clear();
  head_.reset();
  pagination_.reset();
  starts_.clear();
  stage_ = Stage::Tallying;
  count_ = 0;
  slice_ = firstSlice_;
  // As many rows as the first page can hold, and one more to tell whether
  // there are more.
  const Metrics m(r_.layout, device_);
  const qint64 want = static_cast<qint64>(device_->height() / m.line) + 2;
  std::vector<ReportRow> rows;
  std::vector<QByteArray> at;
  bool keyed = false;
  {
    const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
    const std::unique_ptr<ReportRowCursor> c = pass->slice(QByteArray(), 0, want);
    while (const ReportRow* row = c->next()) {
      rows.push_back(*row);
      at.push_back(c->position());
    }
    keyed = pass->entered(QByteArray(), 0) != nullptr;
  }
  tally_ = std::make_unique<TallyBuilder>(r_.layout, device_);
  for (const ReportRow& row : rows) tally_->add(row);
  tallied_ = static_cast<qint64>(rows.size());
  tallyAfter_ = at.empty() ? QByteArray() : at.back();
  const bool all = tallied_ < want;
  // A chart shows every row's count on its one page.
  const bool chart = !all && r_.layout.kind == ReportLayout::Kind::Chart;
  if (chart) tallied_ += readTally(-1);
  Tally t = tally_->tally();
  t.complete = all || chart;
  if (t.complete) tally_.reset();
  pagination_ = std::make_unique<Pagination>(r_.layout, device_, printed_, t);
  stage_ = t.complete ? Stage::Paging : Stage::Tallying;
  if (!t.complete && keyed) {
    // Every row is tallied again in the order entered.
    stage_ = Stage::Keying;
    tally_ = std::make_unique<TallyBuilder>(r_.layout, device_);
    keys_ = std::make_unique<Keys>();
    keys_->groupField = groupColumn(r_.layout);
    keys_->dates = keys_->groupField >= 0 && fieldKind(r_.layout.group) == ColumnKind::Date;
    headAt_ = at;
  }
  starts_.push_back(PageStart{});
  if (!rows.empty()) starts_.front().rowId = cell(rows.front(), 0);
  if (chart) return;
  // The first page from the rows in hand; when they are all the rows, the
  // pages are counted on the way.
  QByteArray before;
  PageFlow flow(*pagination_, 0, PageStart{}, [&](int p) { return p == 0 && !all; },
                [&](const ReportPage& p) { head_ = std::make_unique<ReportPage>(p); },
                [&](const PageStart& s) {
                  starts_.push_back(s);
                  starts_.back().after = before;
                });
  for (size_t i = 0; i < rows.size(); ++i) {
    flow.row(rows[i]);
    before = at[i];
  }
  if (all) ended(flow.end());
}

int ReportPager::pageCount() const { return counted() ? count_ : starts_.back().page + 1; }

void ReportPager::setSliceRows(qint64 rows) {
  firstSlice_ = slice_ = std::max<qint64>(rows, 1);
  grow_ = false;
}

bool ReportPager::countStep() {
  if (counted()) return false;
  const qint64 rows = slice_;
  if (!keys_) {
    if (grow_) slice_ *= kGrowth;
    return step(rows);
  }
  const Stage was = stage_;
  QElapsedTimer took;
  took.start();
  const bool more = step(rows);
  if (!grow_ || !keys_) return more;
  // A stage costs its own per row, and a slice cut short by a stage's end
  // says nothing of the next: each begins small and grows at most twofold.
  if (stage_ != was)
    slice_ = firstSlice_;
  else
    slice_ = std::clamp<qint64>(rows * kSliceMs / std::max<qint64>(took.elapsed(), 1), rows / 2, rows * 2);
  return more;
}

void ReportPager::finishCount() {
  while (step(-1)) {
  }
}

// One slice; the rows found changed on the way start the count afresh.
bool ReportPager::step(qint64 rows) {
  if (counted()) return false;
  try {
    switch (stage_) {
      case Stage::Keying: return keyStep(rows);
      case Stage::Merging: return mergeStep(rows);
      case Stage::Tallying: return tallyStep(rows);
      default: return keys_ ? keyedPagingStep(rows) : pagingStep(rows);
    }
  } catch (const Changed&) {
    start();
    ++generation_;
    return !counted();
  }
}

qint64 ReportPager::readTally(qint64 rows) {
  qint64 got = 0;
  const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
  const std::unique_ptr<ReportRowCursor> c = pass->slice(tallyAfter_, tallied_, rows);
  while (const ReportRow* row = c->next()) {
    tally_->add(*row);
    tallyAfter_ = c->position();
    ++got;
  }
  return got;
}

bool ReportPager::tallyStep(qint64 rows) {
  const qint64 got = readTally(rows);
  tallied_ += got;
  if (rows >= 0 && got == rows) return true;
  tallied();
  return !counted();
}

bool ReportPager::keyStep(qint64 rows) {
  Keys& k = *keys_;
  const size_t from = k.size();
  {
    const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
    const std::unique_ptr<ReportRowCursor> c = pass->entered(k.last, rows);
    if (!c) throw ReportError(QStringLiteral("The records can no longer be read by their number."));
    while (const ReportRow* row = c->next()) {
      // Widths and the count; group sizes come from the order.
      tally_->add(*row);
      k.bytes += c->position();
      k.at.push_back(k.bytes.size());
      if (k.groupField >= 0) {
        const QString v = groupValue(*row, k.groupField, k.dates);
        auto g = k.groups.constFind(v);
        if (g == k.groups.cend()) g = k.groups.insert(v, int(k.groups.size()));
        k.group.push_back(g.value());
      }
    }
  }
  const size_t to = k.size();
  if (to > from) {
    k.last = k.position(quint32(to - 1)).toByteArray();
    for (size_t i = from; i < to; ++i) k.sorted.push_back(quint32(i));
    std::sort(k.sorted.begin() + qsizetype(from), k.sorted.end(), [&](quint32 a, quint32 b) { return k.before(a, b); });
    k.runEnds.push_back(to);
  }
  if (rows >= 0 && qint64(to - from) == rows) return true;
  stage_ = Stage::Merging;
  tallied_ = qint64(to);
  size_t begin = 0;
  for (const size_t end : k.runEnds) {
    k.heads.push_back(begin);
    begin = end;
  }
  k.order.reserve(to);
  return true;
}

// Takes the first row of all the runs' next rows, `rows` times.
bool ReportPager::mergeStep(qint64 rows) {
  Keys& k = *keys_;
  const auto first = [&](size_t a, size_t b) { return k.before(k.sorted[k.heads[b]], k.sorted[k.heads[a]]); };
  // A heap of the runs not yet used up, the one with the first row on top.
  std::vector<size_t> heap;
  for (size_t r = 0; r < k.heads.size(); ++r)
    if (k.heads[r] < k.runEnds[r]) heap.push_back(r);
  std::make_heap(heap.begin(), heap.end(), first);
  for (qint64 n = 0; !heap.empty() && (rows < 0 || n < rows); ++n) {
    std::pop_heap(heap.begin(), heap.end(), first);
    const size_t r = heap.back();
    k.order.push_back(k.sorted[k.heads[r]++]);
    if (k.heads[r] < k.runEnds[r])
      std::push_heap(heap.begin(), heap.end(), first);
    else
      heap.pop_back();
  }
  if (!heap.empty()) return true;
  // The first page was laid out from an earlier read.
  if (k.order.size() < headAt_.size()) throw Changed{};
  for (size_t i = 0; i < headAt_.size(); ++i)
    if (k.position(k.order[i]) != headAt_[i]) throw Changed{};
  k.sorted = {};
  k.heads = {};
  k.runEnds = {};
  tallied();
  return !counted();
}

// Pages found from the rows in print order, each read by its number.
bool ReportPager::keyedPagingStep(qint64 rows) {
  const Keys& k = *keys_;
  const PageStart s = starts_.back();
  const size_t had = starts_.size();
  const qint64 n = qint64(k.order.size());
  const qint64 end = rows < 0 ? n : std::min(n, s.row + rows);
  if (s.row > n || (s.row == n && !s.rowId.isEmpty())) throw Changed{};
  QByteArray before = s.after;
  PageFlow flow(*pagination_, 0, s, [](int) { return false; }, [](const ReportPage&) {},
                [&](const PageStart& m) {
                  starts_.push_back(m);
                  starts_.back().after = before;
                });
  qint64 i = s.row;
  QByteArray want;
  const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
  const std::unique_ptr<ReportRowCursor> c = pass->at([&]() -> const QByteArray* {
    if (i >= end) return nullptr;
    want = k.position(k.order[size_t(i++)]).toByteArray();
    return &want;
  });
  qint64 got = 0;
  while (const ReportRow* row = c->next()) {
    // A row moved in the order, or not the one the page began with.
    if (c->position() != want || (got == 0 && cell(*row, 0) != s.rowId)) throw Changed{};
    flow.row(*row);
    before = want;
    ++got;
  }
  // A row gone since it was counted.
  if (got != end - s.row) throw Changed{};
  if (end < n) {
    if (starts_.size() == had) slice_ = std::max(slice_, rows * 2);
    return true;
  }
  // Every row after the first page was found where the count put it; the
  // first page's rows, read before the count, must still be where they
  // were, and no row may have come since the last one read.
  size_t h = 0;
  const std::unique_ptr<ReportRowCursor> head =
      pass->at([&]() -> const QByteArray* { return h < headAt_.size() ? &headAt_[h++] : nullptr; });
  size_t still = 0;
  while (head->next())
    if (head->position() != headAt_[still++]) throw Changed{};
  if (still != headAt_.size() || pass->entered(k.last, 1)->next()) throw Changed{};
  headAt_.clear();
  ended(flow.end());
  return false;
}

// Every row tallied: the widths and group sizes are final. Pages laid out
// from the first rows stay as they are when they come out the same.
void ReportPager::tallied() {
  Tally t = tally_->tally();
  if (keys_ && keys_->groupField >= 0) t.groupSizes = keys_->groupSizes();
  tally_.reset();
  t.complete = true;
  stage_ = Stage::Paging;
  live_.reset();
  auto final = std::make_unique<Pagination>(r_.layout, device_, printed_, t);
  const bool same = r_.layout.group.isEmpty() && final->list == pagination_->list && final->x == pagination_->x &&
                    final->headingLines == pagination_->headingLines;
  pagination_ = std::move(final);
  if (same) return;
  head_.reset();
  starts_.resize(1);
  ++generation_;
}

bool ReportPager::pagingStep(qint64 rows) {
  const PageStart s = starts_.back();
  const size_t had = starts_.size();
  const std::unique_ptr<ReportRowPass> pass = r_.rows->open();
  const std::unique_ptr<ReportRowCursor> c = pass->slice(s.after, s.row, rows);
  QByteArray before = s.after;
  PageFlow flow(*pagination_, 0, s, [](int) { return false; }, [](const ReportPage&) {},
                [&](const PageStart& m) {
                  starts_.push_back(m);
                  starts_.back().after = before;
                });
  qint64 got = 0;
  if (pagination_->list) {
    while (const ReportRow* row = c->next()) {
      if (got == 0 && cell(*row, 0) != s.rowId) throw Changed{};
      flow.row(*row);
      before = c->position();
      ++got;
    }
    if (got == 0 && !s.rowId.isEmpty()) throw Changed{};
  }
  if (rows >= 0 && got == rows) {
    // Not one page began in the slice (a record taller than a page): the
    // next reads more.
    if (starts_.size() == had) slice_ = std::max(slice_, rows * 2);
    return true;
  }
  ended(flow.end());
  return false;
}

// The pages are all counted: pages laid out before are given the count.
void ReportPager::ended(int count) {
  count_ = count;
  stage_ = Stage::Counted;
  tally_.reset();
  if (head_) stamp(*head_);
}

void ReportPager::stamp(ReportPage& page) const {
  if (!counted() || page.count == count_) return;
  const QString was = pageNumber(page.index, page.count);
  page.count = count_;
  for (PlacedText& t : page.texts)
    if (t.kind == PlacedText::Kind::PageInfo && t.text == was) t.text = pageNumber(page.index, count_);
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
  if (keys_ && (stage_ == Stage::Paging || stage_ == Stage::Counted)) {
    // Counted in order: a page is read row by row from where it begins,
    // with no ordered read. Rows come since then are not in the count.
    if (live->pass->entered(keys_->last, 1)->next()) throw Changed{};
    Live* l = live.get();
    l->keyed = true;
    l->next = size_t(s.row);
    live->rows = live->pass->at([this, l]() -> const QByteArray* {
      if (l->next >= keys_->order.size()) return nullptr;
      l->want = keys_->position(keys_->order[l->next++]).toByteArray();
      l->pending = true;
      return &l->want;
    });
  } else {
    live->rows = live->pass->rowsAfter(s.after, s.row);
  }
  live->firstId = s.rowId;
  live->before = s.after;
  live->flow = std::make_unique<PageFlow>(
      *pagination_, counted() ? count_ : 0, s, [](int) { return true; }, [this](const ReportPage& p) { sink_(p); },
      [this](const PageStart& m) { marked(m); });
  live_ = std::move(live);
}

// A page begins where the count said it would, or the rows are not the ones
// counted; past the pages counted so far, it is where the count goes on.
void ReportPager::marked(const PageStart& s) {
  if (!counted() && s.page > starts_.back().page) {
    starts_.push_back(s);
    starts_.back().after = live_->before;
    return;
  }
  auto it = std::lower_bound(starts_.begin(), starts_.end(), s.page, [](const PageStart& a, int p) { return a.page < p; });
  if (it == starts_.end() || it->page != s.page || it->row != s.row || it->rowId != s.rowId) throw Changed{};
}

void ReportPager::layOut(int first, int last, const std::function<void(const ReportPage&)>& each) {
  for (int attempt = 0;; ++attempt) {
    int from = std::max(first, 0), to = std::max(last, from);
    if (counted()) {
      from = std::min(from, count_ - 1);
      to = std::clamp(to, from, count_ - 1);
    }
    sink_ = [&](const ReportPage& p) {
      if (p.index >= from && p.index <= to) each(p);
    };
    try {
      // The first page, laid out when the window opened.
      if (from == 0 && head_) {
        each(*head_);
        if (++from > to) {
          sink_ = nullptr;
          return;
        }
      }
      const bool goOn = live_ && !live_->ended && live_->flow->page() <= from && from - live_->flow->page() <= kGoOnAhead;
      if (!goOn) open(from);
      Live& l = *live_;
      // A chart or an empty report is one page that shows no rows.
      if (!pagination_->list) {
        l.ended = true;
        const int n = l.flow->end();
        if (!counted()) ended(n);
      }
      while (!l.ended && l.flow->page() <= to) {
        const ReportRow* row = l.rows->next();
        if (l.keyed) {
          // Moved since the count, or gone.
          if (row ? l.rows->position() != l.want : l.pending) throw Changed{};
          l.pending = false;
        }
        if (!l.checked) {
          l.checked = true;
          if ((row ? cell(*row, 0) : QString()) != l.firstId) throw Changed{};
        }
        if (!row) {
          l.ended = true;
          const int n = l.flow->end();
          if (counted() && n != count_) throw Changed{};
          // Read on to the end before the count got there: that is the
          // count, once the widths are final.
          if (stage_ == Stage::Paging) ended(n);
          break;
        }
        l.flow->row(*row);
        l.before = l.rows->position();
      }
      if (l.ended) live_.reset();
      sink_ = nullptr;
      return;
    } catch (const Changed&) {
      live_.reset();
      sink_ = nullptr;
      // Changed again at once: the rows are being written as they are read.
      if (attempt > 0) throw ReportError(QStringLiteral("The records changed while the report was printed."));
      start();
      ++generation_;
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
