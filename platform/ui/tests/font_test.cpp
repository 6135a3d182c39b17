// Text renders with a real font on the headless platform: glyphs, not the boxes of a missing font.
#include "platform/ui/tests/test_application.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include <gtest/gtest.h>

namespace vrtest {
namespace {

QImage Render(const QString& text) {
    QImage image(200, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.setFont(QApplication::font());
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

int DarkPixels(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        }
    }
    return dark;
}

TEST(FontTest, TextRendersWithARealFont) {
    TestApplication();
    ASSERT_FALSE(QFontDatabase::families().isEmpty()) << "no font found (fontconfig, fonts-dejavu-core)";
    QFontMetrics metrics(QApplication::font());
    EXPECT_TRUE(metrics.inFontUcs4('A'));
    EXPECT_TRUE(metrics.inFontUcs4(0x00E9)); // é: Latin-1 text of the instruments shows too

    // A missing font draws every character as the same box: different letters must differ.
    QImage first = Render("IIII");
    QImage second = Render("WWWW");
    EXPECT_GT(DarkPixels(first), 0);
    EXPECT_NE(first, second);
    EXPECT_GT(DarkPixels(second), DarkPixels(first));

    // A widget's screenshot carries its text too.
    QLabel label("Vornic");
    label.resize(120, 30);
    QImage shot = label.grab().toImage();
    EXPECT_GT(DarkPixels(shot), 0);
}

} // namespace
} // namespace vrtest
