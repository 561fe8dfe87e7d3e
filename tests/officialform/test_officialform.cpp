// The official form as a reader finds it once filled: read back with qpdf's
// own tool, field by field, against the cards it was filled from, the boxes
// named here from the form's tooltips and places rather than from the
// library's table, so a wrong row there shows as a wrong value here.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <sys/stat.h>

#include "fitnesscards.h"
#include "formfields.h"
#include "officialform.h"
#include "pdffields.h"
#include "testsupport.h"

namespace quillon {
namespace {

using namespace quillon::test;
using officialform::writeOfficialCards;

const QString kBlankForm = QStringLiteral(QUILLON_SOURCE_DIR "/data/fitness-2025/scorecard-form.pdf");

int runExit(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  EXPECT_TRUE(p.waitForFinished(-1)) << program.toStdString();
  return p.exitCode();
}

QString runText(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  EXPECT_TRUE(p.waitForFinished(-1)) << program.toStdString();
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// What one copy of the form should hold: each text field's value and each
// check box ticked, by field name below the copy's top ("Page1[0].Name[0]").
struct Expected {
  QMap<QString, QString> text;
  QSet<QString> ticked;
};

Expected expectedFor(const FitnessCard& card) {
  Expected e;
  const QString name = cardName(card);
  for (const char* page : {"Page1[0].", "Page2[0]."}) {
    const QString p = QString::fromLatin1(page);
    e.text[p + "Name[0]"] = name;
    e.text[p + "Unit_Location[0]"] = card.unit;
    e.ticked << p + (card.sex == "F" ? "Female[0]" : "Male[0]");
  }
  const QList<CardTest> tests = testsOnCard(card.tests);
  const char* words[] = {"One", "Two", "Three", "Four"};
  const char* standards[] = {"", "2", "3", "4"};
  for (int i = 0; i < tests.size(); ++i) {
    const CardTest& t = tests[i];
    const QString at = QStringLiteral("Page%1[0].").arg(i < 2 ? 1 : 2);
    const QString w = QString::fromLatin1(words[i]);
    const auto field = [&](const QString& partial) { return at + partial + "[0]"; };
    const auto put = [&](const QString& partial, const QString& v) { e.text[field(partial)] = v; };
    const auto tick = [&](const QString& partial, bool on) {
      if (on) e.ticked << field(partial);
    };
    const QString test = "Test_" + w + "_";
    put(test + "Date", t.date);
    put(test + "MOS", t.mos);
    put(i == 1 ? QStringLiteral("Test_Two_Rank") : test + "Rank_Grade", t.payGrade);
    put(test + "Age", t.age);
    put(test + "Body_Composition_Date", t.bodyCompositionDate);
    put(test + "Height", t.heightInches);
    put(test + "Weight", t.weightPounds);
    put(test + "Body_Fat", t.bodyFatPercent);
    put(test + "First_Attempt", t.deadliftFirst);
    put(test + "Second_Attempt", t.deadliftSecond);
    // The form's rows: 1 the deadlift, 3 to 6 the push-up, sprint-drag-carry, plank and run, 7 the alternate.
    const int rows[] = {1, 3, 4, 5, 6};
    for (int ev = 0; ev < kCardEvents; ++ev) {
      put(test + "Points" + QString::number(rows[ev]), t.events[ev].points);
      put(test + "Grader_Initials" + QString::number(rows[ev]), t.events[ev].grader);
    }
    put(test + "Repetitions", t.events[int(CardEvent::PushUp)].raw);
    put(test + "Time1", t.events[int(CardEvent::SprintDragCarry)].raw);
    put(test + "Time2", t.events[int(CardEvent::Plank)].raw);
    put(test + "Time3", t.events[int(CardEvent::Run)].raw);
    put(test + "Time4", t.alternateTime);
    put(test + "Points7", t.alternatePoints);
    put(test + "Grader_Initials7", t.alternateGrader);
    put(test + "Row_Swim_Bike_Walk", t.alternate == "WALK" ? QStringLiteral("2.5 MI Walk") : t.alternate);
    put(test + "Total_Points", t.total);
    put("OIC_NCOIC_Name_Test_" + w, t.oicName);
    put("OIC_NCOIC_Rank_Grade_Test_" + w, t.oicPayGrade);
    tick("Check_Standard_Combat" + QString::fromLatin1(standards[i]), t.standard == CardStandard::Combat);
    tick("Check_Standard_General" + QString::fromLatin1(standards[i]), t.standard == CardStandard::General);
    tick(test + "Weight_Go", t.weight == GoNoGo::Go);
    tick(test + "Weight_NoGo", t.weight == GoNoGo::NoGo);
    tick(test + "Body_Fat_Go", t.bodyFat == GoNoGo::Go);
    tick(test + "Body_Fat_NoGo", t.bodyFat == GoNoGo::NoGo);
    tick(test + "Go", t.alternateResult == GoNoGo::Go);
    tick(test + "NoGo", t.alternateResult == GoNoGo::NoGo);
    tick(test + "Final_Go", t.overall == GoNoGo::Go);
    tick(test + "Final_NoGo", t.overall == GoNoGo::NoGo);
    tick(test + "First_Attempt_Check", t.deadliftFirst.toInt() >= t.deadliftSecond.toInt());
    tick(test + "Second_Attempt_Check", t.deadliftSecond.toInt() > t.deadliftFirst.toInt());
  }
  return e;
}

// Every field of one copy (those named `top` + ".") against what the card
// should put there: text equal, check boxes in their ticked state or off,
// signature fields without a value and open to a signer.
void expectCopyHolds(const QMap<QString, PdfField>& fields, const QString& top, const FitnessCard& card) {
  const Expected e = expectedFor(card);
  int seen = 0, signatures = 0;
  for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
    if (!it.key().startsWith(top + '.')) continue;
    ++seen;
    const QString name = it.key().mid(top.size() + 1);
    const PdfField& f = it.value();
    SCOPED_TRACE(it.key().toStdString());
    if (f.type == "/Sig") {
      ++signatures;
      EXPECT_FALSE(f.hasValue) << "signed by no one yet";
      EXPECT_EQ(f.flags & 1, 0) << "a read-only signature field cannot be signed";
    } else if (f.type == "/Btn") {
      if (e.ticked.contains(name)) {
        EXPECT_NE(f.value, "/Off");
        EXPECT_EQ(f.state, f.value);
        EXPECT_TRUE(f.states.contains(f.value)) << "ticked in a state its appearance draws";
      } else {
        EXPECT_TRUE(!f.hasValue || f.value == "/Off") << f.value.toStdString();
        EXPECT_EQ(f.state, "/Off");
      }
    } else {
      const QString want = e.text.value(name).simplified();
      EXPECT_EQ(f.value, want);
      if (!want.isEmpty()) {
        EXPECT_TRUE(f.drawn) << "a reader that draws no field shows no value";
      }
    }
  }
  EXPECT_EQ(seen, 220);
  EXPECT_EQ(signatures, 32);
  for (auto it = e.text.cbegin(); it != e.text.cend(); ++it)
    EXPECT_TRUE(fields.contains(top + '.' + it.key())) << it.key().toStdString();
  for (const QString& name : e.ticked) EXPECT_TRUE(fields.contains(top + '.' + name)) << name.toStdString();
}

int fileMode(const QString& path) {
  struct stat st {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  return st.st_mode & 0777;
}

TEST(OfficialFormTest, TheFieldTableNamesEveryFieldOfTheBlankFormWithItsTypeAndPage) {
  const QMap<QString, PdfField> form = pdfFields(qpdfJson(kBlankForm));
  ASSERT_EQ(form.size(), 220);
  QSet<QString> listed;
  const FitnessCard card = filledCard(4);
  for (const officialform::FormField& f : officialform::formFields()) {
    SCOPED_TRACE(f.name.toStdString());
    listed << f.name;
    ASSERT_TRUE(form.contains(f.name)) << "a name the form does not have";
    const char* types[] = {"/Tx", "/Btn", "/Ch", "/Sig"};
    EXPECT_EQ(form[f.name].type, QString::fromLatin1(types[int(f.kind)]));
    EXPECT_EQ(form[f.name].page, f.page);
    if (f.box.isEmpty()) {
      EXPECT_FALSE(f.whyLeft.isEmpty()) << "a field left says who fills it";
    } else {
      EXPECT_TRUE(officialform::boxValue(card, testsOnCard(card.tests), f.box).has_value()) << f.box.toStdString();
    }
  }
  EXPECT_EQ(listed.size(), 220) << "every field listed once";
}

TEST(OfficialFormTest, AGroupsFormsReadBackFieldByFieldEqualToTheirCardsUnderNamesOfTheirOwn) {
  ScratchDir dir;
  FitnessCard yates = filledCard(2, QStringLiteral("Yates"));
  yates.sex = "F";
  const QList<FitnessCard> cards = {filledCard(4), yates, filledCard(0, QStringLiteral("Moreno"))};
  const QString pdf = dir.file(QStringLiteral("group forms.pdf"));
  ASSERT_EQ(writeOfficialCards(cards, pdf), QString());

  EXPECT_EQ(fileMode(pdf), 0600);
  EXPECT_EQ(runExit("qpdf", {"--check", pdf}), 0) << "a sound PDF";
  EXPECT_EQ(runExit("qpdf", {"--is-encrypted", pdf}), 2) << "written without the blank form's encryption";
  const QJsonObject json = qpdfJson(pdf);
  const QMap<QString, PdfField> fields = pdfFields(json);
  EXPECT_EQ(fields.size(), 3 * 220);
  for (int n = 1; n <= cards.size(); ++n) {
    SCOPED_TRACE(n);
    expectCopyHolds(fields, officialform::copyFieldPrefix(n), cards[n - 1]);
    // Each copy's fields on its own two pages.
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
      if (it.key().startsWith(officialform::copyFieldPrefix(n) + '.')) {
        EXPECT_EQ(it->page, 2 * (n - 1) + (it.key().contains(".Page1[0].") ? 1 : 2)) << it.key().toStdString();
      }
    }
  }
  // What a reader draws, not only what the fields hold: each copy's name on both its pages, its totals on the
  // page of their test.
  for (int n = 1; n <= cards.size(); ++n) {
    for (int page = 1; page <= 2; ++page) {
      const int at = 2 * (n - 1) + page;
      const QString text = runText("pdftotext", {"-f", QString::number(at), "-l", QString::number(at), pdf, "-"});
      EXPECT_TRUE(text.contains(cardName(cards[n - 1]))) << "copy " << n << " page " << page;
      const QList<CardTest> tests = testsOnCard(cards[n - 1].tests);
      for (int i = 2 * (page - 1); i < qMin<int>(2 * page, tests.size()); ++i)
        EXPECT_TRUE(text.contains(tests[i].total)) << "copy " << n << " test " << i + 1;
    }
  }
  const QJsonObject acroForm = pdfObject(json, pdfCatalog(json).value("/AcroForm").toString());
  EXPECT_FALSE(acroForm.isEmpty());
  EXPECT_FALSE(acroForm.contains("/XFA")) << "a reader of XFA would show the blank XFA form instead";
  EXPECT_FALSE(acroForm.value("/NeedAppearances").toBool()) << "the appearances are drawn";
  EXPECT_FALSE(pdfCatalog(json).contains("/Perms")) << "a reader-rights signature the changes have broken";
}

// Signs a field of `in` into `out` as poppler's signing tool does, with a
// certificate of its own made in `nss` the first time.
void sign(const QString& nss, const QString& in, const QString& field, const QString& out) {
  const QString db = "sql:" + nss;
  if (!QFile::exists(QDir(nss).filePath("cert9.db"))) {
    ASSERT_TRUE(QDir().mkpath(nss));
    ASSERT_EQ(runExit("certutil", {"-N", "-d", db, "--empty-password"}), 0);
    const QString noise = QDir(nss).filePath("noise");
    QFile n(noise);
    ASSERT_TRUE(n.open(QIODevice::WriteOnly));
    n.write(QByteArray(64, 'x'));  // a key for this test only
    n.close();
    ASSERT_EQ(runExit("certutil", {"-S", "-d", db, "-n", "signer", "-s", "CN=Test Signer", "-x", "-t", "CT,C,C", "-k",
                                   "rsa", "-g", "2048", "-v", "12", "-z", noise, "--keyUsage",
                                   "digitalSignature,nonRepudiation"}),
              0);
  }
  ASSERT_EQ(runExit("pdfsig", {"-nssdir", db, "-nick", "signer", "-sign", field, in, out}), 0) << field.toStdString();
}

TEST(OfficialFormTest, AGroupFilesSignatureFieldsTakeDigitalSignaturesOneAfterAnotherAndKeepTheValues) {
  ScratchDir dir;
  const QList<FitnessCard> cards = {filledCard(1, QStringLiteral("Yates")), filledCard(2)};
  const QString pdf = dir.file(QStringLiteral("forms.pdf"));
  ASSERT_EQ(writeOfficialCards(cards, pdf), QString());
  const QString soldier = "card2.Page1[0].Signature_Soldier_Test_Two[0]";
  const QString oic = "card2.Page1[0].Signature_OIC_NCOIC_Test_Two[0]";
  ASSERT_NO_FATAL_FAILURE(sign(dir.file("nss"), pdf, soldier, dir.file("soldier signed.pdf")));
  ASSERT_NO_FATAL_FAILURE(sign(dir.file("nss"), dir.file("soldier signed.pdf"), oic, dir.file("both signed.pdf")));

  QProcess check;
  check.start("pdfsig", {"-nssdir", "sql:" + dir.file("nss"), "-nocert", dir.file("both signed.pdf")});
  ASSERT_TRUE(check.waitForFinished(-1));
  const QString report = QString::fromUtf8(check.readAllStandardOutput());
  EXPECT_EQ(report.count("Signature Validation: Signature is Valid."), 2) << report.toStdString();
  EXPECT_EQ(report.count("The signature form field is not signed."), 2 * 32 - 2);
  for (const QString& field : {soldier, oic}) {
    const qsizetype at = report.indexOf("Signature Field Name: " + field);
    ASSERT_GE(at, 0) << field.toStdString();
    EXPECT_TRUE(report.mid(at, 400).contains("Signer Certificate Common Name: Test Signer")) << field.toStdString();
  }
  const QMap<QString, PdfField> fields = pdfFields(qpdfJson(dir.file("both signed.pdf")));
  const CardTest two = testsOnCard(cards[1].tests).at(1);
  EXPECT_EQ(fields.value("card2.Page1[0].Test_Two_Total_Points[0]").value, two.total);
  EXPECT_EQ(fields.value("card1.Page1[0].Name[0]").value, cardName(cards[0]));
  EXPECT_TRUE(fields.value(soldier).hasValue);
}

TEST(OfficialFormTest, OneSoldiersFormKeepsTheFormsOwnFieldNames) {
  ScratchDir dir;
  FitnessCard card = filledCard(3, QStringLiteral("Muñoz Peña"));  // beyond ASCII, as a name may be
  const QString pdf = dir.file(QStringLiteral("one.pdf"));
  ASSERT_EQ(writeOfficialCards({card}, pdf), QString());
  const QMap<QString, PdfField> fields = pdfFields(qpdfJson(pdf));
  EXPECT_EQ(fields.size(), 220);
  expectCopyHolds(fields, QStringLiteral("form1[0]"), card);
  EXPECT_EQ(fileMode(pdf), 0600);
}

TEST(OfficialFormTest, NoCardsWriteNoFile) {
  ScratchDir dir;
  const QString pdf = dir.file(QStringLiteral("none.pdf"));
  EXPECT_FALSE(writeOfficialCards({}, pdf).isEmpty());
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(OfficialFormTest, AFormSavedOverAFileOthersCouldReadIsOwnerOnly) {
  ScratchDir dir;
  const QString pdf = dir.file(QStringLiteral("kept.pdf"));
  {
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("the clerk's earlier file");
  }
  ASSERT_EQ(::chmod(QFile::encodeName(pdf).constData(), 0644), 0);
  ASSERT_EQ(writeOfficialCards({filledCard(1)}, pdf), QString());
  EXPECT_EQ(fileMode(pdf), 0600);
  EXPECT_EQ(runExit("qpdf", {"--check", pdf}), 0);
}

TEST(OfficialFormTest, BodyCompositionFewerThanSevenDaysFromTheTestIsNamedAndSevenIsNot) {
  FitnessCard card = filledCard(0);
  const auto test = [](const char* date, const char* measured) {
    CardTest t;
    t.date = QString::fromLatin1(date);
    t.bodyCompositionDate = QString::fromLatin1(measured);
    return t;
  };
  // Across a month's and a year's end, on both sides of the test.
  card.tests = {test("20260105", "20251229"), test("20260203", "20260128"), test("20260301", "20260301"),
                test("20260310", "20260316")};
  EXPECT_EQ(officialform::bodyCompositionTooClose({card}),
            QStringList({"Abernathy, Cole J: test 20260203, body composition 20260128",
                         "Abernathy, Cole J: test 20260301, body composition 20260301",
                         "Abernathy, Cole J: test 20260310, body composition 20260316"}));
  card.tests = {test("20260105", "20260112"), test("20260203", ""), test("20260301", "2026-03-02"),
                test("20260310", "20250310")};
  EXPECT_EQ(officialform::bodyCompositionTooClose({card}), QStringList());
  // Only the four tests the form holds are judged.
  card.tests = {test("20250101", "20250101"), test("20260105", "20260112"), test("20260203", "20260210"),
                test("20260301", "20260308"), test("20260310", "20260317")};
  EXPECT_EQ(officialform::bodyCompositionTooClose({card}), QStringList());
}

}  // namespace
}  // namespace quillon
