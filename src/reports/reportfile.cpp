// Report files: reading a layout, its sort keys and its row tests, each
// fault named by file and line.

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>
#include <cmath>

#include "infofields.h"
#include "report.h"
#include "reportdetail.h"

namespace quillon {

using namespace detail;

namespace {

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


}  // namespace

ColumnKind fieldKind(const QString& field) {
  // A report may name a field the table does not have: text, as before.
  const InfoField* known = findInfoField(field.trimmed().toUpper());
  return known ? comparedAs(known->kind) : ColumnKind::Text;
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
    } else if (key.startsWith(QLatin1String("title for "))) {
      SortKey k;
      try {
        k = parseSortKey(line.left(eq).trimmed().mid(10));
      } catch (const ReportError& e) {
        throw ReportError(where + QStringLiteral(": ") + e.message());
      }
      if (value.isEmpty()) throw ReportError(where + QStringLiteral(": the title is empty."));
      L.titleForKey.append({k, value});
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
        // Written so that "nan" and "inf", which read as numbers, are refused too.
        if (!ok || !(c.width > 0 && std::isfinite(c.width))) throw ReportError(where + QStringLiteral(": the width \"%1\" is not a positive number.").arg(p[2]));
      }
      c.format = p.value(3).toLower();
      if (c.format.isEmpty()) c.format = fieldKind(c.fields[0]) == ColumnKind::Number ? QStringLiteral("number") : QStringLiteral("text");
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
      if (!ok || !(L.marginMm >= 0 && L.marginMm <= 60)) throw ReportError(where + QStringLiteral(": margin must be 0 to 60 (mm)."));
    } else if (key == QLatin1String("font")) {
      L.fontPt = value.toDouble(&ok);
      if (!ok || !(L.fontPt >= 5 && L.fontPt <= 24)) throw ReportError(where + QStringLiteral(": font must be 5 to 24 (points)."));
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

}  // namespace quillon
