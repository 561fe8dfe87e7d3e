#include "lanegridtable.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <limits>
#include <numeric>
#include <utility>

#include "lanegridcells.h"

namespace quillon {

namespace {

// Keys closer together than this are one stream, typed or scanned without
// looking up; a grader who has seen a stop takes longer than this to begin
// again.
constexpr ulong kStillTypingMs = 1000;

// What a font's kerning may add between two letters, in lines' heights (a
// line a little over an em).
constexpr qreal kKerningPerLine = 0.05;

// The characters a name's width is bounded by from their own advances:
// Latin ones, whose shaping only ever joins or kerns them.
constexpr char16_t kBoundedBelow = 0x250;

bool isEnter(const QKeyEvent* e) {
  return (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier);
}

}  // namespace

LaneTable::LaneTable(LaneCells* cells, QWidget* parent) : QTableView(parent), cells_(cells) {
  setVerticalHeader(new LaneHeader(this));
  setModel(cells);
  delegate_ = new LaneDelegate(this);
  setItemDelegate(delegate_);
}

// The texts kept for painting were laid out in the table's font and the
// room its style gives them: after a change of font, style or palette the
// old ones would only take memory.
void LaneTable::changeEvent(QEvent* event) {
  const QEvent::Type t = event->type();
  if (t == QEvent::FontChange || t == QEvent::StyleChange || t == QEvent::PaletteChange) delegate_->forgetTexts();
  QTableView::changeEvent(event);
}

int LaneTable::rowCount() const { return cells_->rowCount(); }

void LaneTable::setCurrentCell(int row, int column) { setCurrentIndex(cells_->index(row, column)); }

LaneTable::~LaneTable() {
  if (holding_) qApp->removeEventFilter(this);
}

// The same text committed again changes no cell, so it would never reach
// the window: a value whose store failed is tried again this way.
void LaneTable::commitData(QWidget* editor) {
  const QModelIndex at = currentIndex();
  if (!at.isValid()) return QTableView::commitData(editor);
  const QString before = cells_->text(at.row(), at.column());
  {
    QScopedValueRollback committing(committing_, editor);
    QTableView::commitData(editor);
  }
  if (const QModelIndex changed = std::exchange(underEditor_, QModelIndex()); changed.isValid()) showChanged(changed);
  if (!cells_->toolTip(at.row(), at.column()).isEmpty() && cells_->text(at.row(), at.column()) == before && retry)
    retry(at.row(), at.column());
}

// The value committed is in the cell before the window takes it and
// paints its points at once: the cell under the editor, which shows the
// same text over all of it and closes right after, would be painted there
// for nothing, and the editor given its own text again. Shown once the
// commit is over instead; a cell changed to other than the editor shows
// is shown as any other change.
void LaneTable::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
  const auto* editor = qobject_cast<const QLineEdit*>(committing_);
  if (editor && topLeft == bottomRight && topLeft == currentIndex() && editor->isVisible() &&
      editor->geometry().contains(visualRect(topLeft)) &&
      editor->text() == cells_->text(topLeft.row(), topLeft.column())) {
    underEditor_ = topLeft;
    return;
  }
  QTableView::dataChanged(topLeft, bottomRight, roles);
}

void LaneTable::showChanged(const QModelIndex& at) {
  viewport()->update(visualRect(at));
  if (QAccessible::isActive()) {
    QAccessibleTableModelChangeEvent changed(this, QAccessibleTableModelChangeEvent::DataChanged);
    changed.setFirstRow(at.row());
    changed.setFirstColumn(at.column());
    changed.setLastRow(at.row());
    changed.setLastColumn(at.column());
    QAccessible::updateAccessibility(&changed);
  }
}

// Every value opens a cell editor that takes the focus and gives it back on
// Enter. An item view repaints the whole of itself at each such move, two
// full paints per value; a move to or from this table's own editor repaints
// only what the focus changes, any other move all of it.
void LaneTable::focusOutEvent(QFocusEvent* event) {
  const QWidget* to = QApplication::focusWidget();
  toOwnEditor_ = to && to != this && isAncestorOf(to);
  if (!toOwnEditor_) return QTableView::focusOutEvent(event);
  paintFocusChange();
}

void LaneTable::focusInEvent(QFocusEvent* event) {
  if (!std::exchange(toOwnEditor_, false) || !currentIndex().isValid()) return QTableView::focusInEvent(event);
  setAttribute(Qt::WA_InputMethodEnabled, currentIndex().flags() & Qt::ItemIsEditable);
  paintFocusChange();
}

void LaneTable::paintFocusChange() {
  update(QRegion(rect()).subtracted(contentsRect()));
  viewport()->update(visualRect(currentIndex()));
}

// Enter closes the editor with SubmitModelCache; here it moves down the
// lane instead, unless the value was refused, when the cell keeps the
// focus and the burst stops there.
void LaneTable::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const QModelIndex at = currentIndex();
  if (hint == QAbstractItemDelegate::RevertModelCache) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    refused = false;
    revert(at.row(), at.column());
    return;
  }
  if (refused) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    setCurrentIndex(at);
    stopBurst(at.isValid() ? cells_->toolTip(at.row(), at.column()) : QString());
    return;
  }
  if (hint == QAbstractItemDelegate::SubmitModelCache) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    downTheLane(at);
    return;
  }
  QTableView::closeEditor(editor, hint);
}

// Escape puts back the stored value, Delete on a cell not being edited
// clears it; Enter on a cell not being edited passes the soldier by, as
// Enter after a value does, except on a refused value, which stays to be
// corrected. A cell that takes no value stops a burst rather than letting
// its keys search the column.
void LaneTable::keyPressEvent(QKeyEvent* event) {
  noteKey(event);
  const QModelIndex at = currentIndex();
  if (state() != EditingState && at.isValid()) {
    if (event->modifiers() == Qt::NoModifier) {
      if (event->key() == Qt::Key_Escape) {
        refused = false;
        return revert(at.row(), at.column());
      }
      if (event->key() == Qt::Key_Delete) {
        refused = false;
        return clear(at.row(), at.column());
      }
    }
    if (isEnter(event) && cells_->toolTip(at.row(), at.column()).isEmpty()) {
      downTheLane(at);
      return;
    }
    const bool typing = !event->text().isEmpty() && event->text().at(0).isPrint() &&
                        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typing && !(at.flags() & Qt::ItemIsEditable)) {
      stopBurst(QStringLiteral("%1 of %2 takes no value.")
                    .arg(cells_->columnName(at.column()), cells_->rowName(at.row())));
      holdKey(this, event);
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

void LaneTable::noteKey(const QKeyEvent* event) {
  if (event->timestamp()) lastKeyAt_ = event->timestamp();
}

void LaneTable::stopBurst(const QString& why) {
  stoppedAt_ = why;
  held_.clear();
  partial_.clear();
  queueDrained_ = false;
  if (!holding_) {
    holding_ = true;
    qApp->installEventFilter(this);
  }
  // Posted now, so it runs after every key already waiting.
  const int stop = ++stops_;
  QMetaObject::invokeMethod(
      this, [this, stop] { queueDrained_ = queueDrained_ || stop == stops_; }, Qt::QueuedConnection);
}

bool LaneTable::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type t = event->type();
  const bool mouse = t == QEvent::MouseButtonPress;
  if (!mouse && t != QEvent::KeyPress && t != QEvent::KeyRelease && t != QEvent::ShortcutOverride) return false;
  // Keys for this window, or for a window it asks in, only.
  auto* to = qobject_cast<QWidget*>(watched);
  QWidget* modal = QApplication::activeModalWidget();
  if (!to || !(to->window() == window() || (modal && to->window() == modal))) return false;
  // A click is the grader's own, never typed ahead: what follows it is too.
  if (mouse) {
    if (queueDrained_) endHold();
    return false;
  }
  return holdKey(watched, static_cast<QKeyEvent*>(event));
}

bool LaneTable::holdKey(QObject*, QKeyEvent* event) {
  const ulong t = event->timestamp();
  const bool stillTyping = t && lastKeyAt_ && t >= lastKeyAt_ && t - lastKeyAt_ < kStillTypingMs;
  const bool typedAhead = !queueDrained_ || stillTyping;
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // A shortcut typed ahead does nothing either.
      if (typedAhead) event->accept();
      return typedAhead;
    case QEvent::KeyRelease: return true;
    default: break;
  }
  if (!typedAhead) {
    endHold();
    return false;
  }
  if (t) lastKeyAt_ = t;
  if (isEnter(event) || event->key() == Qt::Key_Tab) {
    if (!partial_.isEmpty()) held_ << partial_;
    partial_.clear();
  } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
    partial_ += event->text();
  } else {
    return true;
  }
  if (heldBack) heldBack(stoppedAt_, partial_.isEmpty() ? held_ : held_ + QStringList{partial_});
  return true;
}

void LaneTable::endHold() {
  holding_ = false;
  qApp->removeEventFilter(this);
  held_.clear();
  partial_.clear();
}

// As a table view's own row header: its sections clicked select a row,
// the current one in bold.
LaneHeader::LaneHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
  setSectionsClickable(true);
  setHighlightSections(true);
}

// A name on one line, whose width by the bold font is what the header
// takes: no tab (a header lays one out as a space, a font's advance runs
// to the next stop), no line break, no mnemonic sign.
bool LaneHeader::plain(const QString& name) {
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == u'&' || u == 0x2028 || u == 0x2029) return false;
  }
  return true;
}

// A plain name's width by the bold font is at most its characters' own
// advances and, between each two of them, what a font's kerning may add:
// fonts kern letters apart by a few hundredths of an em at most. None for a
// name of characters whose shaping their own advances say nothing of
// (marks, other scripts).
std::optional<qreal> LaneHeader::widthBound(const QString& name, const QFontMetricsF& fm, qreal perPair) const {
  if (advances_.empty()) advances_.assign(kBoundedBelow, -1);
  qreal sum = 0;
  for (const QChar c : name) {
    if (c.unicode() >= kBoundedBelow) return std::nullopt;
    qreal& advance = advances_[c.unicode()];
    if (advance < 0) advance = fm.horizontalAdvance(c);
    sum += advance;
  }
  return sum + perPair * qreal(std::max<qsizetype>(0, name.size() - 1));
}

QSize LaneHeader::sizeHint() const {
  const int sections = count();
  if (measuredCount_ == sections && measured_.isValid()) return measured_;
  if (!model()) return QHeaderView::sizeHint();
  // The sections a header measures: the first hundred shown, and the last
  // hundred after them.
  QList<int> measured;
  int i = 0;
  for (int checked = 0; checked < 100 && i < sections; ++i) {
    if (isSectionHidden(i)) continue;
    ++checked;
    measured << i;
  }
  for (int j = sections - 1, checked = 0; j >= std::max(i, sections - 100) && checked < 100; --j) {
    if (isSectionHidden(j)) continue;
    ++checked;
    measured << j;
  }
  QFont bold = font();
  bold.setBold(true);
  const QFontMetricsF fm(bold);
  // Spacing the font adds between letters is in a name's width but not in
  // its letters' own.
  const bool bounded = bold.letterSpacing() == 0 && bold.wordSpacing() == 0;
  const qreal perPair = kKerningPerLine * fm.height();
  // A name not plain takes the room the header gives it, whatever its
  // width by the font says.
  QSize size(0, 0);
  QStringList names;
  QList<int> plainAt;
  QList<qreal> bound;
  for (int k = 0; k < measured.size(); ++k) {
    names << model()->headerData(measured.at(k), orientation(), Qt::DisplayRole).toString();
    if (!plain(names.last())) {
      size = size.expandedTo(sectionSizeFromContents(measured.at(k)));
      continue;
    }
    const std::optional<qreal> b = bounded ? widthBound(names.last(), fm, perPair) : std::nullopt;
    plainAt << k;
    bound << (b ? *b : std::numeric_limits<qreal>::infinity());
  }
  // Shaped, widest bound first, only the names that could reach within a
  // pixel of the widest found so far: the others are narrower than any
  // name shaped below.
  QList<int> byBound(plainAt.size());
  std::iota(byBound.begin(), byBound.end(), 0);
  std::stable_sort(byBound.begin(), byBound.end(), [&](int a, int b) { return bound.at(a) > bound.at(b); });
  QList<qreal> wide(plainAt.size(), -1);
  qreal widest = -1;
  for (int p : std::as_const(byBound)) {
    if (bound.at(p) < widest - 1.0) break;
    wide[p] = fm.horizontalAdvance(names.at(plainAt.at(p)));
    widest = std::max(widest, wide.at(p));
  }
  // Names within a pixel of the widest may round up past it. Names as wide
  // as one sized already take the room it took (a roster numbered by hand
  // has many), so each width is sized once.
  QList<qreal> sized;
  for (int p = 0; p < plainAt.size(); ++p) {
    if (wide.at(p) < 0 || wide.at(p) < widest - 1.0 || sized.contains(wide.at(p))) continue;
    sized << wide.at(p);
    size = size.expandedTo(sectionSizeFromContents(measured.at(plainAt.at(p))));
  }
  measured_ = size;
  measuredCount_ = sections;
  return measured_;
}

void LaneHeader::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    measuredCount_ = -1;
    advances_.clear();
  }
  QHeaderView::changeEvent(event);
}

void LaneDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (!(option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) &&
      table_->cells().text(index.row(), index.column()).isEmpty())
    return;
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QWidget* view = option.widget;
  QStyle* style = view ? view->style() : QApplication::style();
  if (!keptTextDrawsAsStyle(style, item)) return style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);
  CellTextCache::Key text{std::exchange(item.text, QString()), item.font, {}, int(item.displayAlignment),
                          item.textElideMode, item.direction, item.features.testFlag(QStyleOptionViewItem::WrapText)};
  // Without its text, an item neither selected, hovered nor shaded
  // shows nothing of its own in these styles.
  const bool bare = !(item.state & (QStyle::State_Selected | QStyle::State_MouseOver)) &&
                    item.backgroundBrush.style() == Qt::NoBrush &&
                    !item.features.testFlag(QStyleOptionViewItem::Alternate);
  if (!bare) style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

  // The text as the style draws it, in the item's text rectangle (the
  // whole item, whatever its text, where the selection takes the whole
  // item) less the focus frame's margin, clipped to the item, in the
  // pen of the item's state.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).adjusted(margin, 0, -margin, 0);
  text.room = room.size();
  QPalette::ColorGroup group = item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(item.state & QStyle::State_Active)) group = QPalette::Inactive;
  painter->save();
  painter->setClipRect(item.rect, Qt::IntersectClip);
  painter->setPen(item.palette.color(
      group, item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
  texts_.draw(painter, text, room.topLeft());
  painter->restore();
}

// The built-in styles whose item painter is the common one; any other
// (a platform's, a style sheet's, a proxy) paints its items itself. The
// current cell (framed) and the one being edited are few and painted by
// the style, as is an item with an icon or a check box, or one whose text
// rectangle depends on its text.
bool LaneDelegate::keptTextDrawsAsStyle(const QStyle* style, const QStyleOptionViewItem& item) {
  const char* name = style->metaObject()->className();
  const bool common = !qstrcmp(name, "QFusionStyle") || !qstrcmp(name, "QWindowsStyle");
  return common && !item.text.isEmpty() && item.showDecorationSelected &&
         !(item.state & (QStyle::State_HasFocus | QStyle::State_Editing)) &&
         !(item.features & (QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasCheckIndicator)) &&
         item.decorationPosition != QStyleOptionViewItem::Bottom && !item.text.contains(QChar(0x9c));
}

void LaneDelegate::forgetTexts() { texts_.clear(); }

// The cell editor is a line edit, whose value is its text: handed over as
// it is, rather than through the property its class names as its value,
// looked up by name at every commit.
void LaneDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
  if (const auto* line = qobject_cast<const QLineEdit*>(editor)) {
    model->setData(index, line->text(), Qt::EditRole);
    return;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

bool LaneDelegate::eventFilter(QObject* editor, QEvent* event) {
  // Asked before each key whether it is the editor's rather than a
  // shortcut's, the line edit looks through every standard key binding,
  // and for Enter always answers no: answered so here, at no cost to the
  // value's way to the disk. The question still goes on to the window.
  if (event->type() == QEvent::ShortcutOverride && isEnter(static_cast<QKeyEvent*>(event))) {
    event->ignore();
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    table_->noteKey(key);
    if (isEnter(key)) {
      auto* w = qobject_cast<QWidget*>(editor);
      emit commitData(w);
      emit closeEditor(w, QAbstractItemDelegate::SubmitModelCache);
      return true;
    }
  }
  return QStyledItemDelegate::eventFilter(editor, event);
}

// Enter goes to the next soldier of the lane; past the last one it stops
// the burst, so what follows is held rather than typed over him.
void LaneTable::downTheLane(const QModelIndex& at) {
  if (at.row() + 1 < rowCount()) {
    setCurrentCell(at.row() + 1, at.column());
    return;
  }
  QApplication::beep();
  stopBurst(QStringLiteral("%1 was the last soldier of the %2 lane.")
                .arg(cells_->rowName(at.row()), cells_->columnName(at.column())));
}

}  // namespace quillon
