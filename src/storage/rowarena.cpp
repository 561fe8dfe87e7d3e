#include "rowarena.h"

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
  text_.resize(0);  // keeps the capacity
  rows_.clear();    // likewise
  versions_.clear();
  own_.clear();
}

void RowArena::release() {
  text_ = QByteArray();
  rows_ = QList<Slot>();
  versions_ = QList<qint64>();
  own_ = std::vector<QStringList>();
  names_.clear();
}

QString RowArena::value(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= fieldCount()) return QString();
  const Slot& s = rows_[row];
  if (s.own >= 0) return own_[static_cast<size_t>(s.own)].value(column);
  const char* p = text_.constData() + s.offset;
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
  const char* p = text_.constData() + s.offset;
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
