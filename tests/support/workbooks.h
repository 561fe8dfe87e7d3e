#pragma once
// Excel workbooks made part by part, so a test states exactly which XML a
// reader meets (shared or inline strings, cells left out, date styles) and
// can damage the zip around it. Links minizip.

#include <zip.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryFile>

namespace quillon::test {

using Parts = QList<QPair<QString, QByteArray>>;

// The zip of the given parts, deflated, in the order given.
inline QByteArray zipParts(const Parts& parts) {
  QTemporaryFile tmp;
  if (!tmp.open()) return {};
  const QByteArray path = QFile::encodeName(tmp.fileName());
  tmp.close();
  zipFile zf = zipOpen64(path.constData(), APPEND_STATUS_CREATE);
  if (!zf) return {};
  for (const auto& [name, bytes] : parts) {
    zipOpenNewFileInZip64(zf, name.toUtf8().constData(), nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                          Z_DEFAULT_COMPRESSION, 0);
    zipWriteInFileInZip(zf, bytes.constData(), static_cast<unsigned>(bytes.size()));
    zipCloseFileInZip(zf);
  }
  zipClose(zf, nullptr);
  QFile f(tmp.fileName());
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray sheetXml(const QByteArray& sheetData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
         sheetData + "</sheetData></worksheet>";
}

inline QByteArray sharedStringsXml(const QByteArray& items) {
  return "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + items + "</sst>";
}

// Cell style 0 plain, style 1 the built-in date format 14, style 2 a custom
// "dd-mmm-yyyy", style 3 a custom number format with no date in it.
inline QByteArray stylesXml() {
  return "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"dd\\-mmm\\-yyyy\"/>"
         "<numFmt numFmtId=\"165\" formatCode=\"&quot;day &quot;0;[Red]0\"/></numFmts>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
         "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\" applyNumberFormat=\"1\"/>"
         "<xf numFmtId=\"164\"/><xf numFmtId=\"165\"/></cellXfs></styleSheet>";
}

// A workbook whose sheets are listed in `sheetsXml` (each <sheet> naming
// r:id rIdN) and resolved by `relsXml`; `extra` adds the other parts.
inline Parts workbookParts(const QByteArray& sheetsXml, const QByteArray& relsXml, const Parts& extra,
                           const QByteArray& workbookPr = {}) {
  Parts p;
  p << qMakePair(QStringLiteral("[Content_Types].xml"),
                 QByteArray("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"));
  p << qMakePair(QStringLiteral("xl/workbook.xml"),
                 "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
                     workbookPr + "<sheets>" + sheetsXml + "</sheets></workbook>");
  p << qMakePair(QStringLiteral("xl/_rels/workbook.xml.rels"),
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + relsXml +
                     "</Relationships>");
  p << extra;
  return p;
}

// The common case: one sheet at xl/worksheets/sheet1.xml, with styles.
inline QByteArray oneSheetWorkbook(const QByteArray& sheetData, const QByteArray& sharedItems = {},
                                   const QByteArray& workbookPr = {}) {
  Parts extra;
  extra << qMakePair(QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml(sheetData));
  extra << qMakePair(QStringLiteral("xl/styles.xml"), stylesXml());
  if (!sharedItems.isEmpty()) extra << qMakePair(QStringLiteral("xl/sharedStrings.xml"), sharedStringsXml(sharedItems));
  return zipParts(workbookParts("<sheet name=\"Roster\" sheetId=\"1\" r:id=\"rId1\"/>",
                                "<Relationship Id=\"rId1\" Type=\"worksheet\" Target=\"worksheets/sheet1.xml\"/>",
                                extra, workbookPr));
}

}  // namespace quillon::test
