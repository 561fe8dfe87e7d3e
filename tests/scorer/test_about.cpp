// The About box on its own: caption, names, version line, its two pictures
// and the OK button that hides it.

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "about.h"

using quillon::About;

namespace {

// Share of pixels that are drawn (not transparent) and the number of
// distinct colours: an empty or flat picture fails both.
std::pair<double, int> coverage(const QPixmap& pm) {
  const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
  int drawn = 0;
  QSet<QRgb> colours;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb c = img.pixel(x, y);
      if (qAlpha(c) > 0) {
        ++drawn;
        colours.insert(c);
      }
    }
  return {double(drawn) / (img.width() * img.height()), static_cast<int>(colours.size())};
}

}  // namespace

TEST(About, ShowsCaptionProductVersionAndOk) {
  About a;
  EXPECT_EQ(a.objectName(), "About");
  EXPECT_EQ(a.windowTitle(), "About");
  EXPECT_FALSE(a.isModal());
  EXPECT_EQ(a.ProductName->text(), "Quillon");
  EXPECT_EQ(a.Version->text(), QString("Version ") + QUILLON_VERSION);
  EXPECT_FALSE(QString(QUILLON_VERSION).isEmpty());
  EXPECT_EQ(a.Command1->objectName(), "Command1");
  EXPECT_EQ(a.Command1->text(), "OK");
}

TEST(About, OkHidesTheBoxWithoutDestroyingIt) {
  QPointer<About> a = new About;
  a->show();
  ASSERT_TRUE(a->isVisible());
  QTest::mouseClick(a->Command1, Qt::LeftButton);
  EXPECT_FALSE(a->isVisible());
  ASSERT_TRUE(a);
  a->show();
  EXPECT_TRUE(a->isVisible());
  delete a;
}

TEST(About, TwoDifferentPicturesAreDrawn) {
  About a;
  ASSERT_FALSE(a.Picture1->pixmap().isNull());
  ASSERT_FALSE(a.Picture2->pixmap().isNull());
  for (const QPixmap& pm : {a.Picture1->pixmap(), a.Picture2->pixmap()}) {
    const auto [share, colours] = coverage(pm);
    EXPECT_GT(share, 0.2);
    EXPECT_GT(colours, 3);
  }
  EXPECT_NE(a.Picture1->pixmap().toImage(), a.Picture2->pixmap().toImage());
  // Drawn at any size asked for.
  EXPECT_EQ(About::drawMedal(48).size(), QSize(48, 48));
  EXPECT_GT(coverage(About::drawRunner(300)).first, 0.2);
}
