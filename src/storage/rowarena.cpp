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
  if (column < 0 || column >= fieldCount()) return;
  const auto fieldOf = [&](const Slot& s, quint32* n) {
    const char* p = rowText(s);
    for (int c = 0; c < column; ++c) p = field(p, n) + *n;
    return reinterpret_cast<const unsigned char*>(field(p, n));
  };
  const bool classes = !noValueKeys_.empty() || !bytesKeys_.empty();
  // No value, then text, then bytes.
  const auto classOf = [&](qint64 key) {
    if (std::binary_search(noValueKeys_.begin(), noValueKeys_.end(), key)) return 0;
    if (std::binary_search(bytesKeys_.begin(), bytesKeys_.end(), key)) return 2;
    return 1;
  };
  const auto compareText = collation == Collation::NoCase ? compareNoCase : compareBinary;
  std::sort(rows_.begin(), rows_.end(), [&](const Slot& x, const Slot& y) {
    int d = 0;
    const int cx = classes ? classOf(x.key) : 1, cy = classes ? classOf(y.key) : 1;
    if (cx != cy) {
      d = cx - cy;
    } else if (cx != 0) {
      quint32 nx = 0, ny = 0;
      const unsigned char* tx = fieldOf(x, &nx);
      const unsigned char* ty = fieldOf(y, &ny);
      // Bytes are compared as they are, whatever the collation.
      d = cx == 2 ? compareBinary(tx, nx, ty, ny) : compareText(tx, nx, ty, ny);
    }
    if (descending) d = -d;
    return d != 0 ? d < 0 : x.key < y.key;
  });
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
