#include "report.h"

#include <QDate>
#include <QDir>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextStream>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <sqlite3.h>

#include "dbfile.h"

namespace quillon {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

int fieldIndex(const QString& field) {
  return static_cast<int>(infoFieldNames().indexOf(field.trimmed().toUpper()));
}

QString cell(const ReportRow& row, int index) { return index >= 0 && index < row.size() ? row[index] : QString(); }

// A value ready to compare: numbers and dates parsed once, text folded.
struct SortValue {
  bool valid = false;  // parsed as its kind; blanks and junk sort lowest
  double number = 0;
  QString text;
};

QDate parseDate(const QString& s) {
  const QString t = s.trimmed();
  for (const char* fmt : {"MM/dd/yyyy", "M/d/yyyy", "yyyy-MM-dd"}) {
    const QDate d = QDate::fromString(t, QString::fromLatin1(fmt));
    if (d.isValid()) return d;
  }
  return QDate();
}

SortValue sortValue(FieldKind kind, const QString& raw) {
  SortValue v;
  const QString t = raw.trimmed();
  v.text = t.toCaseFolded();
  switch (kind) {
    case FieldKind::Number: {
      bool ok = false;
      v.number = t.toDouble(&ok);
      v.valid = ok && std::isfinite(v.number);
      break;
    }
    case FieldKind::Date: {
      const QDate d = parseDate(t);
      v.valid = d.isValid();
      v.number = v.valid ? static_cast<double>(d.toJulianDay()) : 0;
      break;
    }
    case FieldKind::Text:
      v.valid = true;
      break;
  }
  return v;
}

int compareValues(FieldKind kind, const SortValue& a, const SortValue& b) {
  if (a.valid != b.valid) return a.valid ? 1 : -1;
  if (kind != FieldKind::Text && a.valid) {
    if (a.number != b.number) return a.number < b.number ? -1 : 1;
    return 0;
  }
  return a.text.compare(b.text);
}

// Where each column's fields sit in a row, worked out once per report.
struct ColumnFields {
  int first = -1, second = -1;
};
std::vector<ColumnFields> columnFields(const ReportLayout& L) {
  std::vector<ColumnFields> out;
  for (const ReportColumn& c : L.columns) out.push_back({fieldIndex(c.fields.value(0)), fieldIndex(c.fields.value(1))});
  return out;
}

QString formatCell(const ReportRow& row, const ReportColumn& c, const ColumnFields& at) {
  if (c.format == QLatin1String("time")) {
    const QString m = cell(row, at.first).trimmed();
    const QString s = cell(row, at.second).trimmed();
    if (m.isEmpty() && s.isEmpty()) return QString();
    return m + QLatin1Char(':') + s.rightJustified(2, QLatin1Char('0'));
  }
  const QString v = cell(row, at.first);
  if (c.format == QLatin1String("ssn")) {
    const QString t = v.trimmed();
    static const QRegularExpression nine(QStringLiteral("^\\d{9}$"));
    if (nine.match(t).hasMatch()) return t.left(3) + QLatin1Char('-') + t.mid(3, 2) + QLatin1Char('-') + t.mid(5);
    return t;
  }
  return v.trimmed();
}

// Splits "a ; b ; c" into trimmed parts.
QStringList parts(const QString& value) {
  QStringList out;
  for (const QString& p : value.split(QLatin1Char(';'))) out << p.trimmed();
  return out;
}

Condition parseCondition(const QString& text, const QString& where) {
  static const QRegularExpression re(QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*(==|!=)\\s*(.*?)\\s*$"));
  const auto m = re.match(text);
  if (!m.hasMatch()) throw ReportError(where + QStringLiteral(": \"%1\" is not a condition (write FIELD == value or FIELD != value).").arg(text));
  Condition c;
  c.field = m.captured(1).toUpper();
  if (fieldIndex(c.field) < 0) throw ReportError(where + QStringLiteral(": %1 is no field of table info.").arg(m.captured(1)));
  c.equal = m.captured(2) == QLatin1String("==");
  QString v = m.captured(3);
  if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"'))) v = v.mid(1, v.size() - 2);
  c.value = v.trimmed();
  return c;
}

// ---- Page layout: the lines of a report, then pages of lines ----

struct Line {
  enum class Type { Heading, Group, Row, Total, Text, Chart } type;
  int row = -1;        // index into PreparedReport::rows for Row
  QString text;        // for Group, Total, Text
};

std::vector<Line> reportLines(const PreparedReport& r) {
  std::vector<Line> lines;
  const ReportLayout& L = r.layout;
  if (r.rows.empty()) {
    lines.push_back({Line::Type::Text, -1, L.emptyText});
    return lines;
  }
  if (L.kind == ReportLayout::Kind::Chart) {
    lines.push_back({Line::Type::Chart, -1, QString()});
    return lines;
  }
  const int g = L.group.isEmpty() ? -1 : fieldIndex(L.group);
  // Dates written differently (1/5/2026, 01/05/2026) are one group.
  const bool dates = g >= 0 && fieldKind(L.group) == FieldKind::Date;
  auto groupValue = [&](const ReportRow& row) {
    const QString v = row[g].trimmed();
    const QDate d = dates ? parseDate(v) : QDate();
    return d.isValid() ? d.toString(QStringLiteral("MM/dd/yyyy")) : v;
  };
  QString current;
  bool first = true;
  for (int i = 0; i < static_cast<int>(r.rows.size()); ++i) {
    if (g >= 0) {
      const QString v = groupValue(r.rows[i]);
      if (first || v != current) {
        int n = 0;
        for (int j = i; j < static_cast<int>(r.rows.size()) && groupValue(r.rows[j]) == v; ++j) ++n;
        const QString shown = v.isEmpty() ? QStringLiteral("not recorded") : v;
        lines.push_back({Line::Type::Group, -1,
                         QStringLiteral("%1 %2   (%3 %4)").arg(L.groupHeading, shown).arg(n).arg(n == 1 ? "record" : "records")});
        current = v;
      }
    }
    first = false;
    lines.push_back({Line::Type::Row, i, QString()});
  }
  const int n = static_cast<int>(r.rows.size());
  lines.push_back({Line::Type::Total, -1, QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "record" : "records")});
  return lines;
}

struct ChartBar {
  QString label;
  QColor color;
  int count = 0;
};

std::vector<ChartBar> chartBars(const PreparedReport& r) {
  static const QColor palette[] = {QColor(0x2e, 0x7d, 0x32), QColor(0xc6, 0x28, 0x28), QColor(0x75, 0x75, 0x75),
                                   QColor(0x15, 0x65, 0xc0), QColor(0xef, 0x6c, 0x00)};
  std::vector<ChartBar> bars;
  for (int i = 0; i < r.layout.categories.size(); ++i)
    bars.push_back({r.layout.categories[i].label, palette[i % 5], 0});
  for (const ReportRow& row : r.rows) {
    for (int i = 0; i < r.layout.categories.size(); ++i) {
      const ChartCategory& c = r.layout.categories[i];
      if (c.other || c.condition.matches(row)) {
        ++bars[i].count;
        break;
      }
    }
  }
  return bars;
}

QString percent(int count, int total) {
  return total > 0 ? QString::number(100.0 * count / total, 'f', 1) + QLatin1Char('%') : QStringLiteral("0.0%");
}

// Fonts and sizes of one rendering, in device pixels.
struct Metrics {
  QFont body, bold, title, small;
  double line = 0, titleHeight = 0, smallHeight = 0, headerHeight = 0;
  Metrics(const ReportLayout& L, QPaintDevice* dev) {
    body = QFont(QStringLiteral("Sans Serif"));
    body.setPointSizeF(L.fontPt);
    // Plain glyphs: no ligatures, so the printed text copies and searches as typed.
    body.setStyleStrategy(QFont::PreferNoShaping);
    bold = body;
    bold.setBold(true);
    title = body;
    title.setPointSizeF(L.fontPt * 1.7);
    title.setBold(true);
    small = body;
    small.setPointSizeF(std::max(6.0, L.fontPt * 0.85));
    line = QFontMetricsF(body, dev).height() * 1.35;
    titleHeight = QFontMetricsF(title, dev).height() * 1.2;
    smallHeight = QFontMetricsF(small, dev).height() * 1.3;
    headerHeight = titleHeight + smallHeight + line * 0.4;
  }
};

void paintPageHeader(QPainter& p, const Metrics& m, double width, const QString& title, const QString& printed, int page,
                     int pages) {
  p.setPen(Qt::black);
  p.setFont(m.title);
  p.drawText(QRectF(0, 0, width, m.titleHeight), Qt::AlignHCenter | Qt::AlignVCenter, title);
  p.setFont(m.small);
  const QRectF info(0, m.titleHeight, width, m.smallHeight);
  p.drawText(info, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Printed %1").arg(printed));
  p.drawText(info, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Page %1 of %2").arg(page).arg(pages));
  p.setPen(QPen(Qt::black, std::max(1.0, m.line / 12)));
  p.drawLine(QPointF(0, m.headerHeight - m.line * 0.2), QPointF(width, m.headerHeight - m.line * 0.2));
}

std::vector<double> columnLefts(const ReportLayout& L, double width) {
  double sum = 0;
  for (const ReportColumn& c : L.columns) sum += c.width;
  std::vector<double> x;
  double at = 0;
  for (const ReportColumn& c : L.columns) {
    x.push_back(at);
    at += sum > 0 ? width * c.width / sum : 0;
  }
  x.push_back(width);
  return x;
}

// A left-aligned column right after a right-aligned one gets more room on
// its left, so "300 PASS" does not read as one value.
QRectF cellBox(const ReportLayout& L, const std::vector<double>& x, int i, double y, double h, double pad) {
  const bool after = i > 0 && L.columns[i - 1].align == Qt::AlignRight && L.columns[i].align == Qt::AlignLeft;
  const double left = after ? pad * 4 : pad;
  return QRectF(x[i] + left, y, x[i + 1] - x[i] - left - pad, h);
}

void paintColumnHeadings(QPainter& p, const Metrics& m, const ReportLayout& L, const std::vector<double>& x, double y) {
  p.setFont(m.bold);
  p.setPen(Qt::black);
  const double pad = m.line * 0.15;
  for (int i = 0; i < L.columns.size(); ++i) {
    const QRectF r = cellBox(L, x, i, y, m.line, pad);
    p.drawText(r, int(L.columns[i].align) | Qt::AlignVCenter,
               QFontMetricsF(m.bold, p.device()).elidedText(L.columns[i].heading, Qt::ElideRight, r.width()));
  }
  p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
  p.drawLine(QPointF(0, y + m.line), QPointF(x.back(), y + m.line));
}

void paintChart(QPainter& p, const Metrics& m, const PreparedReport& r, double width, double top, double height) {
  const std::vector<ChartBar> bars = chartBars(r);
  const int total = static_cast<int>(r.rows.size());
  // The counts as a small table first.
  const double tableW = std::min(width, m.line * 24);
  const double x0 = (width - tableW) / 2;
  double y = top + m.line * 0.5;
  p.setFont(m.bold);
  p.setPen(Qt::black);
  const double c1 = x0, c2 = x0 + tableW * 0.55, c3 = x0 + tableW * 0.78;
  p.drawText(QRectF(c1, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Status"));
  p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Count"));
  p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Percent"));
  y += m.line;
  p.setFont(m.body);
  for (const ChartBar& b : bars) {
    p.fillRect(QRectF(c1, y + m.line * 0.3, m.line * 0.4, m.line * 0.4), b.color);
    p.drawText(QRectF(c1 + m.line * 0.6, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, b.label);
    p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QString::number(b.count));
    p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, percent(b.count, total));
    y += m.line;
  }
  p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
  p.drawLine(QPointF(x0, y), QPointF(x0 + tableW, y));
  p.setPen(Qt::black);
  p.setFont(m.bold);
  p.drawText(QRectF(c1, y, c2 - c1, m.line), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("All records"));
  p.drawText(QRectF(c2, y, c3 - c2, m.line), Qt::AlignRight | Qt::AlignVCenter, QString::number(total));
  p.drawText(QRectF(c3, y, x0 + tableW - c3, m.line), Qt::AlignRight | Qt::AlignVCenter, percent(total, total));
  y += m.line * 2;

  // Then the bars, scaled to the largest count.
  const double chartTop = y + m.line;
  const double chartBottom = top + height - m.line * 3;
  if (chartBottom - chartTop < m.line * 4 || bars.empty()) return;
  int most = 1;
  for (const ChartBar& b : bars) most = std::max(most, b.count);
  const double axisX = width * 0.1, axisW = width * 0.8;
  const double slot = axisW / bars.size();
  const double barW = slot * 0.55;
  const double span = chartBottom - chartTop;
  p.setPen(QPen(Qt::black, std::max(1.0, m.line / 14)));
  p.drawLine(QPointF(axisX, chartBottom), QPointF(axisX + axisW, chartBottom));
  p.drawLine(QPointF(axisX, chartTop), QPointF(axisX, chartBottom));
  for (size_t i = 0; i < bars.size(); ++i) {
    const ChartBar& b = bars[i];
    const double h = span * b.count / most;
    const double bx = axisX + slot * i + (slot - barW) / 2;
    p.fillRect(QRectF(bx, chartBottom - h, barW, h), b.color);
    p.setPen(Qt::black);
    p.setFont(m.bold);
    p.drawText(QRectF(bx - slot * 0.2, chartBottom - h - m.line * 1.1, barW + slot * 0.4, m.line),
               Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("%1 (%2)").arg(b.count).arg(percent(b.count, total)));
    p.setFont(m.body);
    p.drawText(QRectF(axisX + slot * i, chartBottom + m.line * 0.2, slot, m.line), Qt::AlignHCenter | Qt::AlignTop, b.label);
  }
}

}  // namespace

FieldKind fieldKind(const QString& field) {
  const QString f = field.trimmed().toUpper();
  static const QStringList numbers = {"ID", "RAW_PU", "RAW_SU", "RUN_M", "RUN_S", "C_PU", "C_SU", "C_RUN", "TOTAL"};
  if (numbers.contains(f)) return FieldKind::Number;
  if (f == QLatin1String("DOB") || f == QLatin1String("DOT")) return FieldKind::Date;
  return FieldKind::Text;
}

SortKey parseSortKey(const QString& text) {
  static const QRegularExpression re(
      QStringLiteral("^\\s*([+-])\\{\\s*([A-Za-z_][A-Za-z0-9_]*)\\.([A-Za-z_][A-Za-z0-9_]*)\\s*\\}\\s*$"));
  const auto m = re.match(text);
  if (!m.hasMatch())
    throw ReportError(QStringLiteral("The sort key \"%1\" is not valid: it must be a plus or minus sign followed by "
                                     "a field in braces, for example +{info.LNAME}.")
                          .arg(text));
  if (m.captured(2).compare(QLatin1String("info"), Qt::CaseInsensitive) != 0 || fieldIndex(m.captured(3)) < 0)
    throw ReportError(QStringLiteral("The sort key \"%1\" names no field of table info.").arg(text));
  return SortKey{m.captured(3).toUpper(), m.captured(1) == QLatin1String("-")};
}

bool Condition::matches(const QStringList& row) const {
  const bool same = cell(row, fieldIndex(field)).trimmed() == value;
  return equal ? same : !same;
}

ReportLayout readReportFile(const QString& path) {
  QFile f(path);
  const QFileInfo fi(path);
  if (fi.isDir())
    throw ReportError(QStringLiteral("The report file %1 cannot be opened: it is a folder, not a file.").arg(native(path)));
  if (!fi.isFile())
    throw ReportError(QStringLiteral("The report file %1 cannot be opened: it does not exist.").arg(native(path)));
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
    throw ReportError(QStringLiteral("The report file %1 cannot be opened: %2.").arg(native(path), f.errorString()));

  ReportLayout L;
  L.sourceFile = path;
  QTextStream in(&f);
  int lineNo = 0;
  bool titled = false;
  while (!in.atEnd()) {
    const QString raw = in.readLine();
    ++lineNo;
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QString where = QStringLiteral("Report file %1, line %2").arg(native(path)).arg(lineNo);
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) throw ReportError(where + QStringLiteral(": expected \"name = value\"."));
    const QString key = line.left(eq).trimmed().toLower();
    const QString value = line.mid(eq + 1).trimmed();
    bool ok = true;
    if (key == QLatin1String("title")) {
      L.title = value;
      titled = true;
    } else if (key == QLatin1String("kind")) {
      if (value.compare(QLatin1String("list"), Qt::CaseInsensitive) == 0)
        L.kind = ReportLayout::Kind::List;
      else if (value.compare(QLatin1String("chart"), Qt::CaseInsensitive) == 0)
        L.kind = ReportLayout::Kind::Chart;
      else
        throw ReportError(where + QStringLiteral(": kind must be list or chart."));
    } else if (key == QLatin1String("select")) {
      if (value.compare(QLatin1String("all"), Qt::CaseInsensitive) != 0) L.select << parseCondition(value, where);
    } else if (key == QLatin1String("group")) {
      if (!value.isEmpty() && fieldIndex(value) < 0)
        throw ReportError(where + QStringLiteral(": %1 is no field of table info.").arg(value));
      L.group = value.toUpper();
    } else if (key == QLatin1String("group heading")) {
      L.groupHeading = value;
    } else if (key == QLatin1String("sort")) {
      L.sort.clear();
      for (const QString& k : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        try {
          L.sort << parseSortKey(k);
        } catch (const ReportError& e) {
          throw ReportError(where + QStringLiteral(": ") + e.message());
        }
      }
    } else if (key == QLatin1String("column")) {
      const QStringList p = parts(value);
      ReportColumn c;
      for (const QString& fld : p.value(0).split(QLatin1Char(':'))) {
        if (fieldIndex(fld) < 0)
          throw ReportError(where + QStringLiteral(": %1 is no field of table info.").arg(fld.trimmed()));
        c.fields << fld.trimmed().toUpper();
      }
      c.heading = p.value(1, c.fields.join(QLatin1Char(':')));
      if (p.size() > 2 && !p[2].isEmpty()) {
        c.width = p[2].toDouble(&ok);
        if (!ok || c.width <= 0) throw ReportError(where + QStringLiteral(": the width \"%1\" is not a positive number.").arg(p[2]));
      }
      c.format = p.value(3).toLower();
      if (c.format.isEmpty()) c.format = fieldKind(c.fields[0]) == FieldKind::Number ? QStringLiteral("number") : QStringLiteral("text");
      static const QStringList formats = {"text", "number", "ssn", "time", "date"};
      if (!formats.contains(c.format))
        throw ReportError(where + QStringLiteral(": the format \"%1\" is not one of text, number, date, ssn, time.").arg(c.format));
      if ((c.format == QLatin1String("time")) != (c.fields.size() == 2))
        throw ReportError(where + QStringLiteral(": a time column takes two fields (minutes:seconds), other columns one."));
      c.align = (c.format == QLatin1String("number") || c.format == QLatin1String("time")) ? Qt::AlignRight : Qt::AlignLeft;
      L.columns << c;
    } else if (key == QLatin1String("category")) {
      const QStringList p = parts(value);
      ChartCategory c;
      c.label = p.value(0);
      if (p.value(1).compare(QLatin1String("other"), Qt::CaseInsensitive) == 0)
        c.other = true;
      else
        c.condition = parseCondition(p.value(1), where);
      L.categories << c;
    } else if (key == QLatin1String("empty")) {
      L.emptyText = value;
    } else if (key == QLatin1String("paper")) {
      static const QHash<QString, QPageSize::PageSizeId> papers = {
          {"letter", QPageSize::Letter}, {"legal", QPageSize::Legal}, {"a4", QPageSize::A4}};
      if (!papers.contains(value.toLower())) throw ReportError(where + QStringLiteral(": paper must be Letter, Legal or A4."));
      L.paper = papers.value(value.toLower());
    } else if (key == QLatin1String("orientation")) {
      if (value.compare(QLatin1String("portrait"), Qt::CaseInsensitive) == 0)
        L.orientation = QPageLayout::Portrait;
      else if (value.compare(QLatin1String("landscape"), Qt::CaseInsensitive) == 0)
        L.orientation = QPageLayout::Landscape;
      else
        throw ReportError(where + QStringLiteral(": orientation must be portrait or landscape."));
    } else if (key == QLatin1String("margin")) {
      L.marginMm = value.toDouble(&ok);
      if (!ok || L.marginMm < 0 || L.marginMm > 60) throw ReportError(where + QStringLiteral(": margin must be 0 to 60 (mm)."));
    } else if (key == QLatin1String("font")) {
      L.fontPt = value.toDouble(&ok);
      if (!ok || L.fontPt < 5 || L.fontPt > 24) throw ReportError(where + QStringLiteral(": font must be 5 to 24 (points)."));
    } else {
      throw ReportError(where + QStringLiteral(": unknown setting \"%1\".").arg(line.left(eq).trimmed()));
    }
  }
  if (in.status() != QTextStream::Ok || f.error() != QFile::NoError)
    throw ReportError(QStringLiteral("The report file %1 cannot be read: %2.").arg(native(path), f.errorString()));
  if (!titled) throw ReportError(QStringLiteral("The report file %1 has no title.").arg(native(path)));
  if (L.kind == ReportLayout::Kind::List && L.columns.isEmpty())
    throw ReportError(QStringLiteral("The report file %1 has no columns.").arg(native(path)));
  if (L.kind == ReportLayout::Kind::Chart && L.categories.isEmpty())
    throw ReportError(QStringLiteral("The report file %1 has no categories.").arg(native(path)));
  return L;
}

std::vector<ReportRow> readInfoRows(const QString& dbPath) {
  const QString shown = native(dbPath);
  if (!QFileInfo(dbPath).isFile())
    throw ReportError(QStringLiteral("The database %1 cannot be read: it does not exist.").arg(shown));
  sqlite3* db = nullptr;
  const QByteArray name = QFile::encodeName(dbPath);
  int rc = sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  auto fail = [&](const QString& what) {
    const QString msg = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    return ReportError(QStringLiteral("The database %1 cannot be read (%2): %3.").arg(shown, what, msg));
  };
  if (rc != SQLITE_OK) throw fail(QStringLiteral("open"));
  sqlite3_busy_timeout(db, 3000);
  const QByteArray sql = ("SELECT " + infoFieldNames().join(", ") + " FROM info").toUtf8();
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) throw fail(QStringLiteral("query"));
  std::vector<ReportRow> rows;
  const int n = static_cast<int>(infoFieldNames().size());
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ReportRow row;
    row.reserve(n);
    for (int i = 0; i < n; ++i) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      row << (t ? QString::fromUtf8(t, sqlite3_column_bytes(st, i)) : QString());
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw fail(QStringLiteral("read"));
  sqlite3_close(db);
  return rows;
}

PreparedReport prepareReport(const ReportLayout& layout, std::vector<ReportRow> rows, const QList<SortKey>& keys) {
  PreparedReport r;
  r.layout = layout;
  r.keys = keys;
  for (ReportRow& row : rows) {
    bool keep = true;
    for (const Condition& c : layout.select) keep = keep && c.matches(row);
    if (keep) r.rows.push_back(std::move(row));
  }

  // Grouping orders the groups first; the keys order the rows within them;
  // the ID keeps equal rows in the order they were entered.
  QList<SortKey> order;
  if (!layout.group.isEmpty()) order << SortKey{layout.group, false};
  order << keys << SortKey{QStringLiteral("ID"), false};

  struct Keyed {
    std::vector<SortValue> values;
    size_t index;
  };
  std::vector<Keyed> keyed(r.rows.size());
  std::vector<int> cols;
  std::vector<FieldKind> kinds;
  for (const SortKey& k : order) {
    cols.push_back(fieldIndex(k.field));
    kinds.push_back(fieldKind(k.field));
  }
  for (size_t i = 0; i < r.rows.size(); ++i) {
    keyed[i].index = i;
    for (size_t k = 0; k < cols.size(); ++k) keyed[i].values.push_back(sortValue(kinds[k], cell(r.rows[i], cols[k])));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    for (size_t k = 0; k < cols.size(); ++k) {
      int c = compareValues(kinds[k], a.values[k], b.values[k]);
      if (order[static_cast<int>(k)].descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
  std::vector<ReportRow> sorted;
  sorted.reserve(r.rows.size());
  for (const Keyed& k : keyed) sorted.push_back(std::move(r.rows[k.index]));
  r.rows = std::move(sorted);
  return r;
}

QStringList reportText(const PreparedReport& r) {
  QStringList out;
  out << r.layout.title;
  if (!r.rows.empty() && r.layout.kind == ReportLayout::Kind::Chart) {
    const int total = static_cast<int>(r.rows.size());
    for (const ChartBar& b : chartBars(r))
      out << QStringLiteral("%1\t%2\t%3").arg(b.label).arg(b.count).arg(percent(b.count, total));
    out << QStringLiteral("All records\t%1\t%2").arg(total).arg(percent(total, total));
    return out;
  }
  if (!r.rows.empty()) {
    QStringList h;
    for (const ReportColumn& c : r.layout.columns) h << c.heading;
    out << h.join(QLatin1Char('\t'));
  }
  const std::vector<ColumnFields> at = columnFields(r.layout);
  for (const Line& l : reportLines(r)) {
    if (l.type == Line::Type::Row) {
      QStringList cells;
      for (int c = 0; c < r.layout.columns.size(); ++c) cells << formatCell(r.rows[l.row], r.layout.columns[c], at[c]);
      out << cells.join(QLatin1Char('\t'));
    } else {
      out << l.text;
    }
  }
  return out;
}

void paintReport(const PreparedReport& r, QPagedPaintDevice* device, const QString& printed) {
  QPainter p;
  if (!p.begin(device)) throw ReportError(QStringLiteral("The report \"%1\" cannot be printed: the output could not be started.").arg(r.layout.title));
  p.setRenderHint(QPainter::Antialiasing);
  const Metrics m(r.layout, device);
  const double width = device->width();
  const double height = device->height();
  const std::vector<Line> lines = reportLines(r);
  const bool chart = !r.rows.empty() && r.layout.kind == ReportLayout::Kind::Chart;
  const bool headings = !r.rows.empty() && !chart;

  // Pages: as many lines as fit below the page header (and column headings).
  const double bodyTop = m.headerHeight + (headings ? m.line * 1.2 : 0);
  const int perPage = std::max(1, static_cast<int>((height - bodyTop) / m.line));
  std::vector<std::pair<size_t, size_t>> pages;
  for (size_t i = 0; i < lines.size();) {
    size_t end = std::min(lines.size(), i + static_cast<size_t>(perPage));
    // A group heading never ends a page.
    if (end < lines.size() && end - i > 1 && lines[end - 1].type == Line::Type::Group) --end;
    pages.emplace_back(i, end);
    i = end;
  }
  if (pages.empty()) pages.emplace_back(0, 0);

  const std::vector<double> x = columnLefts(r.layout, width);
  const double pad = m.line * 0.15;
  const QFontMetricsF fmBody(m.body, device);
  const std::vector<ColumnFields> at = columnFields(r.layout);
  for (size_t pg = 0; pg < pages.size(); ++pg) {
    if (pg > 0) device->newPage();
    paintPageHeader(p, m, width, r.layout.title, printed, static_cast<int>(pg + 1), static_cast<int>(pages.size()));
    if (headings) paintColumnHeadings(p, m, r.layout, x, m.headerHeight);
    double y = bodyTop;
    for (size_t i = pages[pg].first; i < pages[pg].second; ++i) {
      const Line& l = lines[i];
      switch (l.type) {
        case Line::Type::Row: {
          if (l.row % 2 == 1) p.fillRect(QRectF(0, y, width, m.line), QColor(0xf0, 0xf0, 0xf0));
          p.setPen(Qt::black);
          p.setFont(m.body);
          for (int c = 0; c < r.layout.columns.size(); ++c) {
            const QRectF box = cellBox(r.layout, x, c, y, m.line, pad);
            p.drawText(box, int(r.layout.columns[c].align) | Qt::AlignVCenter,
                       fmBody.elidedText(formatCell(r.rows[l.row], r.layout.columns[c], at[c]), Qt::ElideRight, box.width()));
          }
          break;
        }
        case Line::Type::Group:
          p.setPen(Qt::black);
          p.setFont(m.bold);
          p.drawText(QRectF(pad, y, width, m.line), Qt::AlignLeft | Qt::AlignBottom, l.text);
          break;
        case Line::Type::Total:
          p.setPen(QPen(Qt::gray, std::max(1.0, m.line / 20)));
          p.drawLine(QPointF(0, y), QPointF(width, y));
          p.setPen(Qt::black);
          p.setFont(m.bold);
          p.drawText(QRectF(pad, y, width - 2 * pad, m.line), Qt::AlignLeft | Qt::AlignVCenter, l.text);
          break;
        case Line::Type::Text:
          p.setPen(Qt::black);
          p.setFont(m.body);
          p.drawText(QRectF(0, y + m.line, width, m.line * 2), Qt::AlignHCenter | Qt::AlignTop, l.text);
          break;
        case Line::Type::Chart:
          paintChart(p, m, r, width, y, height - y);
          break;
        case Line::Type::Heading:
          break;
      }
      y += m.line;
    }
  }
  p.end();
}

void writeReportPdf(const PreparedReport& r, const QString& pdfPath, const QString& printed) {
  {
    // The PDF writer only says that it failed; this says why.
    QFile probe(pdfPath);
    if (!probe.open(QIODevice::WriteOnly))
      throw ReportError(QStringLiteral("The report cannot be saved as %1: %2.").arg(native(pdfPath), probe.errorString()));
  }
  QPdfWriter pdf(pdfPath);
  pdf.setTitle(r.layout.title);
  pdf.setCreator(QStringLiteral("Quillon"));
  pdf.setResolution(600);
  pdf.setPageLayout(QPageLayout(QPageSize(r.layout.paper), r.layout.orientation,
                                QMarginsF(r.layout.marginMm, r.layout.marginMm, r.layout.marginMm, r.layout.marginMm),
                                QPageLayout::Millimeter));
  paintReport(r, &pdf, printed);
}

// ---- Report objects ----

void ReportObject::setReportFileName(const QString& path) {
  reportFile_ = path;
  sortFields_.clear();
}

void ReportObject::setSortFields(int index, const QString& key) {
  if (index < 0) return;
  while (sortFields_.size() <= index) sortFields_ << QString();
  sortFields_[index] = key;
}

PreparedReport ReportObject::prepare() const {
  if (reportFile_.isEmpty()) throw ReportError(QStringLiteral("No report file was given to %1.").arg(name_));
  ReportLayout layout = readReportFile(reportFile_);
  // The keys set here come first; the report file's own keys then break ties
  // (a field already sorted on is not used twice), so the total report of
  // the shared layout still lists equal totals by name.
  QList<SortKey> keys;
  for (const QString& text : sortFields_)
    if (!text.isEmpty()) keys << parseSortKey(text);
  for (const SortKey& k : layout.sort) {
    const bool taken = std::any_of(keys.begin(), keys.end(), [&](const SortKey& s) { return s.field == k.field; });
    if (!taken) keys << k;
  }
  return prepareReport(layout, readInfoRows(QDir::current().filePath(QStringLiteral("info.mdb"))), keys);
}

void ReportObject::showError(const QString& message) {
  if (onError)
    onError(message);
  else
    QMessageBox::warning(previewParent_, QStringLiteral("Error"), message);
}

bool ReportObject::Action(int) {
  try {
    PreparedReport r = prepare();
    const QString printed = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
    if (!pdfPath_.isEmpty()) {
      writeReportPdf(r, pdfPath_, printed);
      if (!QFileInfo(pdfPath_).isFile() || QFileInfo(pdfPath_).size() == 0)
        throw ReportError(QStringLiteral("The report could not be written to %1.").arg(native(pdfPath_)));
    } else {
      QPrinter printer(QPrinter::HighResolution);
      printer.setDocName(r.layout.title);
      printer.setPageLayout(QPageLayout(QPageSize(r.layout.paper), r.layout.orientation,
                                        QMarginsF(r.layout.marginMm, r.layout.marginMm, r.layout.marginMm, r.layout.marginMm),
                                        QPageLayout::Millimeter));
      QPrintPreviewDialog preview(&printer, previewParent_);
      preview.setWindowTitle(r.layout.title);
      QString failure;
      QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* pr) {
        try {
          paintReport(r, pr, printed);
        } catch (const ReportError& e) {
          failure = e.message();
        }
      });
      // Saving a PDF directly, beside printing (whose dialog can also print to a file).
      if (auto* bar = preview.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* save = bar->addAction(QStringLiteral("Save as PDF..."));
        save->setObjectName(QStringLiteral("SavePdf"));
        QObject::connect(save, &QAction::triggered, &preview, [&] {
          QString path = QFileDialog::getSaveFileName(&preview, QStringLiteral("Save Report as PDF"),
                                                      QDir::current().filePath(r.layout.title + QStringLiteral(".pdf")),
                                                      QStringLiteral("PDF files (*.pdf)"));
          if (path.isEmpty()) return;
          if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
          try {
            writeReportPdf(r, path, printed);
          } catch (const ReportError& e) {
            showError(e.message());
          }
        });
      }
      preview.resize(900, 700);
      preview.exec();
      if (!failure.isEmpty()) throw ReportError(failure);
    }
    last_ = std::move(r);
    ++runs_;
    return true;
  } catch (const ReportError& e) {
    showError(e.message());
    return false;
  }
}

}  // namespace quillon
