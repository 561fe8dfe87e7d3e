#include "xlsxreader.h"

#include <unzip.h>

#include <QDate>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QXmlStreamReader>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace quillon {

namespace {

constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;
constexpr int kMaxColumns = 16384;      // XFD, the widest sheet a spreadsheet writes
constexpr int kMaxRows = 1048576;
constexpr qint64 kMaxCells = 4'000'000;  // rows x columns once padded

// Thrown inside the reader only; readXlsx turns it into the table's error.
struct Refusal {
  QString reason;
  int row = 0;
};

[[noreturn]] void refuse(const QString& reason, int row = 0) { throw Refusal{reason, row}; }

// ------------------------------------------------------------ zip in memory

// minizip reads through these callbacks, so the workbook is read from the
// bytes already checked for size and never opened a second time.
struct MemoryStream {
  const QByteArray* data = nullptr;
  qint64 pos = 0;
};

voidpf memOpen(voidpf opaque, const void*, int) { return opaque; }

uLong memRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* s = static_cast<MemoryStream*>(stream);
  const qint64 left = s->data->size() - s->pos;
  const qint64 n = std::min<qint64>(left, static_cast<qint64>(size));
  if (n <= 0) return 0;
  std::memcpy(buf, s->data->constData() + s->pos, static_cast<size_t>(n));
  s->pos += n;
  return static_cast<uLong>(n);
}

uLong memWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T memTell(voidpf, voidpf stream) { return static_cast<ZPOS64_T>(static_cast<MemoryStream*>(stream)->pos); }

long memSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* s = static_cast<MemoryStream*>(stream);
  qint64 base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = s->pos;
  else if (origin == ZLIB_FILEFUNC_SEEK_END) base = s->data->size();
  if (offset > static_cast<ZPOS64_T>(s->data->size())) return -1;
  const qint64 to = base + static_cast<qint64>(offset);
  if (to < 0 || to > s->data->size()) return -1;
  s->pos = to;
  return 0;
}

int memClose(voidpf, voidpf) { return 0; }
int memError(voidpf, voidpf) { return 0; }

struct UnzCloser {
  void operator()(void* f) const { unzClose(f); }
};

class Package {
 public:
  explicit Package(const QByteArray& data) {
    stream_.data = &data;
    zlib_filefunc64_def io{};
    io.zopen64_file = memOpen;
    io.zread_file = memRead;
    io.zwrite_file = memWrite;
    io.ztell64_file = memTell;
    io.zseek64_file = memSeek;
    io.zclose_file = memClose;
    io.zerror_file = memError;
    io.opaque = &stream_;
    zip_.reset(unzOpen2_64("workbook", &io));
    if (!zip_) refuse(QStringLiteral("the file is not an Excel workbook (.xlsx) or its zip directory is damaged"));
  }

  // The part's bytes, or nothing when the workbook has no such part. Part
  // names are compared without regard to case, as the package format says.
  std::optional<QByteArray> part(const QString& name) {
    const QByteArray n = name.toUtf8();
    if (unzLocateFile(zip_.get(), n.constData(), 2) != UNZ_OK) return std::nullopt;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip_.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
      refuse(QStringLiteral("the part %1 of the workbook is damaged").arg(name));
    if (info.flag & 1) refuse(QStringLiteral("the workbook is encrypted (part %1)").arg(name));
    if (info.uncompressed_size > static_cast<ZPOS64_T>(kMaxPartBytes))
      refuse(QStringLiteral("the part %1 of the workbook is larger than 64 MiB").arg(name));
    if (unzOpenCurrentFile(zip_.get()) != UNZ_OK)
      refuse(QStringLiteral("the part %1 of the workbook cannot be unpacked").arg(name));
    QByteArray out;
    char buf[65536];
    int got = 0;
    while ((got = unzReadCurrentFile(zip_.get(), buf, sizeof buf)) > 0) {
      out.append(buf, got);
      if (out.size() > kMaxPartBytes) {
        unzCloseCurrentFile(zip_.get());
        refuse(QStringLiteral("the part %1 of the workbook is larger than 64 MiB").arg(name));
      }
    }
    const int closed = unzCloseCurrentFile(zip_.get());
    if (got < 0 || closed != UNZ_OK)
      refuse(QStringLiteral("the part %1 of the workbook is damaged (%2)")
                 .arg(name, closed == UNZ_CRCERROR ? QStringLiteral("its checksum does not match")
                                                   : QStringLiteral("it cannot be unpacked")));
    return out;
  }

  QByteArray requiredPart(const QString& name) {
    auto p = part(name);
    if (!p) refuse(QStringLiteral("the workbook has no part %1").arg(name));
    return *p;
  }

 private:
  MemoryStream stream_;
  std::unique_ptr<void, UnzCloser> zip_;
};

// ------------------------------------------------------------------- XML

// A reader that refuses DTDs (no entity tricks) and names the part on error.
class Xml {
 public:
  Xml(const QByteArray& bytes, QString part) : r_(bytes), part_(std::move(part)) {}

  // Next start element, or false at the end of the part.
  bool next() {
    while (!r_.atEnd()) {
      const auto t = r_.readNext();
      if (t == QXmlStreamReader::DTD) refuse(QStringLiteral("the part %1 declares a DTD, which no workbook needs").arg(part_));
      if (t == QXmlStreamReader::StartElement) return true;
    }
    check();
    return false;
  }
  // Text of every <t> below the current element (rich text runs joined),
  // leaving out phonetic guides, which are not part of the value.
  QString textRuns() {
    QString out;
    int depth = 1, skip = 0;
    while (depth > 0 && !r_.atEnd()) {
      const auto t = r_.readNext();
      if (t == QXmlStreamReader::StartElement) {
        ++depth;
        if (r_.name() == u"rPh") skip = depth;
        else if (r_.name() == u"t" && skip == 0) {
          out += r_.readElementText(QXmlStreamReader::IncludeChildElements);
          --depth;
        }
      } else if (t == QXmlStreamReader::EndElement) {
        if (skip == depth) skip = 0;
        --depth;
      }
    }
    check();
    return out;
  }
  // Next child of the current element; false at its end.
  bool nextChild() {
    const bool more = r_.readNextStartElement();
    check();
    return more;
  }
  void skip() {
    r_.skipCurrentElement();
    check();
  }
  QString elementText() {
    const QString s = r_.readElementText(QXmlStreamReader::IncludeChildElements);
    check();
    return s;
  }
  QStringView name() const { return r_.name(); }
  QString attr(QStringView n) const {
    for (const QXmlStreamAttribute& a : r_.attributes())
      if (a.name() == n) return a.value().toString();
    return {};
  }
  bool hasAttr(QStringView n) const {
    for (const QXmlStreamAttribute& a : r_.attributes())
      if (a.name() == n) return true;
    return false;
  }
  // The relationship id attribute, whatever prefix its namespace was given.
  QString relId() const {
    for (const QXmlStreamAttribute& a : r_.attributes())
      if (a.name() == u"id" && !a.namespaceUri().isEmpty()) return a.value().toString();
    return {};
  }
  void check() const {
    if (r_.hasError())
      refuse(QStringLiteral("the part %1 of the workbook is not well-formed XML (%2)").arg(part_, r_.errorString()));
  }

 private:
  QXmlStreamReader r_;
  QString part_;
};

// ------------------------------------------------------------- workbook

struct SheetRef {
  QString part;
  bool date1904 = false;
};

QString resolveTarget(const QString& target) {
  QString t = target;
  if (t.startsWith('/')) return t.mid(1);
  QStringList out = {QStringLiteral("xl")};
  for (const QString& seg : t.split('/', Qt::SkipEmptyParts)) {
    if (seg == "..") {
      if (!out.isEmpty()) out.removeLast();
    } else if (seg != ".") {
      out << seg;
    }
  }
  return out.join('/');
}

SheetRef firstSheet(Package& pkg) {
  const QString wbName = QStringLiteral("xl/workbook.xml");
  Xml wb(pkg.requiredPart(wbName), wbName);
  SheetRef ref;
  QString rid, sheetName;
  while (wb.next()) {
    if (wb.name() == u"workbookPr") {
      const QString v = wb.attr(u"date1904");
      ref.date1904 = v == "1" || v.compare("true", Qt::CaseInsensitive) == 0;
    } else if (wb.name() == u"sheet" && rid.isEmpty()) {
      const QString state = wb.attr(u"state");
      if (state == "hidden" || state == "veryHidden") continue;
      rid = wb.relId();
      sheetName = wb.attr(u"name");
      if (rid.isEmpty()) refuse(QStringLiteral("the sheet \"%1\" names no part of the workbook").arg(sheetName));
    }
  }
  if (rid.isEmpty()) refuse(QStringLiteral("the workbook has no visible sheet"));
  const QString relsName = QStringLiteral("xl/_rels/workbook.xml.rels");
  Xml rels(pkg.requiredPart(relsName), relsName);
  while (rels.next())
    if (rels.name() == u"Relationship" && rels.attr(u"Id") == rid) ref.part = resolveTarget(rels.attr(u"Target"));
  if (ref.part.isEmpty()) refuse(QStringLiteral("the sheet \"%1\" names no part of the workbook").arg(sheetName));
  return ref;
}

QStringList sharedStrings(Package& pkg) {
  const QString name = QStringLiteral("xl/sharedStrings.xml");
  const auto bytes = pkg.part(name);
  QStringList out;
  if (!bytes) return out;
  Xml x(*bytes, name);
  while (x.next())
    if (x.name() == u"si") out << x.textRuns();
  return out;
}

// Whether a number format shows a date: d, m or y outside quoted text,
// escapes and [bracketed] parts (colours, conditions, elapsed [h]).
bool isDateFormatCode(const QString& code) {
  bool quoted = false;
  int bracket = 0;
  for (qsizetype i = 0; i < code.size(); ++i) {
    const QChar c = code[i];
    if (quoted) {
      quoted = c != '"';
    } else if (c == '"') {
      quoted = true;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      ++bracket;
    } else if (c == ']') {
      bracket = std::max(0, bracket - 1);
    } else if (bracket == 0 && QStringLiteral("dmyDMY").contains(c)) {
      return true;
    }
  }
  return false;
}

// For each cell style index, whether it shows the number as a date.
QList<bool> dateStyles(Package& pkg) {
  const QString name = QStringLiteral("xl/styles.xml");
  const auto bytes = pkg.part(name);
  QList<bool> out;
  if (!bytes) return out;
  QHash<int, bool> custom;
  bool inCellXfs = false;
  Xml x(*bytes, name);
  while (x.next()) {
    if (x.name() == u"numFmt") {
      custom.insert(x.attr(u"numFmtId").toInt(), isDateFormatCode(x.attr(u"formatCode")));
    } else if (x.name() == u"cellXfs") {
      inCellXfs = true;
    } else if (x.name() == u"cellStyleXfs" || x.name() == u"dxfs") {
      inCellXfs = false;
    } else if (x.name() == u"xf" && inCellXfs) {
      const int id = x.attr(u"numFmtId").toInt();
      // The built-in formats that show dates.
      const bool builtIn = (id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
      out << custom.value(id, builtIn);
    }
  }
  return out;
}

// ----------------------------------------------------------------- sheet

// "B12" to column 1 and row 12; nullopt for anything else.
std::optional<std::pair<int, int>> parseRef(const QString& ref) {
  qsizetype i = 0;
  qint64 col = 0;
  while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 128) {
    col = col * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
    if (col > kMaxColumns) return std::nullopt;
    ++i;
  }
  if (i == 0 || i == ref.size()) return std::nullopt;
  bool ok = false;
  const int row = ref.mid(i).toInt(&ok);
  if (!ok || row < 1 || row > kMaxRows || !ref[i].isDigit()) return std::nullopt;
  return std::make_pair(static_cast<int>(col - 1), row);
}

QString numberText(double v) {
  if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return QString::number(static_cast<qint64>(v));
  return QLocale::c().toString(v, 'g', 15);
}

// A date serial as the spreadsheet shows it. The 1900 system counts the
// day 1900-02-29 that never was, so serials before it are one day earlier.
// A serial no calendar holds (negative, past 9999) stays a number, for the
// roster's own check to refuse on its line.
QString serialDate(double v, bool date1904) {
  if (!std::isfinite(v) || v < 0 || v > 2958465) return numberText(v);  // 9999-12-31
  const qint64 days = static_cast<qint64>(std::floor(v));
  QDate d;
  if (date1904) d = QDate(1904, 1, 1).addDays(days);
  else if (days >= 61) d = QDate(1899, 12, 30).addDays(days);
  else d = QDate(1899, 12, 31).addDays(days);
  return d.toString(Qt::ISODate);
}

struct SparseRow {
  int row = 0;
  QMap<int, QString> cells;
};

QString cellName(int col, int row) {
  QString letters;
  for (int c = col + 1; c > 0; c = (c - 1) / 26) letters.prepend(QChar('A' + (c - 1) % 26));
  return letters + QString::number(row);
}

struct SheetContext {
  const QStringList& strings;
  const QList<bool>& dates;
  bool date1904;
};

// One <c> element: its column and the text it shows, or nothing when it
// holds no value. `nextCol` is where a cell without a reference goes.
std::optional<std::pair<int, QString>> readCell(Xml& x, const SheetContext& ctx, int rowNo, int& nextCol) {
  int col = nextCol;
  if (x.hasAttr(u"r")) {
    const auto ref = parseRef(x.attr(u"r"));
    if (!ref || ref->second != rowNo)
      refuse(QStringLiteral("the sheet has a cell reference \"%1\" that is not in row %2").arg(x.attr(u"r")).arg(rowNo),
             rowNo);
    col = ref->first;
  }
  if (col >= kMaxColumns) refuse(QStringLiteral("row %1 has more than %2 columns").arg(rowNo).arg(kMaxColumns), rowNo);
  nextCol = col + 1;
  const QString name = cellName(col, rowNo);
  const QString type = x.attr(u"t");
  const int style = x.attr(u"s").toInt();
  // The value: <v> for most types, <is> for an inline string; a formula's
  // <f> is passed over, its stored result kept.
  QString raw;
  bool haveValue = false;
  while (x.nextChild()) {
    if (x.name() == u"v") {
      raw = x.elementText();
      haveValue = true;
    } else if (x.name() == u"is") {
      raw = x.textRuns();
      haveValue = true;
    } else {
      x.skip();
    }
  }
  if (!haveValue) return std::nullopt;
  QString text;
  if (type == "s") {
    bool ok = false;
    const int i = raw.trimmed().toInt(&ok);
    if (!ok || i < 0 || i >= ctx.strings.size())
      refuse(QStringLiteral("cell %1 refers to shared text %2, which the workbook does not hold").arg(name, raw.trimmed()),
             rowNo);
    text = ctx.strings[i];
  } else if (type == "inlineStr" || type == "str" || type == "e") {
    text = raw;
  } else if (type == "b") {
    text = raw.trimmed() == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
  } else if (type == "d") {
    text = raw.trimmed().left(10);  // ISO 8601; the date part is what a roster holds
  } else {
    bool ok = false;
    const double v = raw.trimmed().toDouble(&ok);
    if (!ok) refuse(QStringLiteral("cell %1 holds \"%2\", which is not a number").arg(name, raw.left(40)), rowNo);
    const bool date = style >= 0 && style < ctx.dates.size() && ctx.dates[style];
    text = date ? serialDate(v, ctx.date1904) : numberText(v);
  }
  if (text.isEmpty()) return std::nullopt;
  return std::make_pair(col, text);
}

CsvTable readSheet(const QByteArray& bytes, const QString& part, const SheetContext& ctx) {
  Xml x(bytes, part);
  QList<SparseRow> rows;
  int rowNo = 0, width = 0;
  // Rows are the children of sheetData and cells the children of a row;
  // whatever else a sheet holds (merged cells, links, extensions) is not read.
  bool found = false;
  while (!found && x.next()) found = x.name() == u"sheetData";
  while (found && x.nextChild()) {
    if (x.name() != u"row") {
      x.skip();
      continue;
    }
    if (x.hasAttr(u"r")) {
      bool ok = false;
      const int r = x.attr(u"r").toInt(&ok);
      if (!ok || r < 1 || r > kMaxRows || r <= rowNo)
        refuse(QStringLiteral("the sheet has a row numbered \"%1\" out of order").arg(x.attr(u"r")), rowNo);
      rowNo = r;
    } else if (++rowNo > kMaxRows) {
      refuse(QStringLiteral("the sheet has more than %1 rows").arg(kMaxRows), rowNo);
    }
    rows << SparseRow{rowNo, {}};
    int nextCol = 0;
    while (x.nextChild()) {
      if (x.name() != u"c") {
        x.skip();
        continue;
      }
      if (const auto cell = readCell(x, ctx, rowNo, nextCol)) {
        rows.last().cells.insert(cell->first, cell->second);
        width = std::max(width, cell->first + 1);
      }
    }
  }

  CsvTable table;
  qint64 kept = 0;
  for (const SparseRow& r : rows)
    if (!r.cells.isEmpty()) ++kept;
  if (kept * width > kMaxCells)
    refuse(QStringLiteral("the sheet is too large: %1 rows by %2 columns").arg(kept).arg(width));
  for (const SparseRow& r : rows) {
    if (r.cells.isEmpty()) continue;
    CsvRecord rec;
    rec.line = r.row;
    rec.fields.resize(width);
    for (auto it = r.cells.cbegin(); it != r.cells.cend(); ++it) rec.fields[it.key()] = it.value();
    table.records << std::move(rec);
  }
  return table;
}

}  // namespace

bool looksLikeZip(const QByteArray& data) { return data.startsWith(QByteArrayLiteral("PK\x03\x04")); }

CsvTable readXlsx(const QByteArray& data) {
  try {
    if (!looksLikeZip(data)) refuse(QStringLiteral("the file is not an Excel workbook (.xlsx)"));
    Package pkg(data);
    const SheetRef sheet = firstSheet(pkg);
    const QStringList strings = sharedStrings(pkg);
    const QList<bool> dates = dateStyles(pkg);
    return readSheet(pkg.requiredPart(sheet.part), sheet.part, SheetContext{strings, dates, sheet.date1904});
  } catch (const Refusal& r) {
    CsvTable t;
    t.error = r.reason;
    t.errorLine = r.row;
    return t;
  }
}

}  // namespace quillon
