#pragma once
// A cell's text drawn as the common item painter draws it: laid out in
// the room the style gives it, cut short with an ellipsis where it does
// not fit, placed by its alignment. That painter lays out and shapes the
// text several times on every paint; here the laid-out text is kept per
// text, font, room, alignment, elide mode, direction and wrap, and drawn
// again from there. A lane grid shows the same few texts in many cells
// (points, values, GO/NO-GO, totals), so a few hundred kept texts serve
// a whole group.

#include <QCache>
#include <QFont>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QTextLayout>
#include <algorithm>

class QPainter;

namespace quillon {

class CellTextCache {
 public:
  explicit CellTextCache(int kept = 1024) : kept_(std::max(kept, 1)) {}

  // What decides how a text is laid out and where it sits in its room.
  struct Key {
    QString text;
    QFont font;
    QSize room;  // the text's rectangle, its margins taken off
    int alignment = 0;
    Qt::TextElideMode elide = Qt::ElideRight;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    bool wrap = false;
    bool operator==(const Key& other) const;
  };

  // Draws the text of `key` in the room whose top left is `at`, with the
  // painter's pen, as the common item painter would.
  void draw(QPainter* painter, const Key& key, const QPoint& at);
  // Forgets every kept text (the font, the style or the palette changed).
  void clear() { kept_.clear(); }
  int size() const { return int(kept_.size()); }

 private:
  struct Kept {
    QTextLayout layout;
    QPointF offset;  // of the first line shown, from the room's top left
  };
  static Kept* layOut(const Key& key);

  QCache<Key, Kept> kept_;
};

size_t qHash(const CellTextCache::Key& key, size_t seed = 0);

}  // namespace quillon
