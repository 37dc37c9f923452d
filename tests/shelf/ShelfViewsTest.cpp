#include "shelf/BadgeView.h"
#include "shelf/HighlightView.h"
#include "shelf/ItemRowView.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include "MouseEvents.h"
#include "ShelfFixtures.h"

#include <QAction>
#include <QApplication>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

ShelfItemPtr coloured(const QString& path, const QColor& colour, QSize size = {100, 100})
{
    auto item = std::make_shared<ShelfItem>(QUrl::fromLocalFile(path), false);
    QImage img(size, QImage::Format_ARGB32);
    img.fill(colour);
    item->setThumbnail(img);
    return item;
}

QImage render(QWidget& w)
{
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    w.render(&img);
    return img;
}

bool contains(const QImage& img, QRgb colour)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                return true;
    return false;
}

TEST(StackAreaViewTest, PilesTheNewestThreeWithTheNewestOnTop)
{
    StackAreaView area;
    area.resize(216, 158);
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta};
    for (int i = 0; i < 5; ++i)
        area.items << coloured(QStringLiteral("/pile/%1").arg(i), colours[i]);
    const QImage img = render(area);
    EXPECT_EQ(img.pixel(108, 79) & 0xffffff, QColor(Qt::magenta).rgb() & 0xffffff);
    EXPECT_FALSE(contains(img, QColor(Qt::red).rgb()));
    EXPECT_FALSE(contains(img, QColor(Qt::green).rgb()));
    EXPECT_TRUE(contains(img, QColor(Qt::blue).rgb()));
    EXPECT_TRUE(contains(img, QColor(Qt::yellow).rgb()));

    EXPECT_EQ(StackAreaView::pileAngles(5), QList<qreal>({-10, 7, 0}));
    EXPECT_EQ(StackAreaView::pileAngles(2), QList<qreal>({-7, 5}));
    EXPECT_EQ(StackAreaView::pileAngles(1), QList<qreal>({0}));
}

TEST(StackAreaViewTest, PicturesAreScaledToTheSide)
{
    EXPECT_EQ(StackAreaView::pictureSize({512, 256}, 158), QSizeF(120, 60));
    EXPECT_EQ(StackAreaView::pictureSize({512, 256}, 100), QSizeF(78, 39));
    EXPECT_EQ(StackAreaView::pictureSize({0, 256}, 158), QSizeF(120, 120));
}

TEST(StackAreaViewTest, TheEmptyZoneTurnsToTheAccentWhileADropHovers)
{
    StackAreaView area;
    area.resize(216, 158);
    QPalette pal = area.palette();
    pal.setColor(QPalette::Highlight, QColor(255, 0, 0));
    area.setPalette(pal);
    EXPECT_FALSE(contains(render(area), qRgb(255, 0, 0)));
    area.isDropTarget = true;
    EXPECT_TRUE(contains(render(area), qRgb(255, 0, 0)));
    EXPECT_TRUE(area.mouseDownCanMoveWindow());
}

struct PressCounter
{
    int drags = 0, clicks = 0;
};

TEST(StackAreaViewTest, FourPointsIsAClickFourPointOneStartsADrag)
{
    StackAreaView area;
    area.resize(216, 158);
    area.items << coloured("/p/1", Qt::red);
    PressCounter n;
    area.onDragStart = [&](QMouseEvent*) { ++n.drags; };
    area.onClick = [&] { ++n.clicks; };

    MouseEvents::press(&area, {50, 50});
    MouseEvents::move(&area, {54, 50});
    MouseEvents::release(&area, {54, 50});
    EXPECT_EQ(n.drags, 0);
    EXPECT_EQ(n.clicks, 1);

    MouseEvents::press(&area, {50, 50});
    MouseEvents::move(&area, {54.1, 50});
    MouseEvents::move(&area, {90, 50});
    MouseEvents::release(&area, {90, 50});
    EXPECT_EQ(n.drags, 1) << "once per press";
    EXPECT_EQ(n.clicks, 1) << "the release after a drag is no click";
}

TEST(StackAreaViewTest, APressOnAnEmptyZoneCallsNothing)
{
    StackAreaView area;
    area.resize(216, 158);
    PressCounter n;
    area.onDragStart = [&](QMouseEvent*) { ++n.drags; };
    area.onClick = [&] { ++n.clicks; };
    MouseEvents::press(&area, {50, 50});
    MouseEvents::move(&area, {90, 50});
    MouseEvents::release(&area, {90, 50});
    EXPECT_EQ(n.drags + n.clicks, 0);
}

class RowTest : public ::testing::Test
{
protected:
    RowTest()
    {
        row.resize(204, 44);
        row.onDragStart = [this](QMouseEvent*) { ++drags; };
        row.onOpen = [this] { ++opens; };
        row.onRemove = [this] { ++removes; };
        row.onReveal = [this] { ++reveals; };
        row.show();
    }
    ShelfItemPtr item = coloured("/rows/a rather long file name for a narrow row.tar.gz", Qt::red);
    ItemRowView row{item};
    int drags = 0, opens = 0, removes = 0, reveals = 0;
};

TEST_F(RowTest, Layout)
{
    EXPECT_EQ(row.nameRect(), QRect(48, 13, 122, 18));
    // A long name keeps its beginning and its extension.
    const QString shown = row.shownName();
    EXPECT_TRUE(shown.startsWith("a ")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(".tar.gz")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
}

TEST_F(RowTest, HoverShowsTheRemoveButton)
{
    EXPECT_FALSE(row.isHovering());
    EXPECT_TRUE(!row.removeButton() || row.removeButton()->isHidden());
    QEnterEvent enter({10, 10}, {10, 10}, {10, 10});
    QApplication::sendEvent(&row, &enter);
    EXPECT_TRUE(row.isHovering());
    ASSERT_TRUE(row.removeButton());
    EXPECT_FALSE(row.removeButton()->isHidden());
    EXPECT_EQ(row.removeButton()->geometry(), QRect(174, 10, 24, 24));
    row.removeButton()->click();
    EXPECT_EQ(removes, 1);
    EXPECT_EQ(row.removeButton()->toolTip(), "Remove from shelf");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&row, &leave);
    EXPECT_TRUE(row.removeButton()->isHidden());
}

TEST_F(RowTest, ThresholdDoubleClickAndTripleClick)
{
    MouseEvents::press(&row, {20, 20});
    MouseEvents::move(&row, {20, 24});
    MouseEvents::release(&row, {20, 24});
    EXPECT_EQ(drags + opens + removes + reveals, 0) << "a click does nothing";

    // Press, release, second press (a double click), release, third press.
    MouseEvents::press(&row, {20, 20});
    MouseEvents::release(&row, {20, 20});
    MouseEvents::doubleClick(&row, {20, 20});
    MouseEvents::move(&row, {40, 20});
    MouseEvents::release(&row, {40, 20});
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(drags, 0) << "a double click never starts a drag";

    MouseEvents::press(&row, {20, 20});
    MouseEvents::move(&row, {24.1, 20});
    MouseEvents::move(&row, {60, 20});
    EXPECT_EQ(drags, 1);
    EXPECT_EQ(opens, 1);
}

TEST_F(RowTest, ContextMenu)
{
    std::unique_ptr<QMenu> menu(row.makeMenu());
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "Open");
    EXPECT_EQ(actions[1]->text(), "Show in File Manager");
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), "Remove from Shelf");
    for (QAction* a : actions)
        a->trigger();
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(reveals, 1);
    EXPECT_EQ(removes, 1);
}

// A press on the pile or on a row activates its shelf, as one on the
// background does, so that the shelf's keys reach it where no window manager
// activates clicked windows.
TEST(ShelfActivationTest, APressOnThePileOrARowActivatesTheShelf)
{
    ScopedThumbnailer<NullThumbnailer> thumbnails;
    TestFiles files;
    ShelfWindowController a, b;
    a.store()->add(files.make(2), false);
    b.store()->add(files.make(2), false);
    a.show({200, 300}, false);
    b.show({600, 300}, false);
    for (bool inList : {false, true}) {
        a.window()->activateWindow();
        ASSERT_TRUE(TestEnv::waitUntil([&] { return QApplication::activeWindow() == a.window(); }));
        if (inList && !b.content()->isListMode())
            b.content()->toggleList();
        QWidget* target = inList ? static_cast<QWidget*>(b.content()->rows()[0])
                                 : b.content()->stackArea();
        MouseEvents::press(target, {20, 20});
        MouseEvents::release(target, {20, 20});
        EXPECT_TRUE(TestEnv::waitUntil([&] { return QApplication::activeWindow() == b.window(); }))
            << (inList ? "a row" : "the pile");
    }
}

TEST(BadgeViewTest, WidthFollowsTheDigits)
{
    BadgeView badge;
    badge.setCount(7);
    EXPECT_EQ(badge.sizeHint(), QSize(24, 18));
    badge.setCount(12345);
    const qreal text = QFontMetricsF(badge.textFont()).horizontalAdvance("12345");
    EXPECT_GT(badge.sizeHint().width(), 24);
    EXPECT_EQ(badge.sizeHint().width(), int(std::ceil(text + 14)));
    EXPECT_EQ(badge.sizeHint().height(), 18);
}

TEST(SymbolButtonTest, MissingSymbolsAndTheAccessibleName)
{
    SymbolButton missing("no.such.symbol", "Help text");
    EXPECT_FALSE(missing.hasImage());
    EXPECT_EQ(missing.toolTip(), "Help text");

    SymbolButton b("list.bullet", "Show items");
    EXPECT_TRUE(b.hasImage());
    b.setToolTip("Show as stack");
    b.setSymbol("square.stack.3d.up");
    EXPECT_EQ(b.accessibleName(), "Show as stack");
}

TEST(HighlightViewTest, NeverTakesTheMouse)
{
    QWidget parent;
    parent.resize(300, 200);
    auto* below = new QWidget(&parent);
    below->setGeometry(0, 0, 300, 200);
    auto* highlight = new HighlightView(&parent);
    highlight->setGeometry(0, 0, 300, 200);
    highlight->setActive(true);
    EXPECT_EQ(parent.childAt(150, 100), below);
    EXPECT_TRUE(highlight->isActive());
}

} // namespace
