#include "rowarena.h"

#include <algorithm>
#include <new>

namespace quillon {

namespace {

// The length at `p` and where the field's text starts.
inline const char* field(const char* p, quint32* size) {
  const auto b = static_cast<unsigned char>(*p);
  if (b < 0xFF) {
    *size = b;
    return p + 1;
  }
  const auto* u = reinterpret_cast<const unsigned char*>(p + 1);
  *size = quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
  return p + 5;
}

}  // namespace

void RowArena::clear() {
  textSize_ = 0;  // keeps the capacity
  rows_.clear();    // likewise
  versions_.clear();
  own_.clear();
  noValueKeys_.clear();
  bytesKeys_.clear();
}

void RowArena::release() {
  text_.reset();
  textSize_ = textCapacity_ = 0;
  rows_ = QList<Slot>();
  versions_ = QList<qint64>();
  own_ = std::vector<QStringList>();
  noValueKeys_ = bytesKeys_ = std::vector<qint64>();
  names_.clear();
}

QString RowArena::value(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= fieldCount()) return QString();
  const Slot& s = rows_[row];
  if (s.own >= 0) return own_[static_cast<size_t>(s.own)].value(column);
  const char* p = rowText(s);
  quint32 n = 0;
  for (int c = 0;; ++c) {
    const char* t = field(p, &n);
    if (c == column) return QString::fromUtf8(t, qsizetype(n));
    p = t + n;
  }
}

void RowArena::appendText(QStringView v) {
  const qsizetype n = v.size();
  if (n < 0xFF) {
    bool ascii = true;
    for (QChar c : v)
      if (c.unicode() >= 0x80) {
        ascii = false;
        break;
      }
    // ASCII is its own UTF-8: written straight in, without a buffer between.
    if (ascii) {
      if (textSize_ + size_t(n) + 1 > textCapacity_) growText(textSize_ + size_t(n) + 1);
      char* out = text_.get() + textSize_;
      *out++ = static_cast<char>(n);
      for (QChar c : v) *out++ = static_cast<char>(c.unicode());
      textSize_ += size_t(n) + 1;
      return;
    }
  }
  const QByteArray u = v.toUtf8();
  appendField(u.constData(), u.size());
}

QStringList RowArena::values(int row) const {
  const Slot& s = rows_[row];
  if (s.own >= 0) return own_[static_cast<size_t>(s.own)];
  QStringList out;
  out.reserve(fieldCount());
  const char* p = rowText(s);
  quint32 n = 0;
  for (int c = 0; c < fieldCount(); ++c) {
    const char* t = field(p, &n);
    out << QString::fromUtf8(t, qsizetype(n));
    p = t + n;
  }
  return out;
}

QStringList& RowArena::ownFields(int row) {
  Slot& s = rows_[row];
  if (s.own < 0) {
    own_.push_back(values(row));
    s.own = static_cast<qint32>(own_.size() - 1);
  }
  return own_[static_cast<size_t>(s.own)];
}

namespace {

// The engine's case folding for NOCASE: ASCII letters only.
inline int foldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// As the engine compares two texts under NOCASE, down to its stopping at a
// zero byte, then by length.
int compareNoCase(const unsigned char* a, quint32 na, const unsigned char* b, quint32 nb) {
  const quint32 n = std::min(na, nb);
  for (quint32 i = 0; i < n; ++i) {
    const int d = foldAscii(a[i]) - foldAscii(b[i]);
    if (d != 0) return d;
    if (a[i] == 0) break;
  }
  return na < nb ? -1 : na > nb ? 1 : 0;
}

int compareBinary(const unsigned char* a, quint32 na, const unsigned char* b, quint32 nb) {
  const int d = std::memcmp(a, b, std::min(na, nb));
  if (d != 0) return d;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

}  // namespace

void RowArena::sortRows(int column, Collation collation, bool descending) {
  Q_ASSERT(own_.empty());
  const qsizetype n = rows_.size();
  if (column < 0 || column >= fieldCount() || n < 2) return;
  const auto fieldOf = [&](const Slot& s, quint32* size) {
    const char* p = rowText(s);
    for (int c = 0; c < column; ++c) p = field(p, size) + *size;
    return reinterpret_cast<const unsigned char*>(field(p, size));
  };
  const bool noCase = collation == Collation::NoCase;

  // Sorting the rows themselves would compare texts scattered over the
  // whole buffer; instead each row gets a small item holding the next eight
  // bytes of its value past what every value shares (folded as the
  // collation folds), and only items whose bytes tie look at the text.
  // Items are twelve bytes a row and live only while sorting.
  struct Item {
    quint32 hi, lo;
    quint32 at;  // kind of value in the top two bits, position below
  };
  constexpr quint32 kPosition = 0x3FFFFFFF;
  enum : quint32 { NoValue = 0, Text = 1, Bytes = 2 };
  if (n > qsizetype(kPosition)) return;
  const bool classes = !noValueKeys_.empty() || !bytesKeys_.empty();
  const auto kindOf = [&](qint64 key) -> quint32 {
    if (!classes) return Text;
    if (std::binary_search(noValueKeys_.begin(), noValueKeys_.end(), key)) return NoValue;
    if (std::binary_search(bytesKeys_.begin(), bytesKeys_.end(), key)) return Bytes;
    return Text;
  };
  const auto fold = [&](unsigned char c) { return noCase ? foldAscii(c) : c; };

  // What every text shares; NOCASE stops at a zero byte, so none is shared.
  quint32 shared = 0;
  {
    const unsigned char* first = nullptr;
    for (qsizetype i = 0; i < n; ++i) {
      if (kindOf(rows_[i].key) != Text) continue;
      quint32 size = 0;
      const unsigned char* t = fieldOf(rows_[i], &size);
      if (!first) {
        first = t;
        shared = size;
        if (noCase)
          for (quint32 k = 0; k < shared; ++k)
            if (t[k] == 0) shared = k;
        continue;
      }
      shared = std::min(shared, size);
      quint32 k = 0;
      while (k < shared && fold(t[k]) == fold(first[k])) ++k;
      shared = k;
      if (shared == 0) break;
    }
  }

  std::vector<Item> items(static_cast<size_t>(n));
  for (qsizetype i = 0; i < n; ++i) {
    const quint32 kind = kindOf(rows_[i].key);
    unsigned char b[8] = {};
    if (kind != NoValue) {
      quint32 size = 0;
      const unsigned char* t = fieldOf(rows_[i], &size);
      const quint32 from = kind == Text ? shared : 0;
      for (quint32 k = 0; k < 8 && from + k < size; ++k) {
        const unsigned char c = t[from + k];
        if (kind == Text && noCase && c == 0) break;
        b[k] = kind == Text ? static_cast<unsigned char>(fold(c)) : c;
      }
    }
    items[size_t(i)] = {quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3],
                        quint32(b[4]) << 24 | quint32(b[5]) << 16 | quint32(b[6]) << 8 | b[7],
                        kind << 30 | quint32(i)};
  }

  std::sort(items.begin(), items.end(), [&](const Item& x, const Item& y) {
    const quint32 kx = x.at >> 30, ky = y.at >> 30;
    const quint32 px = x.at & kPosition, py = y.at & kPosition;
    int d = 0;
    if (kx != ky) {
      d = kx < ky ? -1 : 1;
    } else if (x.hi != y.hi) {
      d = x.hi < y.hi ? -1 : 1;
    } else if (x.lo != y.lo) {
      d = x.lo < y.lo ? -1 : 1;
    } else if (kx != NoValue) {
      quint32 nx = 0, ny = 0;
      const unsigned char* tx = fieldOf(rows_[px], &nx);
      const unsigned char* ty = fieldOf(rows_[py], &ny);
      // Bytes are compared as they are, whatever the collation.
      d = kx == Text && noCase ? compareNoCase(tx, nx, ty, ny) : compareBinary(tx, nx, ty, ny);
    }
    if (descending) d = -d;
    // Equal values in the order read, which is the order of their keys.
    return d != 0 ? d < 0 : px < py;
  });

  // The rows into the items' order, in place, one cycle at a time.
  constexpr quint32 kDone = 0xFFFFFFFF;
  for (qsizetype i = 0; i < n; ++i) {
    if (items[size_t(i)].at == kDone) continue;
    const Slot first = rows_[i];
    qsizetype j = i;
    for (;;) {
      const qsizetype from = items[size_t(j)].at & kPosition;
      items[size_t(j)].at = kDone;
      if (from == i) {
        rows_[j] = first;
        break;
      }
      rows_[j] = rows_[from];
      j = from;
    }
  }
}

void RowArena::reserveText(size_t bytes) {
  if (bytes > textCapacity_) resizeText(std::min<size_t>(bytes, 0xF0000000u));
}

void RowArena::growText(size_t atLeast) {
  if (!resizeText(std::max({atLeast, textCapacity_ + textCapacity_ / 2, size_t(64 * 1024)})) && !resizeText(atLeast))
    throw std::bad_alloc();
}

bool RowArena::resizeText(size_t capacity) {
  char* p = static_cast<char*>(std::realloc(text_.get(), capacity));
  if (!p) return false;
  (void)text_.release();
  text_.reset(p);
  textCapacity_ = capacity;
  return true;
}

void RowArena::setValue(int row, int column, const QString& v) { ownFields(row)[column] = v; }

void RowArena::appendOwn(qint64 key, qint64 version, const QStringList& fields) {
  own_.push_back(fields);
  rows_.append(Slot{key, 0, static_cast<qint32>(own_.size() - 1)});
  noteVersion(version);
}

void RowArena::setVersion(int row, qint64 v) {
  if (v == 0 && versions_.isEmpty()) return;
  if (versions_.size() < rows_.size()) versions_.resize(rows_.size());
  versions_[row] = v;
}

void RowArena::remove(int row) {
  rows_.remove(row);
  if (row < versions_.size()) versions_.remove(row);
}

int RowArena::indexOfKey(qint64 key) const {
  for (int i = 0; i < rowCount(); ++i)
    if (rows_[i].key == key) return i;
  return -1;
}

}  // namespace quillon
