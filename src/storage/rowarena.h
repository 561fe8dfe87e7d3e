#pragma once
// The rows a query returned, held compactly: each field's UTF-8 text back to
// back behind a one-byte length (longer fields take five bytes), decoded into
// a QString only when read. A row written or added since holds its fields as
// strings of its own. The buffers keep their capacity across a re-read, so a
// re-query neither frees nor regrows them.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
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
    rows_.append(Slot{key, static_cast<quint32>(text_.size()), -1});
    noteVersion(version);
  }
  void appendField(const char* utf8, qsizetype size) {
    if (size < 0xFF) {
      text_.append(static_cast<char>(size));
    } else {
      const quint32 n = static_cast<quint32>(size);
      const char len[5] = {'\xFF', char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
      text_.append(len, 5);
    }
    if (size > 0) text_.append(utf8, size);
  }
  // True while the text still fits the 32-bit row offsets.
  bool roomLeft() const { return text_.size() < qsizetype(0xF0000000u); }
  // Room for about `rows` rows more, ahead of a read of known size.
  void reserve(qsizetype rows) { rows_.reserve(rows); }

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
  // Versions take room only where the engine keeps them (the server); a
  // file's rows leave versions_ empty.
  void noteVersion(qint64 version) {
    if (version == 0 && versions_.isEmpty()) return;
    versions_.resize(rows_.size() - 1);
    versions_.append(version);
  }

  QStringList names_;
  QByteArray text_;
  QList<Slot> rows_;
  QList<qint64> versions_;
  std::vector<QStringList> own_;
};

}  // namespace quillon
