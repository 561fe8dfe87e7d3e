// The report window. Pages are stacked down a scrolling view at the zoom the
// clerk picks; only the pages in view are laid out and painted, each into an
// image at the page's own resolution so fonts keep their printed size.

#include "reportpreview.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QBuffer>
#include <QKeyEvent>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "busycursor.h"
#include "reportpager.h"

namespace quillon {

namespace {

constexpr int kGap = 12;  // around and between pages, in screen pixels
// Pages laid out past the one asked for, so paging on finds them ready.
constexpr int kAhead = 3;
// The rows kept open for paging on are let go when the clerk pauses.
// Other programs wait about twice that for the database before they give up.
constexpr int kIdleMs = 1000;

}  // namespace

void keyboardReachable(QToolBar* bar) {
  // A tool bar's buttons take no focus of their own; here they are the
  // window's commands, so Tab reaches each of them.
  for (QToolButton* b : bar->findChildren<QToolButton*>())
    if (b->defaultAction() && !b->defaultAction()->isSeparator()) b->setFocusPolicy(Qt::TabFocus);
}

class ReportPreview::View : public QAbstractScrollArea {
 public:
  explicit View(ReportPreview* owner) : QAbstractScrollArea(owner), owner_(owner) {
    setObjectName(QStringLiteral("PreviewPages"));
    setAccessibleName(QStringLiteral("Report pages"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    // Always there, so fitting the width does not make room for it later.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
  }

  // Page sizes on screen at the current zoom.
  double pageWidth() const { return owner_->paper_.width() * owner_->scale_; }
  double pageHeight() const { return owner_->paper_.height() * owner_->scale_; }
  double stride() const { return pageHeight() + kGap; }
  int pageTop(int page) const { return static_cast<int>(std::lround(kGap + page * stride())); }

  void updateRanges() {
    const int n = owner_->pagesCounted();
    // Rounded down: a fitted page never calls for a scroll bar of a pixel.
    const int height = static_cast<int>(kGap + n * stride());
    const int width = static_cast<int>(pageWidth() + 2 * kGap);
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(viewport());
    owner_->paintPages(p, viewport()->rect());
  }
  void resizeEvent(QResizeEvent* e) override {
    QAbstractScrollArea::resizeEvent(e);
    owner_->setFit(owner_->fit_);
  }
  void scrollContentsBy(int, int) override {
    viewport()->update();
    if (!owner_->placing_) owner_->at_ = middlePage();
    owner_->updateControls();
  }

 public:
  // The page in the middle of the view.
  int middlePage() const {
    const double middle = verticalScrollBar()->value() + viewport()->height() / 2.0 - kGap / 2.0;
    return std::clamp(static_cast<int>(middle / stride()), 0, owner_->pagesCounted() - 1);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Home:
      case Qt::Key_End:
        owner_->keyPressEvent(e);
        return;
      default:
        QAbstractScrollArea::keyPressEvent(e);
    }
  }

 private:
  ReportPreview* owner_;
};

ReportPreview::ReportPreview(const PreparedReport& r, const QString& printed, QWidget* parent)
    : QDialog(parent), report_(r), printed_(printed) {
  setObjectName(QStringLiteral("ReportPreview"));
  setWindowTitle(r.layout.title);
  // The pages are laid out as a saved PDF lays them out: a writer that is
  // never drawn on gives the page and the fonts.
  sink_ = std::make_unique<QBuffer>();
  device_ = std::make_unique<QPdfWriter>(sink_.get());
  device_->setResolution(600);
  setReportPageLayout(*device_, r.layout);
  {
    const BusyCursor busy;
    pager_ = std::make_unique<ReportPager>(r, device_.get(), printed);
  }
  // The sheet with its margins; the pages are laid out inside them.
  const QPageLayout sheet = device_->pageLayout();
  paper_ = sheet.fullRectPixels(device_->resolution()).size();
  origin_ = sheet.paintRectPixels(device_->resolution()).topLeft();
  generation_ = pager_->generation();

  auto* bar = new QToolBar(this);
  auto add = [&](const QString& text, const char* name, const QKeySequence& key = QKeySequence()) {
    QAction* a = bar->addAction(text);
    a->setObjectName(QLatin1String(name));
    if (!key.isEmpty()) a->setToolTip(QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
    return a;
  };
  QAction* print = add(QStringLiteral("Print..."), "Print", QKeySequence::Print);
  print->setShortcut(QKeySequence::Print);
  connect(print, &QAction::triggered, this, &ReportPreview::print);
  bar->addSeparator();
  first_ = add(QStringLiteral("First"), "FirstPage", QKeySequence(Qt::Key_Home));
  previous_ = add(QStringLiteral("Previous"), "PreviousPage", QKeySequence(Qt::Key_PageUp));
  pageBox_ = new QSpinBox(bar);
  pageBox_->setObjectName(QStringLiteral("PageNumber"));
  pageBox_->setPrefix(QStringLiteral("Page "));
  pageBox_->setKeyboardTracking(false);
  pageBox_->setAccessibleName(QStringLiteral("Page"));
  bar->addWidget(pageBox_);
  next_ = add(QStringLiteral("Next"), "NextPage", QKeySequence(Qt::Key_PageDown));
  last_ = add(QStringLiteral("Last"), "LastPage", QKeySequence(Qt::Key_End));
  connect(first_, &QAction::triggered, this, [this] { showPage(0); });
  connect(previous_, &QAction::triggered, this, [this] { showPage(currentPage() - 1); });
  connect(next_, &QAction::triggered, this, [this] { showPage(currentPage() + 1); });
  connect(last_, &QAction::triggered, this, [this] { showPage(pageCount() - 1); });
  connect(pageBox_, &QSpinBox::valueChanged, this, [this](int n) {
    if (n - 1 != currentPage()) showPage(n - 1);
  });
  bar->addSeparator();
  fitWidth_ = add(QStringLiteral("Fit Width"), "FitWidth");
  fitPage_ = add(QStringLiteral("Fit Page"), "FitPage");
  fitWidth_->setCheckable(true);
  fitPage_->setCheckable(true);
  connect(fitWidth_, &QAction::triggered, this, [this] { setFit(Fit::Width); });
  connect(fitPage_, &QAction::triggered, this, [this] { setFit(Fit::Page); });
  QAction* in = add(QStringLiteral("Zoom In"), "ZoomIn", QKeySequence(QKeySequence::ZoomIn));
  QAction* out = add(QStringLiteral("Zoom Out"), "ZoomOut", QKeySequence(QKeySequence::ZoomOut));
  in->setShortcut(QKeySequence::ZoomIn);
  out->setShortcut(QKeySequence::ZoomOut);
  connect(in, &QAction::triggered, this, [this] { zoomBy(1.25); });
  connect(out, &QAction::triggered, this, [this] { zoomBy(0.8); });
  bar->addSeparator();
  savePdf_ = add(QStringLiteral("Save as PDF..."), "SavePdf", QKeySequence::Save);
  savePdf_->setShortcut(QKeySequence::Save);
  keyboardReachable(bar);

  view_ = new View(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bar);
  layout->addWidget(view_, 1);

  idle_ = new QTimer(this);
  idle_->setSingleShot(true);
  idle_->setInterval(kIdleMs);
  connect(idle_, &QTimer::timeout, this, [this] { pager_->release(); });
  // Counting goes on between the clerk's own steps, a slice at a time.
  counter_ = new QTimer(this);
  counter_->setSingleShot(true);
  counter_->setInterval(0);
  connect(counter_, &QTimer::timeout, this, &ReportPreview::countOn);
  if (!pager_->counted()) counter_->start();

  resize(900, 700);
  setFit(Fit::Width);
  updateControls();
  view_->setFocus();
}

ReportPreview::~ReportPreview() {
  // No slice runs once the window goes.
  counter_->stop();
}

int ReportPreview::pageCount() {
  finishCount();
  return pager_->pageCount();
}

int ReportPreview::pagesCounted() const { return pager_->pageCount(); }

bool ReportPreview::counted() const { return pager_->counted(); }

void ReportPreview::setCountSlice(int rows) { pager_->setSliceRows(rows); }

void ReportPreview::countOn() {
  if (!failure_.isEmpty() || pager_->counted()) return;
  bool more = false;
  try {
    more = pager_->countStep();
  } catch (const ReportError& e) {
    fail(e.message());
    return;
  }
  catchUp();
  if (more) counter_->start();
}

// Counts what is left in one go: the clerk asked for the last page, which
// cannot be known before. Read here rather than waited for, so nothing the
// clerk does meanwhile can close the window under the count.
void ReportPreview::finishCount() {
  if (!failure_.isEmpty() || pager_->counted()) return;
  counter_->stop();
  try {
    const BusyCursor busy;
    pager_->finishCount();
  } catch (const ReportError& e) {
    fail(e.message());
    return;
  }
  catchUp();
}

// After a slice: pages laid out before the widths were final are laid out
// again, those laid out before the count ended get it, and the page number
// box and the scroll range show the pages counted so far.
void ReportPreview::catchUp() {
  if (pager_->generation() != generation_) {
    generation_ = pager_->generation();
    kept_.clear();
  }
  for (ReportPage& p : kept_) pager_->stamp(p);
  view_->updateRanges();
  updateControls();
  view_->viewport()->update();
}

int ReportPreview::currentPage() const { return at_; }

bool ReportPreview::holdsRows() const { return pager_->holdsRows(); }

void ReportPreview::showPage(int page) {
  // A page past the ones counted is reached by reading on to it.
  if (!pager_->counted() && page >= pagesCounted()) {
    this->page(page);
    if (!failure_.isEmpty()) return;
    catchUp();
  }
  at_ = std::clamp(page, 0, pagesCounted() - 1);
  // The page's top at the top of the view, or the page in the middle when
  // the whole of it fits.
  const int spare = view_->viewport()->height() - static_cast<int>(view_->pageHeight());
  {
    const QScopedValueRollback placing(placing_, true);
    view_->verticalScrollBar()->setValue(view_->pageTop(at_) - std::max(kGap, spare / 2));
  }
  updateControls();
  view_->viewport()->update();
}

void ReportPreview::setFit(Fit fit) {
  fit_ = fit;
  const QSizeF page = paper_;
  const double width = std::max(1, view_->viewport()->width() - 2 * kGap) / page.width();
  const double whole = std::min(width, std::max(1, view_->viewport()->height() - 2 * kGap) / page.height());
  const int at = currentPage();
  if (fit == Fit::Width) scale_ = width;
  if (fit == Fit::Page) scale_ = whole;
  fitWidth_->setChecked(fit == Fit::Width);
  fitPage_->setChecked(fit == Fit::Page);
  view_->updateRanges();
  showPage(at);
}

void ReportPreview::zoomBy(double factor) {
  const QSizeF page = paper_;
  // Never so small that more pages are in view than are kept laid out.
  const double least = std::max(1, view_->viewport()->height()) / 3.0 / page.height();
  const double most = 4.0 * std::max(1, view_->viewport()->width()) / page.width();
  const int at = currentPage();
  scale_ = std::clamp(scale_ * factor, least, std::max(least, most));
  fit_ = Fit::None;
  fitWidth_->setChecked(false);
  fitPage_->setChecked(false);
  view_->updateRanges();
  showPage(at);
}

void ReportPreview::updateControls() {
  const int n = pagesCounted(), at = currentPage();
  const bool all = pager_->counted();
  const QSignalBlocker quiet(pageBox_);
  // Past the pages counted, the box goes on one page at a time.
  pageBox_->setRange(1, all ? n : n + 1);
  pageBox_->setSuffix(all ? QStringLiteral(" of %1").arg(n) : QStringLiteral(" of %1\u2026").arg(n));
  pageBox_->setValue(at + 1);
  first_->setEnabled(at > 0);
  previous_->setEnabled(at > 0);
  next_->setEnabled(at + 1 < n || !all);
  last_->setEnabled(at + 1 < n || !all);
}

void ReportPreview::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  setFit(fit_);
}

void ReportPreview::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_PageUp:
      showPage(currentPage() - 1);
      break;
    case Qt::Key_PageDown:
      showPage(currentPage() + 1);
      break;
    case Qt::Key_Home:
      showPage(0);
      break;
    case Qt::Key_End:
      showPage(pageCount() - 1);
      break;
    default:
      QDialog::keyPressEvent(e);
  }
}

const ReportPage* ReportPreview::page(int index) {
  if (!failure_.isEmpty() || index < 0 || (pager_->counted() && index >= pager_->pageCount())) return nullptr;
  if (pager_->generation() != generation_) {
    generation_ = pager_->generation();
    kept_.clear();
  }
  auto find = [&]() -> const ReportPage* {
    auto it = std::find_if(kept_.begin(), kept_.end(), [&](const ReportPage& p) { return p.index == index; });
    if (it == kept_.end()) return nullptr;
    kept_.splice(kept_.begin(), kept_, it);
    return &kept_.front();
  };
  if (const ReportPage* p = find()) return p;
  const int counted = pager_->pageCount();
  const bool all = pager_->counted();
  try {
    // Before the count, the pages ahead would cost a read of their own.
    pager_->layOut(index, index + (pager_->counted() ? kAhead : 0), [&](const ReportPage& p) {
      // Counted again on the way: what was kept is out of date.
      if (pager_->generation() != generation_) {
        generation_ = pager_->generation();
        kept_.clear();
      }
      kept_.remove_if([&](const ReportPage& k) { return k.index == p.index; });
      if (static_cast<int>(kept_.size()) >= kKeptPages) kept_.pop_back();
      kept_.push_front(p);
      pager_->stamp(kept_.front());
      mostKept_ = std::max(mostKept_, keptPages());
    });
    idle_->start();
  } catch (const ReportError& e) {
    fail(e.message());
    return nullptr;
  }
  if (pager_->pageCount() != counted || pager_->counted() != all) {
    view_->updateRanges();
    updateControls();
  }
  return find();
}

void ReportPreview::fail(const QString& message) {
  if (!failure_.isEmpty()) return;
  failure_ = message;
  idle_->stop();
  counter_->stop();
  pager_->release();
  kept_.clear();
  QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void ReportPreview::paintPages(QPainter& p, const QRect& area) {
  if (!failure_.isEmpty()) return;
  const int top = view_->verticalScrollBar()->value();
  const int left = view_->horizontalScrollBar()->value();
  const int n = pagesCounted();
  const int from = std::clamp(static_cast<int>((top - kGap) / view_->stride()), 0, n - 1);
  const int to = std::clamp(static_cast<int>((top + area.height()) / view_->stride()), from, n - 1);
  const double pw = view_->pageWidth(), ph = view_->pageHeight();
  const int x = static_cast<int>(pw + 2 * kGap) <= area.width() ? static_cast<int>((area.width() - pw) / 2) : kGap - left;
  // The page images are drawn at the resolution the pages were laid out in.
  const int dpm = static_cast<int>(std::lround(device_->logicalDpiX() / 0.0254));
  QImage image(static_cast<int>(std::ceil(pw)), static_cast<int>(std::ceil(ph)), QImage::Format_RGB32);
  image.setDotsPerMeterX(dpm);
  image.setDotsPerMeterY(dpm);
  for (int k = from; k <= to; ++k) {
    const ReportPage* page = this->page(k);
    if (!page) return;
    image.fill(Qt::white);
    {
      QPainter ip(&image);
      ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
      ip.scale(scale_, scale_);
      ip.translate(origin_);
      pager_->paint(ip, *page);
    }
    const int y = view_->pageTop(k) - top;
    p.fillRect(QRect(x + 3, y + 3, image.width(), image.height()), QColor(0, 0, 0, 60));
    p.drawImage(x, y, image);
  }
}

void ReportPreview::print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(report_.layout.title);
  setReportPageLayout(printer, report_.layout);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  try {
    const BusyCursor busy;
    paintReport(report_, &printer, printed_);
  } catch (const ReportError& e) {
    if (onError) onError(e.message());
  }
}

}  // namespace quillon
