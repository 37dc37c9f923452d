// The shelf's small texts and its focus marks stay readable in light and dark
// themes, whatever shows through the translucent background.
#include "shelf/ShelfColors.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct Theme
{
    const char* name;
    QColor window, text, highlight;
    friend void PrintTo(const Theme& theme, std::ostream* os) { *os << theme.name; }
};

class ShelfColorsTest : public ::testing::TestWithParam<Theme>
{
};

TEST_P(ShelfColorsTest, SmallTextReachesFourAndAHalfAndFocusMarksThreeToOne)
{
    const Theme& theme = GetParam();
    QWidget w;
    QPalette palette = w.palette();
    palette.setColor(QPalette::Window, theme.window);
    palette.setColor(QPalette::WindowText, theme.text);
    palette.setColor(QPalette::Highlight, theme.highlight);
    w.setPalette(palette);

    // Over a black and a white desktop showing through the background.
    for (const QColor behind : {QColor(Qt::black), QColor(Qt::white)}) {
        const QColor shelf = ShelfColors::over(ShelfColors::background(&w), behind);
        const auto on = [&](const QColor& ink) {
            return ShelfColors::contrast(ShelfColors::over(ink, shelf), shelf);
        };
        EXPECT_GE(on(ShelfColors::secondaryLabel(&w)), 4.5) << theme.name << " over " << behind.name().toStdString();
        EXPECT_GE(on(ShelfColors::focusColor(&w)), 3.0) << theme.name << " over " << behind.name().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Themes, ShelfColorsTest,
    ::testing::Values(Theme{"Fusion light", QColor(0xefefef), QColor(Qt::black), QColor(0x308cc6)},
                      Theme{"Fusion dark", QColor(0x353535), QColor(Qt::white), QColor(0x2a82da)},
                      Theme{"Adwaita light", QColor(0xf6f5f4), QColor(0x2e3436), QColor(0x3584e4)},
                      Theme{"Adwaita dark", QColor(0x242424), QColor(Qt::white), QColor(0x3584e4)},
                      Theme{"Breeze dark", QColor(0x202326), QColor(0xfcfcfc), QColor(0x3daee9)},
                      Theme{"grey, accent as the window", QColor(0x808080), QColor(Qt::black),
                            QColor(0x808080)}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// The ratios themselves, against the published values, and painting over.
TEST(ContrastTest, BlackOnWhiteIsTwentyOneAndGreyFourAndAHalf)
{
    EXPECT_EQ(ShelfColors::over(QColor(0, 0, 0, 128), Qt::white).red(), 127);
    EXPECT_NEAR(ShelfColors::contrast(Qt::black, Qt::white), 21, 0.01);
    EXPECT_NEAR(ShelfColors::contrast(QColor(0x767676), Qt::white), 4.54, 0.01);
    EXPECT_NEAR(ShelfColors::contrast(Qt::white, QColor(0x767676)), 4.54, 0.01);
}

} // namespace
