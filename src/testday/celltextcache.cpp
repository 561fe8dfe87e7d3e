#include "celltextcache.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextOption>

namespace quillon {

namespace {

// Lines as wide as the room, one under the other. Given `fits`, stops at
// the last line whose next one (taken as tall as it) would not fit in that
// height, and says which it is in `lastShown` (-1: every line shown).
void breakLines(QTextLayout& layout, int width, int fits = -1, int* lastShown = nullptr) {
  if (lastShown) *lastShown = -1;
  qreal height = 0;
  layout.beginLayout();
  for (int i = 0;; ++i) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(width);
    line.setPosition(QPointF(0, height));
    height += line.height();
    if (fits > 0 && lastShown && height + line.height() > fits) {
      *lastShown = layout.createLine().isValid() ? i : -1;
      break;
    }
  }
  layout.endLayout();
}

}  // namespace

bool CellTextCache::Key::operator==(const Key& other) const {
  return room == other.room && alignment == other.alignment && elide == other.elide &&
         direction == other.direction && wrap == other.wrap && text == other.text && font == other.font;
}

size_t qHash(const CellTextCache::Key& key, size_t seed) {
  return qHashMulti(seed, key.text, key.room.width(), key.room.height(), key.alignment, int(key.elide),
                    int(key.direction), key.wrap);
}

void CellTextCache::draw(QPainter* painter, const Key& key, const QPoint& at) {
  Kept* kept = kept_.object(key);
  if (!kept) {
    kept = layOut(key);
    kept_.insert(key, kept);
  }
  kept->layout.draw(painter, QPointF(at) + kept->offset);
}

// The lines that show: those above the room left out (a text centred in
// too little height shows its start), a line wider than the room or the
// last that shows while more follow cut short with an ellipsis.
CellTextCache::Kept* CellTextCache::layOut(const Key& key) {
  QTextOption option;
  option.setWrapMode(key.wrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
  option.setTextDirection(key.direction);
  option.setAlignment(QStyle::visualAlignment(key.direction, Qt::Alignment(key.alignment)));
  const QRect room(QPoint(0, 0), key.room);
  const auto alignment = Qt::Alignment(key.alignment);

  QTextLayout whole(key.text, key.font);
  whole.setTextOption(option);
  int lastShown = -1;
  breakLines(whole, room.width(), alignment.testFlag(Qt::AlignVCenter) ? room.height() : -1, &lastShown);
  const QRect placed =
      QStyle::alignedRect(Qt::LayoutDirectionAuto, alignment, whole.boundingRect().size().toSize(), room);

  auto* kept = new Kept;
  kept->offset = QPointF(room.x(), placed.top());
  QString shown;
  qreal height = 0;
  const QFontMetrics metrics(key.font);
  const int lines = whole.lineCount();
  for (int i = 0; i < lines; ++i) {
    const QTextLine line = whole.lineAt(i);
    height += line.height();
    if (height + placed.top() <= room.top()) {
      kept->offset.ry() += line.height();
      continue;
    }
    const bool tooWide = line.naturalTextWidth() > room.width();
    bool lastOfMore = lastShown == i;
    if (!tooWide && i + 1 < lines) {
      // Less than half of the next line would show.
      const int withHalfNext = int(height + whole.lineAt(i + 1).height() / 2);
      if (withHalfNext + placed.top() > room.height() + room.top()) lastOfMore = true;
    }
    QString part = whole.text().mid(line.textStart(), line.textLength());
    if (!tooWide && !lastOfMore) {
      shown += part;
    } else {
      if (lastOfMore) {
        if (part.endsWith(QChar::LineSeparator)) part.chop(1);
        part += QChar(0x2026);
      }
      shown += metrics.elidedText(part, key.elide, room.width());
      if (i < lines - 1 && !shown.endsWith(QChar::LineSeparator)) shown += QChar::LineSeparator;
    }
    if (height + placed.top() >= room.bottom() || (lastShown >= 0 && lastShown == i)) break;
  }

  kept->layout.setText(shown);
  kept->layout.setFont(key.font);
  kept->layout.setTextOption(option);
  // Kept shaped, not thrown away once laid out.
  kept->layout.setCacheEnabled(true);
  breakLines(kept->layout, room.width());
  return kept;
}

}  // namespace quillon
