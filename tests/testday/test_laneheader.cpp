// The soldiers' names column: however few of the names it shapes, it comes
// out exactly as wide as a table's own row header measuring every one.

#include <QFontMetricsF>
#include <QHeaderView>
#include <QStandardItemModel>
#include <gtest/gtest.h>

#include "lanegridtable.h"

using namespace quillon;

namespace {

// A name the bold font kerns wider than its letters side by side, and one
// of plain letters as wide as those letters and a pixel and a half more:
// narrower than the first on the screen, though its letters say otherwise.
QStringList kernedApart(const QFont& font) {
  QFont bold = font;
  bold.setBold(true);
  const QFontMetricsF fm(bold);
  const auto letters = [&](const QString& s) {
    qreal sum = 0;
    for (const QChar c : s) sum += fm.horizontalAdvance(c);
    return sum;
  };
  QString kerned;
  for (const char* unit : {"T", "C-", "F", "L", "Y", "r.", "f'"}) {
    const QString s = QString::fromLatin1(unit).repeated(40 / int(qstrlen(unit)));
    if (kerned.isEmpty() || fm.horizontalAdvance(s) - letters(s) > fm.horizontalAdvance(kerned) - letters(kerned))
      kerned = s;
  }
  QString plain;
  while (fm.horizontalAdvance(plain) <= letters(kerned) + 1.5) plain += QLatin1Char('i');
  return {plain, kerned, plain.left(plain.size() - 1)};
}

int widthOf(QHeaderView& header, const QStringList& names, const QFont& font) {
  QStandardItemModel model(int(names.size()), 1);
  model.setVerticalHeaderLabels(names);
  header.setFont(font);
  header.setModel(&model);
  const int width = header.sizeHint().width();
  header.setModel(nullptr);
  return width;
}

}  // namespace

TEST(LaneHeader, IsExactlyAsWideAsAHeaderMeasuringEveryNameWhateverTheLettersSay) {
  QStringList numbered;
  for (int i = 0; i < 300; ++i) numbered << QStringLiteral("Soldier, Number %1").arg(i);
  QStringList longest = numbered;
  longest[150] = QStringLiteral("Wolfeschlegelsteinhausenbergerdorff, Maximilian");  // a header never looks there
  longest[299] = QStringLiteral("Soldier, Number 1000");
  const QList<std::pair<const char*, QStringList>> rosters = {
      {"wide letters against many narrow ones", {QStringLiteral("iiiiiiiiiii"), QStringLiteral("WWWWWW")}},
      {"narrow letters against fewer wide ones", {QStringLiteral("WWWWW"), QStringLiteral("iiiiiiiiiiiiiiiiiiiiii")}},
      {"kerned together", {QStringLiteral("AVAVAVAVAVAV"), QStringLiteral("Avery, Ava V"), QStringLiteral("NANANANANAN")}},
      {"the mnemonic sign", {QStringLiteral("Ames & Sons"), QStringLiteral("&&&&&&&&&&&&"), QStringLiteral("Amesmith")}},
      {"tabs", {QStringLiteral("a\tb"), QStringLiteral("Tabb, Ann"), QStringLiteral("\t\t\t")}},
      {"line breaks", {QStringLiteral("Short\nWolfeschlegelstein"), QStringLiteral("Wolfeschlegelstei")}},
      {"names of other scripts", {QStringLiteral("Nguyễn Văn Anh"), QStringLiteral("Ελευθεριάδης"),
                                  QStringLiteral("Nguyen Van Anh"), QStringLiteral("محمد عبدالله")}},
      {"numbered by hand", numbered},
      {"the widest last", longest},
  };
  QFont base;
  QFont larger = base;
  larger.setPointSizeF(base.pointSizeF() * 1.5);
  QFont spaced = base;
  spaced.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  for (const QFont& font : {base, larger, spaced}) {
    QList<std::pair<const char*, QStringList>> all = rosters;
    all.append({"kerned apart", kernedApart(font)});
    for (const auto& [what, names] : all) {
      QHeaderView plain(Qt::Vertical);
      LaneHeader lanes(nullptr);
      EXPECT_EQ(widthOf(lanes, names, font), widthOf(plain, names, font))
          << what << " at " << font.pointSizeF() << " points, spaced " << font.letterSpacing();
    }
  }
}
