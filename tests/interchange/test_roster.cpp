// Roster import: what a clerk's CSV file turns into before anything is stored.
#include <gtest/gtest.h>

#include "roster.h"
#include "rosters.h"

namespace quillon {
namespace {

RosterPreview preview(const QByteArray& csv, const SsnIndex& existing = {}) { return previewRoster(csv, existing); }

QString reasonOn(const RosterPreview& p, int line) {
  for (const RosterRefusal& r : p.refused)
    if (r.line == line) return r.reason;
  return {};
}

TEST(RosterImport, HeadersAreMatchedLooselyAndValuesTakeTheRecordsForm) {
  const QByteArray csv =
      "\xEF\xBB\xBF last  name;First_Name;M.I.;GRADE;Social Security Number;gender;Birth Date;Shoe Size\n"
      "Doe;Jane;Q;sgt;123456789;female;3/4/1990;8\n"
      "  van   der Berg ;Piet;;;987-65-4321;m;1990-03-04;9\n"
      "Cho;;;N/A; 111-22-3333 ;;;\n";
  const RosterPreview p = preview(csv);
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_TRUE(p.refused.isEmpty()) << p.refused.value(0).reason.toStdString();
  EXPECT_EQ(p.ignoredColumns, QStringList{"Shoe Size"});
  EXPECT_TRUE(p.columns.has(RosterField::Dob) && p.columns.has(RosterField::Sex) && p.columns.has(RosterField::Rank));
  ASSERT_EQ(p.toAdd.size(), 3);
  const RosterRow& a = p.toAdd[0];
  EXPECT_EQ(a.line, 2);
  EXPECT_EQ(a.name, "Doe, Jane Q");
  EXPECT_EQ(a.rank, "SGT");
  EXPECT_EQ(a.ssn, "123-45-6789");
  EXPECT_EQ(a.sex, "F");
  EXPECT_EQ(a.dob, "03/04/1990");
  EXPECT_EQ(p.toAdd[1].name, "van der Berg, Piet");
  EXPECT_EQ(p.toAdd[1].dob, "03/04/1990");
  EXPECT_EQ(p.toAdd[1].sex, "M");
  EXPECT_EQ(p.toAdd[1].rank, "");  // empty stays empty, as a row added in the grid
  EXPECT_EQ(p.toAdd[2].name, "Cho");
  EXPECT_EQ(p.toAdd[2].ssn, "111-22-3333");

  const RecordRow r = recordFromRoster(a);
  EXPECT_EQ(r.size(), 18);
  EXPECT_EQ(r[fieldIndex("ID")], "");
  EXPECT_EQ(r[fieldIndex("LNAME")], "Doe, Jane Q");
  EXPECT_EQ(r[fieldIndex("DOB")], "03/04/1990");
  EXPECT_EQ(r[fieldIndex("TOTAL")], "");
}

TEST(RosterImport, BadRowsAreRefusedWithTheirLineAndReasonTheRestKept) {
  // The quoted name on line 2 spans two lines, so every later record starts
  // one line further down than its position in the file.
  const QByteArray csv =
      "Name,SSN,Sex,DOB,Rank\r\n"
      "\"Ames,\r\nAl\",100000001,M,1/1/1990,PFC\r\n"       // line 2, accepted (name has a line break: collapsed)
      "Bell,100000002,M,02/30/1990,PFC\r\n"                 // 4 date
      "Cole,100000003,X,1/1/1990,PFC\r\n"                   // 5 sex
      "Dale,10000004,M,1/1/1990,PFC\r\n"                    // 6 eight digits
      "Eads,100-000-005,M,1/1/1990,PFC\r\n"                 // 7 dashes in the wrong places
      "Finn,100000006,M,1/1/1990,XYZ\r\n"                   // 8 rank
      "Abcdefghijklmnopqrstuvwxyz,100000007,M,,\r\n"        // 9 twenty-six characters
      "Abcdefghijklmnopqrstuvwxy,100000008,F,,\r\n"         // 10 twenty-five: fits
      "Gray,100000009,M,,\r\n"                              // 11 same SSN as line 13
      ",100000010,M,,\r\n"                                  // 12 no name
      "Hale,100-00-0009,F,,\r\n"                            // 13 same SSN, other form
      "Ives,100000011,M,13/01/1990,\r\n"                    // 14 month 13
      "Jo\x07nes,100000012,M,,\r\n";                          // 15 a bell in the name
  const RosterPreview p = preview(csv);
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  ASSERT_EQ(p.toAdd.size(), 2);
  EXPECT_EQ(p.toAdd[0].line, 2);
  EXPECT_EQ(p.toAdd[0].name, "Ames, Al");
  EXPECT_EQ(p.toAdd[1].line, 10);
  ASSERT_EQ(p.refused.size(), 11);
  for (qsizetype i = 1; i < p.refused.size(); ++i) EXPECT_LT(p.refused[i - 1].line, p.refused[i].line);
  EXPECT_TRUE(reasonOn(p, 4).contains("date of birth")) << reasonOn(p, 4).toStdString();
  EXPECT_TRUE(reasonOn(p, 5).contains("not M or F"));
  EXPECT_TRUE(reasonOn(p, 6).contains("nine digits"));
  EXPECT_TRUE(reasonOn(p, 7).contains("nine digits"));
  EXPECT_TRUE(reasonOn(p, 8).contains("rank"));
  EXPECT_TRUE(reasonOn(p, 9).contains("longer than 25"));
  EXPECT_TRUE(reasonOn(p, 11).contains("also on line 13")) << reasonOn(p, 11).toStdString();
  EXPECT_TRUE(reasonOn(p, 12).contains("no name"));
  EXPECT_TRUE(reasonOn(p, 13).contains("also on line 11"));
  EXPECT_TRUE(reasonOn(p, 14).contains("date of birth"));
  EXPECT_TRUE(reasonOn(p, 15).contains("control character"));
}

TEST(RosterImport, AFiveEventRosterTakesADoDIdNumberForTheSsnAndRefusesEachInTheOthersPlace) {
  const QByteArray csv =
      "Name,SSN,DoD ID Number\r\n"
      "Ames,100000001,\r\n"                 // 2 SSN only
      "Bell,,1000000002\r\n"                // 3 DoD ID number only
      "Cole,100-00-0003, 1000000003 \r\n"   // 4 both
      "Dale,,100000004\r\n"                 // 5 an SSN in the DoD ID column
      "Eads,,100-00-0005\r\n"               // 6 the same, dashed
      "Finn,,10000000061\r\n"               // 7 eleven digits
      "Gray,,10000X0007\r\n"                // 8 a letter
      "Hale,1000000008,\r\n"                // 9 a DoD ID number in the SSN column
      "Ives,,\r\n"                          // 10 neither
      "Jude,,1000000010\r\n"                // 11 same DoD ID number as line 12
      "Kent,100000012,1000000010\r\n"       // 12
      "Lund,,1000000013\r\n"                // 13 no SSN, as line 14: not a repeat
      "Moss,,1000000014\r\n";               // 14
  const RosterPreview p = previewRoster(csv, {}, RosterFor::FiveEvent);
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_TRUE(p.columns.has(RosterField::DodId));
  QStringList added;
  for (const RosterRow& r : p.toAdd) added << QString::number(r.line) + ":" + r.ssn + "/" + r.dodId;
  EXPECT_EQ(added, (QStringList{"2:100-00-0001/", "3:/1000000002", "4:100-00-0003/1000000003", "13:/1000000013",
                                "14:/1000000014"}));
  ASSERT_EQ(p.refused.size(), 8);
  EXPECT_TRUE(reasonOn(p, 5).contains("is an SSN")) << reasonOn(p, 5).toStdString();
  EXPECT_TRUE(reasonOn(p, 6).contains("is an SSN"));
  EXPECT_TRUE(reasonOn(p, 7).contains("not ten digits")) << reasonOn(p, 7).toStdString();
  EXPECT_TRUE(reasonOn(p, 8).contains("not ten digits"));
  EXPECT_TRUE(reasonOn(p, 9).contains("is a DoD ID number")) << reasonOn(p, 9).toStdString();
  EXPECT_TRUE(reasonOn(p, 10).contains("no SSN or DoD ID number")) << reasonOn(p, 10).toStdString();
  EXPECT_TRUE(reasonOn(p, 11).contains("also on line 12")) << reasonOn(p, 11).toStdString();
  EXPECT_TRUE(reasonOn(p, 12).contains("also on line 11"));

  // Without an SSN column a DoD ID column is enough; with neither, the
  // file is refused at its header.
  const RosterPreview alone = previewRoster("Name,EDIPI\r\nAmes,1000000001\r\n", {}, RosterFor::FiveEvent);
  ASSERT_EQ(alone.toAdd.size(), 1);
  EXPECT_EQ(alone.toAdd[0].dodId, "1000000001");
  const RosterPreview neither = previewRoster("Name,Unit\r\nAmes,A Co\r\n", {}, RosterFor::FiveEvent);
  EXPECT_EQ(neither.error, "no SSN or DoD ID column");
  EXPECT_EQ(neither.errorLine, 1);
}

TEST(RosterImport, TheThreeEventRecordsLeaveADoDIdColumnUnusedAndStillNeedTheSsn) {
  const RosterPreview p = preview("Name,SSN,DoD ID\r\nAmes,100000001,1000000001\r\nBell,,1000000002\r\n");
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_EQ(p.ignoredColumns, QStringList{"DoD ID"});
  ASSERT_EQ(p.toAdd.size(), 1);
  EXPECT_EQ(p.toAdd[0].dodId, "");
  EXPECT_TRUE(reasonOn(p, 3).contains("nine digits")) << reasonOn(p, 3).toStdString();
  EXPECT_EQ(preview("Name,DoD ID\r\nAmes,1000000001\r\n").error, "no SSN column");
}

TEST(RosterImport, StoredRecordsAreMatchedBySsnInEitherStoredFormAndUpdatedOnlyWhereTheFileSpeaks) {
  SsnIndex existing;
  addToSsnIndex(existing, "000000002", 12);    // stored as nine digits
  addToSsnIndex(existing, "000-00-0003", 13);  // stored dashed, twice
  addToSsnIndex(existing, "000-00-0003", 14);
  addToSsnIndex(existing, "", 15);             // a blank row matches nothing
  const QByteArray csv =
      "Name,SSN,Rank,First Name\n"
      "\"Two, Now\",000-00-0002,SSG,Twain\n"
      "\"Three, Now\",000000003,,\n"
      "\"Four, New\",000000004,PV1,\n";
  const RosterPreview p = preview(csv, existing);
  ASSERT_TRUE(p.ok());
  ASSERT_EQ(p.matches.size(), 2);
  EXPECT_EQ(p.matches[0].ids, QList<qint64>{12});
  EXPECT_EQ(p.matches[1].ids, (QList<qint64>{13, 14}));
  ASSERT_EQ(p.toAdd.size(), 1);
  EXPECT_EQ(p.toAdd[0].ssn, "000-00-0004");
  EXPECT_FALSE(p.columns.has(RosterField::Dob));
  EXPECT_EQ(p.ignoredColumns, QStringList{"First Name"});  // the full name wins

  RecordRow stored = blankRecordRow();
  stored[fieldIndex("ID")] = "12";
  stored[fieldIndex("LNAME")] = "Two, Then";
  stored[fieldIndex("SSN")] = "000000002";
  stored[fieldIndex("SEX")] = "F";
  stored[fieldIndex("DOB")] = "01/02/1990";
  stored[fieldIndex("TOTAL")] = "250";
  updateFromRoster(stored, p.matches[0].row, p.columns);
  EXPECT_EQ(stored[fieldIndex("LNAME")], "Two, Now");
  EXPECT_EQ(stored[fieldIndex("RANK")], "SSG");
  EXPECT_EQ(stored[fieldIndex("SEX")], "F");          // the file has no Sex column
  EXPECT_EQ(stored[fieldIndex("DOB")], "01/02/1990");  // nor a DOB column
  EXPECT_EQ(stored[fieldIndex("SSN")], "000000002");
  EXPECT_EQ(stored[fieldIndex("ID")], "12");
  EXPECT_EQ(stored[fieldIndex("TOTAL")], "250");
}

TEST(RosterImport, MalformedFilesAreRefusedWholeWithTheLineAtFault) {
  struct Case {
    const char* what;
    QByteArray data;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"binary", QByteArray("Name,SSN\nA,123456789\nB,\x01\x00\x02\n", 25), 3, "binary"},
      {"Latin-1", "Name,SSN\n\"M\xFCller, Jo\",123456789\n", 2, "UTF-8"},
      {"UTF-16", "\xFF\xFEN\0a\0", 1, "UTF-16"},
      {"ragged", "Name,SSN\nA,123456789\nB,223456789\nC,323456789,extra\n", 4, "3 fields"},
      {"short", "Name,SSN,Sex\nA,123456789,M\nB,223456789\n", 3, "2 fields"},
      {"unclosed quote", "Name,SSN\nA,123456789\n\"B,223456789\nC,323456789\n", 3, "never closed"},
      {"quote mid-field", "Name,SSN\nA \"Al\" B,123456789\n", 2, "unquoted"},
      {"text after quote", "Name,SSN\n\"A\"x,123456789\n", 2, "closing quote"},
      {"no SSN column", "Name,Rank\nA,PFC\n", 1, "SSN"},
      {"two name columns", "Name,Last Name,SSN\nA,B,123456789\n", 1, "both"},
      {"column twice", "Name,SSN,Social Security Number\nA,123456789,123456789\n", 1, "two columns"},
      {"empty", "", 1, "empty"},
      {"only a byte-order mark and blank lines", "\xEF\xBB\xBF\r\n\r\n", 1, "empty"},
  };
  for (const Case& c : cases) {
    const RosterPreview p = preview(c.data);
    EXPECT_FALSE(p.ok()) << c.what;
    EXPECT_EQ(p.errorLine, c.line) << c.what << ": " << p.error.toStdString();
    EXPECT_TRUE(p.error.contains(c.says)) << c.what << ": " << p.error.toStdString();
    EXPECT_TRUE(p.toAdd.isEmpty() && p.matches.isEmpty()) << c.what;
  }
}

TEST(RosterImport, LineEndsOfEveryKindReadAlike) {
  const QByteArray lf = "Name,SSN\nA,123456789\n\"B\nC\",223456789";
  QByteArray crlf = lf, cr = lf;
  crlf.replace("\n", "\r\n");
  cr.replace("\n", "\r");
  for (const QByteArray& csv : {lf, crlf, cr}) {
    const RosterPreview p = preview(csv);
    ASSERT_TRUE(p.ok()) << p.error.toStdString();
    ASSERT_EQ(p.toAdd.size(), 2);
    EXPECT_EQ(p.toAdd[1].name, "B C");
    EXPECT_EQ(p.toAdd[1].line, 3);
  }
}

TEST(RosterImport, AGeneratedRosterIsTakenWholeWithLinesCountedAcrossQuotedBreaks) {
  const int n = 1000;
  const RosterPreview p = preview(test::generatedRoster(n));
  ASSERT_TRUE(p.ok()) << p.error.toStdString();
  EXPECT_TRUE(p.refused.isEmpty()) << reasonOn(p, p.refused.value(0).line).toStdString();
  ASSERT_EQ(p.toAdd.size(), n);
  // Every tenth row carries one line break inside quotes (rows 0, 10, ... 990):
  // the last row, the 1000th record after the header, starts 100 lines late.
  EXPECT_EQ(p.toAdd.last().line, 1 + n + 100);
  EXPECT_EQ(p.ignoredColumns, QStringList{"Unit"});
}

}  // namespace
}  // namespace quillon
