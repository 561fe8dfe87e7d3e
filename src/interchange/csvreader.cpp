#include "csvreader.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

int lineAt(const QByteArray& data, qsizetype pos) {
  int line = 1;
  for (qsizetype i = 0; i < pos && i < data.size(); ++i)
    if (data[i] == '\n') ++line;
  return line;
}

// Offset of the first byte that does not belong to well-formed UTF-8
// (overlong forms, surrogates and values past U+10FFFF included), or -1.
qsizetype firstInvalidUtf8(const QByteArray& data) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
  const qsizetype n = data.size();
  qsizetype i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len = 0;
    unsigned int cp = 0;
    if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
    else return i;
    if (i + len > n) return i;
    for (int k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return i;
    i += len;
  }
  return -1;
}

char pickDelimiter(const QByteArray& data, qsizetype from) {
  int commas = 0, semicolons = 0;
  bool quoted = false;
  for (qsizetype i = from; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '"') quoted = !quoted;
    else if (!quoted && (c == '\n' || c == '\r')) break;
    else if (!quoted && c == ',') ++commas;
    else if (!quoted && c == ';') ++semicolons;
  }
  return semicolons > commas ? ';' : ',';
}

CsvTable refusedTable(const QString& why, int line) {
  CsvTable t;
  t.error = why;
  t.errorLine = line;
  return t;
}

// QString::fromUtf8 drops a byte order mark that opens its input; a field is
// the middle of a file, so a mark there is text and is kept as such. The rare
// field that opens with one is decoded without that step.
QString fieldText(const char* bytes, qsizetype size) {
  if (size < 3 || std::memcmp(bytes, "\xEF\xBB\xBF", 3) != 0) return QString::fromUtf8(bytes, size);
  QStringDecoder keepMarks(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return keepMarks(QByteArrayView(bytes, size));
}

}  // namespace

CsvTable parseCsv(const QByteArray& data) {
  CsvTable table;
  // A record a line, nearly always: the list is not regrown while it fills.
  // Never more than short lines could fill, though: a file of line breaks
  // holds no records.
  table.records.reserve(std::min(data.count('\n') + 1, data.size() / 16 + 1));
  CsvTable outcome = readCsv(data, [&](CsvRecord& rec) { table.records << std::move(rec); });
  if (!outcome.ok()) return outcome;
  return table;
}

CsvTable readCsv(const QByteArray& data, const std::function<void(CsvRecord&)>& take) {
  if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF"))
    return refusedTable(QStringLiteral("the file is UTF-16 text; save it as UTF-8 (CSV UTF-8)"), 1);
  if (const qsizetype z = data.indexOf('\0'); z >= 0)
    return refusedTable(QStringLiteral("the file holds binary data, not text"), lineAt(data, z));
  if (const qsizetype bad = firstInvalidUtf8(data); bad >= 0)
    return refusedTable(QStringLiteral("the file is not UTF-8 text; save it as UTF-8 (CSV UTF-8)"), lineAt(data, bad));

  const qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  const char delim = pickDelimiter(data, start);
  const qsizetype n = data.size();
  const char* p = data.constData();
  qsizetype i = start;
  int line = 1;
  qsizetype width = -1;
  CsvRecord rec;
  QByteArray field;

  while (i < n) {
    rec.line = line;
    // Emptied, not replaced: the next record reuses the room.
    rec.fields.erase(rec.fields.begin(), rec.fields.end());
    if (width > 0) rec.fields.reserve(width);
    bool recordDone = false;
    while (!recordDone) {
      field.clear();
      const bool quoted = i < n && p[i] == '"';
      if (quoted) {
        const int opened = line;
        ++i;
        for (;;) {
          if (i >= n) return refusedTable(QStringLiteral("a quoted field is never closed"), opened);
          const char c = p[i++];
          if (c == '"') {
            if (i < n && p[i] == '"') {
              field += '"';
              ++i;
              continue;
            }
            break;
          }
          if (c == '\n') ++line;
          field += c;
        }
        if (i < n && p[i] != delim && p[i] != '\n' && p[i] != '\r')
          return refusedTable(QStringLiteral("text follows a closing quote"), line);
      } else {
        const qsizetype from = i;
        while (i < n && p[i] != delim && p[i] != '\n' && p[i] != '\r') {
          if (p[i] == '"') return refusedTable(QStringLiteral("a quote inside an unquoted field"), line);
          ++i;
        }
        // Straight from the file's bytes: most fields are unquoted.
        rec.fields << fieldText(p + from, i - from);
      }
      if (quoted) rec.fields << fieldText(field.constData(), field.size());
      if (i < n && p[i] == delim) {
        ++i;
        continue;
      }
      // End of the record: CRLF, LF, a lone CR, or the end of the file.
      if (i < n && p[i] == '\r') ++i;
      if (i < n && p[i] == '\n') ++i;
      ++line;
      recordDone = true;
    }
    if (rec.fields.size() == 1 && rec.fields[0].isEmpty()) continue;  // blank line
    if (width < 0) width = rec.fields.size();
    else if (rec.fields.size() != width)
      return refusedTable(
          QStringLiteral("this line has %1 fields where the header has %2").arg(rec.fields.size()).arg(width),
          rec.line);
    take(rec);
  }
  return CsvTable();
}

}  // namespace quillon
