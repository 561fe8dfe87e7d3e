#pragma once
// The rows a query returned, held compactly: each field's UTF-8 text back to
// back behind a one-byte length (longer fields take five bytes), decoded into
// a QString only when read. A row written or added since holds its fields as
// strings of its own. The buffers keep their capacity across a re-read, so a
// re-query neither frees nor regrows them.

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace quillon {

class RowArena {
 public:
  // Forgets every row but keeps the memory for the next read.
  void clear();
  // Frees everything.
  void release();

  void setFieldNames(const QStringList& names) { names_ = names; }
  const QStringList& fieldNames() const { return names_; }
  int fieldCount() const { return static_cast<int>(names_.size()); }

  // Reading a query: beginRow, then each field in order (null: no value).
  void beginRow(qint64 key, qint64 version = 0) {
    rows_.append(Slot{key, static_cast<quint32>(textSize_), -1});
    noteVersion(version);
  }
  void appendField(const char* utf8, qsizetype size) {
    const size_t n = static_cast<size_t>(size);
    if (textSize_ + n + 5 > textCapacity_) growText(textSize_ + n + 5);
    char* out = text_.get() + textSize_;
    if (n < 0xFF) {
      *out++ = static_cast<char>(n);
    } else {
      *out++ = '\xFF';
      for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<char>((n >> shift) & 0xFF);
    }
    if (n > 0) std::memcpy(out, utf8, n);
    textSize_ = static_cast<size_t>(out - text_.get()) + n;
  }
  // A field of a row added after the read (beginRow first), held as text
  // like a read row's rather than as strings of its own: an import adds
  // many thousand rows of a few short fields each.
  void appendText(QStringView v);
  // True while the text still fits the 32-bit row offsets.
  bool roomLeft() const { return textSize_ < 0xF0000000u; }
  // Room for about `rows` rows more, ahead of a read of known size.
  void reserve(qsizetype rows) { rows_.reserve(rows); }
  // Room for about `bytes` of text, ahead of a read: the buffer is then not
  // moved while it fills, and room never written to takes no memory.
  // Only a hint: room that cannot be had now is left to the read to find.
  void reserveText(size_t bytes);
  // Bytes of text held now, to reserve beyond.
  size_t textSize() const { return textSize_; }

  // Reading a query that is ordered here afterwards: the current row's sort
  // field holds no value, or bytes rather than text (the engine orders
  // those below and above every text).
  enum class SortClass { NoValue, Bytes };
  void noteSortClass(SortClass c) { (c == SortClass::NoValue ? noValueKeys_ : bytesKeys_).push_back(rows_.last().key); }
  // Orders the rows just read by one field as the engine orders a text
  // field under the given collation, equal values by key. Only rows read
  // since the last clear() are sorted; nothing has been edited yet.
  enum class Collation { Binary, NoCase };
  void sortRows(int column, Collation collation, bool descending);

  int rowCount() const { return static_cast<int>(rows_.size()); }
  qint64 key(int row) const { return rows_[row].key; }
  qint64 version(int row) const { return row < versions_.size() ? versions_[row] : 0; }
  void setVersion(int row, qint64 v);
  QString value(int row, int column) const;
  // Every field of the row, in column order.
  QStringList values(int row) const;

  // A row's fields become its own (read from the text first).
  void setValue(int row, int column, const QString& v);
  // A row added after the read, holding these fields in column order.
  void appendOwn(qint64 key, qint64 version, const QStringList& fields);
  void remove(int row);
  int indexOfKey(qint64 key) const;

 private:
  struct Slot {
    qint64 key;
    quint32 offset;  // of the row's first length byte in text_
    qint32 own;      // index into own_, or -1
  };
  QStringList& ownFields(int row);
  void growText(size_t atLeast);
  bool resizeText(size_t capacity);
  const char* rowText(const Slot& s) const { return text_.get() + s.offset; }
  // Versions take room only where the engine keeps them (the server); a
  // file's rows leave versions_ empty.
  void noteVersion(qint64 version) {
    if (version == 0 && versions_.isEmpty()) return;
    versions_.resize(rows_.size() - 1);
    versions_.append(version);
  }

  struct Free {
    void operator()(char* p) const { std::free(p); }
  };

  QStringList names_;
  // Grown with realloc, which moves a large block by remapping its pages
  // instead of copying them, so a growing buffer is never held twice.
  std::unique_ptr<char, Free> text_;
  size_t textSize_ = 0;
  size_t textCapacity_ = 0;
  QList<Slot> rows_;
  QList<qint64> versions_;
  std::vector<QStringList> own_;
  // Keys of the rows whose sort field held no value or bytes, ascending;
  // nearly always empty.
  std::vector<qint64> noValueKeys_, bytesKeys_;
};

}  // namespace quillon
