// Rosters saved as Excel workbooks: what the import reads from the sheet a
// clerk sees, and how a damaged or hostile workbook is turned away.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <QFile>

#include "roster.h"
#include "testsupport.h"
#include "workbooks.h"
#include "xlsxreader.h"

namespace quillon {
namespace {

using test::oneSheetWorkbook;
using test::Parts;

QStringList row(const CsvTable& t, int line) {
  for (const CsvRecord& r : t.records)
    if (r.line == line) return r.fields;
  return {QStringLiteral("<no row %1>").arg(line)};
}

QString writeFile(const test::ScratchDir& dir, const QString& name, const QByteArray& bytes) {
  QFile f(dir.file(name));
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  return f.fileName();
}

// The same roster through libxlsxwriter, once with shared strings (its
// default) and once with inline strings (its low-memory mode), and as CSV.
void writeRosterWorkbook(const QString& path, bool inlineStrings) {
  lxw_workbook_options opts{};
  opts.constant_memory = inlineStrings ? LXW_TRUE : LXW_FALSE;
  lxw_workbook* wb = workbook_new_opt(QFile::encodeName(path).constData(), &opts);
  ASSERT_NE(wb, nullptr);
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Roster");
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "d mmm yyyy");
  const char* header[] = {"Last Name", "First Name", "Rank", "SSN", "Sex", "Date of Birth", "Unit"};
  for (int c = 0; c < 7; ++c) worksheet_write_string(ws, 0, c, header[c], nullptr);
  // Row 2: SSN typed as a number, date of birth a real date cell.
  worksheet_write_string(ws, 1, 0, "Doe", nullptr);
  worksheet_write_string(ws, 1, 1, "Jane", nullptr);
  worksheet_write_string(ws, 1, 2, "sgt", nullptr);
  worksheet_write_number(ws, 1, 3, 123456789, nullptr);
  worksheet_write_string(ws, 1, 4, "F", nullptr);
  lxw_datetime dob{1990, 3, 4, 0, 0, 0};
  worksheet_write_datetime(ws, 1, 5, &dob, date);
  worksheet_write_string(ws, 1, 6, "A Co", nullptr);
  // Row 3 is left empty; row 4 lacks rank and date of birth, its SSN text.
  worksheet_write_string(ws, 3, 0, "van der Berg", nullptr);
  worksheet_write_string(ws, 3, 1, "Piet", nullptr);
  worksheet_write_string(ws, 3, 3, "987-65-4321", nullptr);
  worksheet_write_string(ws, 3, 4, "male", nullptr);
  // Row 5: a bad SSN, refused with the row the clerk sees it on.
  worksheet_write_string(ws, 4, 0, "Cho", nullptr);
  worksheet_write_number(ws, 4, 3, 1234, nullptr);
  ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
}

TEST(XlsxRoster, AWorkbookImportsAsTheSameRosterSavedAsCsvWhateverStringsItUses) {
  test::ScratchDir dir;
  const QByteArray csv =
      "Last Name,First Name,Rank,SSN,Sex,Date of Birth,Unit\n"
      "Doe,Jane,sgt,123456789,F,1990-03-04,A Co\n"
      "\n"
      "van der Berg,Piet,,987-65-4321,male,,\n"
      "Cho,,,1234,,,\n";
  const RosterPreview fromCsv = previewRoster(csv, {});
  ASSERT_TRUE(fromCsv.ok());
  for (bool inlineStrings : {false, true}) {
    SCOPED_TRACE(inlineStrings ? "inline strings" : "shared strings");
    const QString path = dir.file(inlineStrings ? "inline.xlsx" : "shared.xlsx");
    writeRosterWorkbook(path, inlineStrings);
    const RosterPreview p = previewRosterFile(path, {});
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    ASSERT_EQ(p.toAdd.size(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(p.toAdd[i].line, fromCsv.toAdd[i].line);
      EXPECT_EQ(p.toAdd[i].name, fromCsv.toAdd[i].name);
      EXPECT_EQ(p.toAdd[i].rank, fromCsv.toAdd[i].rank);
      EXPECT_EQ(p.toAdd[i].ssn, fromCsv.toAdd[i].ssn);
      EXPECT_EQ(p.toAdd[i].sex, fromCsv.toAdd[i].sex);
      EXPECT_EQ(p.toAdd[i].dob, fromCsv.toAdd[i].dob);
      EXPECT_EQ(p.toAdd[i].unit, fromCsv.toAdd[i].unit);
    }
    // The unit a test group takes from the workbook.
    EXPECT_EQ(p.toAdd[0].unit, "A Co");
    EXPECT_TRUE(p.groupIgnoredColumns.isEmpty()) << p.groupIgnoredColumns.join(", ").toStdString();
    EXPECT_EQ(p.toAdd[0].dob, "03/04/1990");
    EXPECT_EQ(p.toAdd[0].ssn, "123-45-6789");
    EXPECT_EQ(p.ignoredColumns, QStringList{"Unit"});
    ASSERT_EQ(p.refused.size(), 1);
    EXPECT_EQ(p.refused[0].line, 5);
    EXPECT_TRUE(p.refused[0].reason.contains("1234")) << p.refused[0].reason.toStdString();
  }
}

TEST(XlsxRoster, CellsLeftOutReadEmptyAndEveryKindOfTextIsTheTextShown) {
  // Shared item 0 is rich text with a phonetic guide that is not shown.
  const QByteArray shared =
      "<si><r><t>Na</t></r><r><rPr><b/></rPr><t>me</t></r><rPh sb=\"0\" eb=\"1\"><t>XX</t></rPh></si>"
      "<si><t xml:space=\"preserve\"> SSN </t></si><si><t>Born</t></si><si><t>Ames &amp; Co</t></si>";
  const QByteArray sheet =
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"D1\" t=\"s\"><v>2</v></c></row>"
      "<row r=\"2\"><c r=\"A2\" s=\"1\"/><c r=\"B2\" t=\"s\"/></row>"  // styled but empty: no row at all
      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>3</v></c><c r=\"D3\" s=\"1\"><v>32936</v></c></row>"
      "<row r=\"7\"><c t=\"inlineStr\"><is><t>Bell</t></is></c><c><v>100000002</v></c>"
      "<c t=\"str\"><f>TEXT(C7,\"0\")</f><v>x</v></c><c s=\"2\"><v>31412.75</v></c><c s=\"3\"><v>12</v></c></row>"
      "<row><c r=\"B8\" t=\"b\"><v>1</v></c><c r=\"D8\"><v>1.5</v></c></row>";
  for (const bool date1904 : {false, true}) {
    SCOPED_TRACE(date1904 ? "1904 dates" : "1900 dates");
    QByteArray s = sheet;
    if (date1904) s.replace("32936", "31474").replace("31412.75", "29950.75");
    const CsvTable t = readXlsx(oneSheetWorkbook(s, shared, date1904 ? "<workbookPr date1904=\"1\"/>" : ""));
    ASSERT_TRUE(t.ok()) << t.error.toStdString();
    ASSERT_EQ(t.records.size(), 4);
    EXPECT_EQ(row(t, 1), (QStringList{"Name", " SSN ", "", "Born", ""}));
    EXPECT_EQ(row(t, 3), (QStringList{"Ames & Co", "", "", "1990-03-04", ""}));
    EXPECT_EQ(row(t, 7), (QStringList{"Bell", "100000002", "x", "1985-12-31", "12"}));
    EXPECT_EQ(row(t, 8), (QStringList{"", "TRUE", "", "1.5", ""}));
  }
}

TEST(XlsxRoster, TheFirstSheetNotHiddenIsReadWhereverItsPartLies) {
  Parts extra;
  extra << qMakePair(QStringLiteral("xl/worksheets/sheet1.xml"),
                     test::sheetXml("<row r=\"1\"><c t=\"inlineStr\"><is><t>secret</t></is></c></row>"));
  extra << qMakePair(QStringLiteral("xl/Data/Roster Sheet.xml"),
                     test::sheetXml("<row r=\"2\"><c t=\"inlineStr\"><is><t>shown</t></is></c></row>"));
  const QByteArray wb = test::zipParts(test::workbookParts(
      "<sheet name=\"Old\" sheetId=\"1\" state=\"hidden\" r:id=\"rId1\"/><sheet name=\"Roster\" sheetId=\"2\" r:id=\"rId2\"/>",
      "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId2\" Target=\"/xl/Data/Roster Sheet.xml\"/>",
      extra));
  const CsvTable t = readXlsx(wb);
  ASSERT_TRUE(t.ok()) << t.error.toStdString();
  ASSERT_EQ(t.records.size(), 1);
  EXPECT_EQ(t.records[0].line, 2);
  EXPECT_EQ(t.records[0].fields, QStringList{"shown"});
}

QByteArray flippedInside(QByteArray zip, const QByteArray& partName) {
  // The first local header naming the part; its data follows the header
  // (30 bytes), the name and the extra field.
  qsizetype h = zip.indexOf("PK\x03\x04");
  while (h >= 0) {
    const auto u16 = [&](qsizetype o) { return quint8(zip[h + o]) | quint8(zip[h + o + 1]) << 8; };
    const int nameLen = u16(26), extraLen = u16(28);
    if (zip.mid(h + 30, nameLen) == partName) {
      const qsizetype data = h + 30 + nameLen + extraLen;
      zip[data + 8] = char(zip[data + 8] ^ 0x55);
      return zip;
    }
    h = zip.indexOf("PK\x03\x04", h + 4);
  }
  ADD_FAILURE() << "no part " << partName.constData();
  return zip;
}

TEST(XlsxRoster, DamagedAndHostileWorkbooksAreRefusedWithTheReasonAndNothingRead) {
  QByteArray big(4000, 'x');
  const QByteArray sound = oneSheetWorkbook(
      "<row r=\"1\"><c t=\"inlineStr\"><is><t>Name</t></is></c><c t=\"inlineStr\"><is><t>" + big + "</t></is></c></row>");
  ASSERT_TRUE(readXlsx(sound).ok());
  struct Case {
    const char* what;
    QByteArray bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"text", "Name,SSN\nDoe,123456789\n", "not an Excel workbook"},
      {"cut short", sound.left(sound.size() / 2), "zip directory is damaged"},
      {"flipped byte", flippedInside(sound, "xl/worksheets/sheet1.xml"), "part xl/worksheets/sheet1.xml of the workbook is damaged"},
      {"missing shared text", oneSheetWorkbook("<row r=\"4\"><c r=\"B4\" t=\"s\"><v>1</v></c></row>", "<si><t>a</t></si>"),
       "cell B4 refers to shared text 1"},
      {"no sheet part",
       test::zipParts(test::workbookParts("<sheet name=\"R\" sheetId=\"1\" r:id=\"rId1\"/>",
                                          "<Relationship Id=\"rId1\" Target=\"worksheets/gone.xml\"/>", {})),
       "no part xl/worksheets/gone.xml"},
      {"cell of another row", oneSheetWorkbook("<row r=\"2\"><c r=\"A3\"><v>1</v></c></row>"), "\"A3\" that is not in row 2"},
      {"past the last column", oneSheetWorkbook("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>"), "\"XFE1\""},
      {"broken XML", oneSheetWorkbook("<row r=\"1\"><c r=\"A1\"><v>1</c></row>"), "not well-formed XML"},
      {"too many cells", oneSheetWorkbook("<row r=\"1\"><c r=\"XFD1\"><v>1</v></c></row>" + [] {
         QByteArray rows;
         for (int r = 2; r <= 300; ++r) rows += "<row r=\"" + QByteArray::number(r) + "\"><c><v>1</v></c></row>";
         return rows;
       }()),
       "too large: 300 rows by 16384 columns"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CsvTable t = readXlsx(c.bytes);
    EXPECT_FALSE(t.ok());
    EXPECT_TRUE(t.records.isEmpty());
    EXPECT_TRUE(t.error.contains(c.reason)) << t.error.toStdString();
  }

  // A DTD could expand entities without end; no workbook needs one.
  Parts extra;
  extra << qMakePair(QStringLiteral("xl/worksheets/sheet1.xml"),
                     QByteArray("<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                                "<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>&b;</t></is></c></row></sheetData></worksheet>"));
  const CsvTable dtd = readXlsx(test::zipParts(test::workbookParts(
      "<sheet name=\"R\" sheetId=\"1\" r:id=\"rId1\"/>", "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>", extra)));
  EXPECT_TRUE(dtd.error.contains("declares a DTD")) << dtd.error.toStdString();

  // A part that unpacks past 64 MiB is refused before it is unpacked whole.
  const QByteArray bomb = oneSheetWorkbook(QByteArray(65 * 1024 * 1024, ' '));
  EXPECT_LT(bomb.size(), 1024 * 1024);
  EXPECT_TRUE(readXlsx(bomb).error.contains("larger than 64 MiB")) << readXlsx(bomb).error.toStdString();
}

TEST(XlsxRoster, AWorkbookIsKnownByItsBytesAndAnXlsxNameByItsName) {
  test::ScratchDir dir;
  const QByteArray wb = oneSheetWorkbook(
      "<row r=\"1\"><c t=\"inlineStr\"><is><t>Name</t></is></c><c t=\"inlineStr\"><is><t>SSN</t></is></c></row>"
      "<row r=\"2\"><c t=\"inlineStr\"><is><t>Doe</t></is></c><c><v>123456789</v></c></row>");
  // Saved with the wrong name, still read as the workbook it is.
  const RosterPreview misnamed = previewRosterFile(writeFile(dir, "roster.csv", wb), {});
  ASSERT_TRUE(misnamed.ok()) << misnamed.error.toStdString();
  ASSERT_EQ(misnamed.toAdd.size(), 1);
  EXPECT_EQ(misnamed.toAdd[0].ssn, "123-45-6789");
  // A CSV file named .xlsx is refused as a workbook, not read as rows.
  const RosterPreview text = previewRosterFile(writeFile(dir, "roster.XLSX", "Name,SSN\nDoe,123456789\n"), {});
  EXPECT_FALSE(text.ok());
  EXPECT_TRUE(text.error.contains("not an Excel workbook")) << text.error.toStdString();
  // A workbook with no Name column fails the roster's own check.
  const RosterPreview noName = previewRosterFile(
      writeFile(dir, "b.xlsx", oneSheetWorkbook("<row r=\"3\"><c t=\"inlineStr\"><is><t>SSN</t></is></c></row>")), {});
  EXPECT_EQ(noName.error, "no Name or Last Name column");
  EXPECT_EQ(noName.errorLine, 3);
}

}  // namespace
}  // namespace quillon
