#include "salvage.h"

#include <QSet>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace quillon::dbtool::salvage {
namespace {

constexpr quint8 kTableInterior = 0x05;
constexpr quint8 kTableLeaf = 0x0d;
constexpr char kMagic[] = "SQLite format 3";  // and its terminating zero: 16 bytes

quint32 be16(const uchar* p) { return quint32(p[0]) << 8 | p[1]; }
quint32 be32(const uchar* p) { return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]; }

// A variable-length integer starting at d[pos], read no further than `end`.
bool varint(const uchar* d, size_t end, size_t& pos, quint64& out) {
  out = 0;
  for (int i = 0; i < 9; ++i) {
    if (pos >= end) return false;
    const uchar b = d[pos++];
    if (i == 8) {
      out = (out << 8) | b;
      return true;
    }
    out = (out << 7) | (b & 0x7f);
    if (!(b & 0x80)) return true;
  }
  return true;
}

// The file cut into pages; a short last page reads as if padded with zeros.
class Image {
 public:
  Image(const QByteArray& file, quint32 pageSize, quint32 usable)
      : file_(file), pageSize_(pageSize), usable_(usable) {
    const qsizetype whole = file.size() / pageSize;
    pages_ = quint32(std::min<qsizetype>(whole, 0x7fffffff));
    if (file.size() % pageSize != 0 && pages_ < 0x7fffffff) {
      tail_ = file.mid(qsizetype(pages_) * pageSize);
      tail_.resize(pageSize, '\0');
      ++pages_;
    }
  }
  quint32 pages() const { return pages_; }
  quint32 usable() const { return usable_; }
  bool has(quint32 p) const { return p >= 1 && p <= pages_; }
  const uchar* page(quint32 p) const {
    const qsizetype at = qsizetype(p - 1) * pageSize_;
    if (!tail_.isEmpty() && p == pages_) return reinterpret_cast<const uchar*>(tail_.constData());
    return reinterpret_cast<const uchar*>(file_.constData()) + at;
  }
  // Where the b-tree header starts: page 1 begins with the file header.
  static size_t base(quint32 p) { return p == 1 ? 100 : 0; }

 private:
  const QByteArray& file_;
  quint32 pageSize_, usable_, pages_ = 0;
  QByteArray tail_;
};

// The payload of the table-leaf cell at `off`, with its overflow chain.
std::optional<QByteArray> cellPayload(const Image& img, const uchar* pg, size_t off, qint64& rowid) {
  const size_t u = img.usable();
  size_t pos = off;
  quint64 size = 0, rid = 0;
  if (!varint(pg, u, pos, size) || !varint(pg, u, pos, rid)) return std::nullopt;
  // No payload is larger than the file it lies in.
  if (size > quint64(img.pages()) * u) return std::nullopt;
  rowid = qint64(rid);
  const quint64 maxLocal = u - 35;
  quint64 local = size;
  if (size > maxLocal) {
    const quint64 minLocal = (u - 12) * 32 / 255 - 23;
    const quint64 k = minLocal + (size - minLocal) % (u - 4);
    local = k <= maxLocal ? k : minLocal;
  }
  if (pos + local > u) return std::nullopt;
  QByteArray payload(reinterpret_cast<const char*>(pg + pos), qsizetype(local));
  if (local == size) return payload;
  if (pos + local + 4 > u) return std::nullopt;
  quint32 next = be32(pg + pos + local);
  // Each overflow page adds at least one byte, so the loop ends.
  while (quint64(payload.size()) < size) {
    if (!img.has(next)) return std::nullopt;
    const uchar* o = img.page(next);
    const quint64 n = std::min<quint64>(u - 4, size - quint64(payload.size()));
    payload.append(reinterpret_cast<const char*>(o + 4), qsizetype(n));
    next = be32(o);
  }
  return payload;
}

// The rows a scan looks for: those of table `name`, of `columns` fields or
// of `most` (a table that gained fields keeps its older rows shorter).
struct Shape {
  const char* name;
  int columns;
  int most;
};
// A row of `info` may also carry the two fields a later scorer adds; rows
// stored before they were added keep the eighteen.
constexpr Shape kInfo{"info", kFieldCount, kFieldCount + 2};

// A record of exactly `columns` or `most` fields (any number when
// `columns` is negative).
std::optional<QList<Value>> decodeRecord(const QByteArray& payload, int columns, int most) {
  const auto* d = reinterpret_cast<const uchar*>(payload.constData());
  const size_t n = size_t(payload.size());
  size_t pos = 0;
  quint64 headerSize = 0;
  if (!varint(d, n, pos, headerSize) || headerSize < pos || headerSize > n) return std::nullopt;
  std::vector<quint64> types;
  while (pos < headerSize) {
    quint64 t = 0;
    if (!varint(d, headerSize, pos, t) || t == 10 || t == 11) return std::nullopt;
    types.push_back(t);
    if (columns >= 0 && int(types.size()) > most) return std::nullopt;
  }
  if (pos != headerSize || (columns >= 0 && int(types.size()) != columns && int(types.size()) != most))
    return std::nullopt;
  QList<Value> out;
  out.reserve(qsizetype(types.size()));
  size_t body = headerSize;
  for (const quint64 t : types) {
    static constexpr int kIntBytes[] = {0, 1, 2, 3, 4, 6, 8, 8};
    const quint64 len = t >= 12 ? (t - 12) / 2 : t <= 7 ? quint64(kIntBytes[t]) : 0;
    if (len > n - body) return std::nullopt;
    Value v;
    if (t == 0) {
      v.kind = Value::Null;
    } else if (t <= 6) {
      qint64 x = (d[body] & 0x80) ? -1 : 0;
      for (quint64 i = 0; i < len; ++i) x = qint64(quint64(x) << 8 | d[body + i]);
      v.kind = Value::Integer;
      v.integer = x;
    } else if (t == 7) {
      quint64 bits = 0;
      for (int i = 0; i < 8; ++i) bits = bits << 8 | d[body + size_t(i)];
      std::memcpy(&v.real, &bits, sizeof bits);
      v.kind = Value::Real;
    } else if (t == 8 || t == 9) {
      v.kind = Value::Integer;
      v.integer = qint64(t - 8);
    } else {
      v.kind = (t % 2) ? Value::Text : Value::Blob;
      v.bytes = QByteArray(reinterpret_cast<const char*>(d + body), qsizetype(len));
    }
    body += len;
    out << v;
  }
  if (body != n) return std::nullopt;
  return out;
}

// A decoded record that can be a row of a records table: an ID that is the
// row id (NULL) or a whole number, and no binary data.
bool fitsRow(const QList<Value>& f) {
  if (f.isEmpty()) return false;
  if (f[0].kind != Value::Null && f[0].kind != Value::Integer) return false;
  return std::none_of(f.begin(), f.end(), [](const Value& v) { return v.kind == Value::Blob; });
}

struct LeafCells {
  std::vector<Row> rows;
  qint64 failed = 0;
};

// The cells reachable from a table-leaf page's pointer array, decoded as
// records of `columns` fields, or as rows of `shape`; nullopt when it is no
// readable leaf page.
std::optional<LeafCells> readLeaf(const Image& img, quint32 p, int columns, const Shape* shape = nullptr) {
  const uchar* pg = img.page(p);
  const size_t b = Image::base(p);
  const size_t u = img.usable();
  if (pg[b] != kTableLeaf) return std::nullopt;
  const size_t cells = be16(pg + b + 3);
  const size_t ptrEnd = b + 8 + 2 * cells;
  if (ptrEnd > u) return std::nullopt;
  LeafCells out;
  for (size_t i = 0; i < cells; ++i) {
    const size_t off = be16(pg + b + 8 + 2 * i);
    qint64 rowid = 0;
    std::optional<QList<Value>> rec;
    if (off >= ptrEnd && off < u)
      if (const auto payload = cellPayload(img, pg, off, rowid))
        rec = shape ? decodeRecord(*payload, shape->columns, shape->most) : decodeRecord(*payload, columns, columns);
    if (rec && (!shape || fitsRow(*rec)))
      out.rows.push_back({rowid, *rec, p});
    else
      ++out.failed;
  }
  return out;
}

struct Walk {
  QSet<quint32> leaves;
  qint64 damagedPages = 0;
  bool whole = true;
};

// Follows a table b-tree down from `root`, collecting its leaf pages.
Walk walkTree(const Image& img, quint32 root) {
  Walk w;
  QSet<quint32> seen;
  std::vector<quint32> todo{root};
  const size_t u = img.usable();
  while (!todo.empty()) {
    const quint32 p = todo.back();
    todo.pop_back();
    if (!img.has(p)) {
      ++w.damagedPages;
      w.whole = false;
      continue;
    }
    if (seen.contains(p)) {  // a page reached twice: the tree is not sound
      w.whole = false;
      continue;
    }
    seen.insert(p);
    const uchar* pg = img.page(p);
    const size_t b = Image::base(p);
    if (pg[b] == kTableLeaf && b + 8 + 2 * size_t(be16(pg + b + 3)) <= u) {
      w.leaves.insert(p);
      continue;
    }
    const size_t cells = be16(pg + b + 3);
    const size_t ptrEnd = b + 12 + 2 * cells;
    if (pg[b] != kTableInterior || ptrEnd > u) {
      ++w.damagedPages;
      w.whole = false;
      continue;
    }
    for (size_t i = 0; i < cells; ++i) {
      const size_t off = be16(pg + b + 12 + 2 * i);
      if (off < ptrEnd || off + 4 > u) {
        w.whole = false;
        continue;
      }
      todo.push_back(be32(pg + off));
    }
    todo.push_back(be32(pg + b + 8));
  }
  return w;
}

// Text as stored, in the file's encoding, compared with an ASCII word.
bool textIs(const Value& v, const char* word, TextEncoding enc) {
  if (v.kind != Value::Text) return false;
  QByteArray ascii;
  if (enc == TextEncoding::Utf8) {
    ascii = v.bytes;
  } else {
    if (v.bytes.size() % 2) return false;
    const int hi = enc == TextEncoding::Utf16be ? 0 : 1;
    for (qsizetype i = 0; i < v.bytes.size(); i += 2) {
      if (v.bytes[i + hi] != 0) return false;
      ascii += v.bytes[i + 1 - hi];
    }
  }
  return ascii.compare(word, Qt::CaseInsensitive) == 0;
}

// The root page of table `name`, from the schema table on page 1.
quint32 rootPageOf(const Image& img, TextEncoding enc, const char* name) {
  if (!img.has(1)) return 0;
  const Walk schema = walkTree(img, 1);
  for (const quint32 p : schema.leaves) {
    const auto cells = readLeaf(img, p, 5);
    if (!cells) continue;
    for (const Row& r : cells->rows) {
      const QList<Value>& f = r.fields;
      if (textIs(f[0], "table", enc) && textIs(f[1], name, enc) && f[3].kind == Value::Integer &&
          f[3].integer > 0 && f[3].integer <= 0x7fffffff)
        return quint32(f[3].integer);
    }
  }
  return 0;
}

// The highest ID table `table` ever gave out, as its numbering table keeps it.
qint64 tableSequence(const Image& img, TextEncoding enc, const char* table) {
  const quint32 root = rootPageOf(img, enc, "sqlite_sequence");
  if (!root) return 0;
  qint64 seq = 0;
  for (const quint32 p : walkTree(img, root).leaves)
    if (const auto cells = readLeaf(img, p, 2))
      for (const Row& r : cells->rows)
        if (textIs(r.fields[0], table, enc) && r.fields[1].kind == Value::Integer)
          seq = std::max(seq, r.fields[1].integer);
  return seq;
}

// Pages on the freelist: whatever lies on them was deleted.
QSet<quint32> freePages(const Image& img, const uchar* header) {
  QSet<quint32> free;
  quint32 trunk = be32(header + 32);
  while (img.has(trunk) && !free.contains(trunk)) {
    free.insert(trunk);
    const uchar* pg = img.page(trunk);
    const quint32 n = be32(pg + 4);
    if (n > img.usable() / 4 - 2) break;
    for (quint32 i = 0; i < n; ++i)
      if (const quint32 leaf = be32(pg + 8 + 4 * i); img.has(leaf)) free.insert(leaf);
    trunk = be32(pg);
  }
  return free;
}

// Without the schema, the table's root is the interior page that no other
// interior page points to and under which most pages of rows hang.
quint32 guessRoot(const Image& img, const QSet<quint32>& free, const QSet<quint32>& leafSet) {
  std::vector<quint32> interiors;
  QSet<quint32> children;
  const size_t u = img.usable();
  for (quint32 p = 1; p <= img.pages(); ++p) {
    if (free.contains(p)) continue;
    const uchar* pg = img.page(p);
    const size_t b = Image::base(p);
    const size_t cells = be16(pg + b + 3);
    if (pg[b] != kTableInterior || b + 12 + 2 * cells > u) continue;
    interiors.push_back(p);
    for (size_t i = 0; i < cells; ++i)
      if (const size_t off = be16(pg + b + 12 + 2 * i); off + 4 <= u) children.insert(be32(pg + off));
    children.insert(be32(pg + b + 8));
  }
  quint32 best = 0;
  qsizetype bestLeaves = 0;
  for (const quint32 p : interiors) {
    if (children.contains(p)) continue;
    const Walk w = walkTree(img, p);
    qsizetype n = 0;
    for (const quint32 leaf : w.leaves) n += leafSet.contains(leaf) ? 1 : 0;
    if (n > bestLeaves) {
      best = p;
      bestLeaves = n;
    }
  }
  return best;
}

Scan scanWith(const QByteArray& file, quint32 pageSize, quint32 reserved, bool headerSound, const Shape& shape) {
  Scan s;
  s.pageSize = pageSize;
  s.headerSound = headerSound;
  const Image img(file, pageSize, pageSize - reserved);
  s.pagesInFile = img.pages();
  const auto* header = reinterpret_cast<const uchar*>(file.constData());
  QSet<quint32> free;
  if (headerSound) {
    free = freePages(img, header);
    const quint32 enc = be32(header + 56);
    if (enc == 2 || enc == 3) s.encoding = TextEncoding(enc);
  }
  // Every page that is not free and reads as a leaf of the table's rows.
  std::vector<std::pair<quint32, LeafCells>> leaves;
  QSet<quint32> leafSet;
  for (quint32 p = 1; p <= img.pages(); ++p) {
    if (free.contains(p)) continue;
    auto cells = readLeaf(img, p, shape.columns, &shape);
    if (!cells || cells->rows.empty()) continue;
    leafSet.insert(p);
    leaves.emplace_back(p, std::move(*cells));
  }

  s.infoRoot = rootPageOf(img, s.encoding, shape.name);
  s.sequence = tableSequence(img, s.encoding, shape.name);
  const quint32 root = s.infoRoot ? s.infoRoot : guessRoot(img, free, leafSet);
  Walk tree;
  if (root) {
    tree = walkTree(img, root);
    s.damagedPages = tree.damagedPages;
    s.treeWhole = tree.whole;
  }

  struct Copy {
    Row row;
    bool reachable;
  };
  std::map<qint64, std::vector<Copy>> found;
  for (auto& [p, cells] : leaves) {
    s.leafPages.push_back(p);
    s.damagedCells += cells.failed;
    const bool reachable = tree.leaves.contains(p);
    for (Row& r : cells.rows) found[r.rowid].push_back({std::move(r), reachable});
  }

  s.rows.reserve(found.size());
  for (auto& entry : found) {
    std::vector<Copy>& copies = entry.second;
    const auto inTree = std::find_if(copies.begin(), copies.end(), [](const Copy& c) { return c.reachable; });
    if (inTree != copies.end()) {
      s.rows.push_back(std::move(inTree->row));
      continue;
    }
    // Only on pages the tree does not reach. With the tree whole these are
    // left-overs of pages rewritten since; otherwise they are what the
    // damage cut off.
    if (s.treeWhole) {
      ++s.strayRowsIgnored;
      continue;
    }
    const bool differ = std::any_of(copies.begin() + 1, copies.end(),
                                    [&](const Copy& c) { return c.row.fields != copies.front().row.fields; });
    if (differ) ++s.conflictingCopies;
    s.rows.push_back(std::move(copies.front().row));
  }
  return s;
}

bool validPageSize(quint32 n) { return n >= 512 && n <= 65536 && (n & (n - 1)) == 0; }

Scan scanTable(const QByteArray& file, const Shape& shape) {
  if (file.size() >= 100 && std::memcmp(file.constData(), kMagic, sizeof kMagic) == 0) {
    const auto* h = reinterpret_cast<const uchar*>(file.constData());
    const quint32 raw = be16(h + 16);
    const quint32 size = raw == 1 ? 65536 : raw;
    const quint32 reserved = h[20];
    if (validPageSize(size) && size - reserved >= 480) return scanWith(file, size, reserved, true, shape);
  }
  // The header is gone: try the usual page sizes and keep the one under
  // which the most rows decode.
  Scan best;
  for (const quint32 size : {4096u, 1024u, 2048u, 8192u, 16384u, 32768u, 65536u, 512u}) {
    if (file.size() < qsizetype(size)) continue;
    Scan s = scanWith(file, size, 0, false, shape);
    if (s.rows.size() > best.rows.size()) best = std::move(s);
  }
  return best;
}

}  // namespace

Scan scanInfoRows(const QByteArray& file) { return scanTable(file, kInfo); }

Scan scanTableRows(const QByteArray& file, const QByteArray& table, int columns) {
  return scanTable(file, Shape{table.constData(), columns, columns});
}

Scan scanTableRows(const QByteArray& file, const QByteArray& table, int fewest, int columns) {
  return scanTable(file, Shape{table.constData(), fewest, columns});
}

}  // namespace quillon::dbtool::salvage
