// A shelf's window and its keys: keys reach it from whichever control has
// the focus once the window is active (no click needed), Tab goes round its
// controls, the focus ring shows only on the control that has the focus from
// the keyboard, and Shift+F10 asks the focused control for its menu.
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include "Shelf.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollArea>

namespace {

// A key as the window system delivers it: to the focus widget, press then release.
void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* to = QApplication::focusWidget();
    ASSERT_NE(to, nullptr) << "nothing has the focus for " << key;
    QKeyEvent down(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(to, &down);
    if (QWidget* still = QApplication::focusWidget()) {
        QKeyEvent up(QEvent::KeyRelease, key, mods);
        QApplication::sendEvent(still, &up);
    }
    TestEnv::processEventsFor(0);
}

class ShelfKeysTest : public ::testing::Test
{
protected:
    // The shelf shown and made active as a new shelf is, holding n files.
    void open(int n)
    {
        shelf.store()->add(files.make(n), false);
        shelf.show({400, 300}, false);
        shelf.activate(0);
        ASSERT_TRUE(TestEnv::waitUntil([&] { return shelf.window()->isActiveWindow(); }));
    }
    ShelfContentView* view() const { return shelf.content(); }
    bool closing() const { return shelf.isClosing(); }

    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    ShelfWindowController shelf;
};

struct KeysCase
{
    const char* name;
    int items;
    QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
    int itemsAfter;
    bool closed, listMode, previewing;
};

void PrintTo(const KeysCase& c, std::ostream* os)
{
    *os << c.name;
}

class ShelfKeysTableTest : public ShelfKeysTest, public ::testing::WithParamInterface<KeysCase>
{
};

TEST_P(ShelfKeysTableTest, KeysWorkOnceTheShelfIsActiveWithoutAClick)
{
    const KeysCase& c = GetParam();
    open(c.items);
    for (const auto& [key, mods] : c.keys)
        press(key, mods);
    EXPECT_EQ(view()->store()->items.size(), c.itemsAfter);
    EXPECT_EQ(closing(), c.closed);
    EXPECT_EQ(view()->isListMode(), c.listMode);
    EXPECT_EQ(PreviewPanel::sharedExists() && PreviewPanel::shared()->isVisible(), c.previewing);
    if (PreviewPanel::sharedExists())
        PreviewPanel::shared()->hide();
}

constexpr Qt::KeyboardModifiers none = Qt::NoModifier;
constexpr Qt::KeyboardModifiers shift = Qt::ShiftModifier;

INSTANTIATE_TEST_SUITE_P(
    Keys, ShelfKeysTableTest,
    ::testing::Values(
        KeysCase{"EscapeClosesAnEmptyShelf", 0, {{Qt::Key_Escape, none}}, 0, true, false, false},
        KeysCase{"EscapeClosesAFullOne", 2, {{Qt::Key_Escape, none}}, 2, true, false, false},
        KeysCase{"DeleteEmptiesIt", 3, {{Qt::Key_Delete, none}}, 0, false, false, false},
        KeysCase{"BackspaceToo", 1, {{Qt::Key_Backspace, none}}, 0, false, false, false},
        KeysCase{"SpaceOnThePilePreviews", 2, {{Qt::Key_Space, none}}, 2, false, false, true},
        KeysCase{"TabToTheToggleSpaceShowsTheList", 2, {{Qt::Key_Tab, none}, {Qt::Key_Space, none}}, 2, false,
                 true, false},
        KeysCase{"TabTwiceSpaceCloses", 2, {{Qt::Key_Tab, none}, {Qt::Key_Tab, none}, {Qt::Key_Space, none}}, 2,
                 true, false, false},
        KeysCase{"ShiftTabGoesBackToTheCloseButton", 2, {{Qt::Key_Tab, shift}, {Qt::Key_Space, none}}, 2, true,
                 false, false},
        KeysCase{"AnEmptyShelfHasNoToggleToStopAt", 0, {{Qt::Key_Tab, none}, {Qt::Key_Space, none}}, 0, true,
                 false, false},
        KeysCase{"RoundAndBackToThePile", 2,
                 {{Qt::Key_Tab, none}, {Qt::Key_Tab, none}, {Qt::Key_Tab, none}, {Qt::Key_Space, none}}, 2,
                 false, false, true},
        KeysCase{"KeysStillReachTheShelfFromAButton", 3, {{Qt::Key_Tab, none}, {Qt::Key_Delete, none}}, 0,
                 false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShelfKeysTest, TheFocusComesWithTheActiveWindowAndFollowsTheItemArea)
{
    open(2);
    EXPECT_EQ(QApplication::focusWidget(), view()->stackArea());
    // The pile goes as the list comes: the focus goes with it.
    view()->toggleList();
    EXPECT_EQ(QApplication::focusWidget(), view()->scroll());
    view()->toggleList();
    EXPECT_EQ(QApplication::focusWidget(), view()->stackArea());
}

// Pixels of the accent's colour in what `w` draws.
int ringPixels(QWidget* w, const QColor& accent)
{
    const QImage img = w->grab().toImage();
    int found = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x)
        {
            // Nothing else on a shelf has this much of the accent's hue.
            const QColor c(img.pixel(x, y));
            found += c.hsvHue() == accent.hsvHue() && c.hsvSaturation() > 200;
        }
    }
    return found;
}

TEST_F(ShelfKeysTest, TheRingShowsOnlyOnTheControlFocusedFromTheKeyboard)
{
    open(2);
    const QColor accent(255, 0, 255);
    QPalette palette = view()->palette();
    palette.setColor(QPalette::Highlight, accent);
    view()->setPalette(palette);
    QWidget* pile = view()->stackArea();
    QWidget* toggle = view()->listButton();
    QWidget* close = view()->closeButton();

    EXPECT_GT(ringPixels(pile, accent), 100) << "focused with the window";
    EXPECT_EQ(ringPixels(toggle, accent), 0);
    press(Qt::Key_Tab);
    EXPECT_EQ(ringPixels(pile, accent), 0);
    EXPECT_GT(ringPixels(toggle, accent), 20);
    EXPECT_EQ(ringPixels(close, accent), 0);
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_GT(ringPixels(pile, accent), 100);
    EXPECT_EQ(ringPixels(toggle, accent), 0);
    // A click keeps the focus, without the ring.
    sendMouse(pile, QEvent::MouseButtonPress, QRectF(pile->rect()).center());
    EXPECT_TRUE(pile->hasFocus());
    EXPECT_EQ(ringPixels(pile, accent), 0);
}

// What a control was asked for its menu with.
class MenuRequests : public QObject
{
public:
    QList<std::pair<QContextMenuEvent::Reason, QPoint>> seen;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::ContextMenu) {
            const auto* menu = static_cast<QContextMenuEvent*>(e);
            seen << std::pair{menu->reason(), menu->globalPos()};
        }
        return false;
    }
};

TEST_F(ShelfKeysTest, ShiftF10AsksTheFocusedControlForItsMenuAtItsPlace)
{
    open(2);
    struct Step
    {
        int tabs;
        QWidget* control;
    };
    for (const Step& step : {Step{0, view()->stackArea()}, Step{1, view()->listButton()}}) {
        for (int i = 0; i < step.tabs; ++i)
            press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), step.control);
        MenuRequests requests;
        step.control->installEventFilter(&requests);
        press(Qt::Key_F10, Qt::ShiftModifier);
        step.control->removeEventFilter(&requests);
        const QPoint middle = step.control->mapToGlobal(step.control->rect().center());
        ASSERT_EQ(requests.seen.size(), 1);
        EXPECT_EQ(requests.seen[0].first, QContextMenuEvent::Keyboard);
        EXPECT_LE((requests.seen[0].second - middle).manhattanLength(), 1);
        // The shelf's menu, where the control is.
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        EXPECT_LE((menu->pos() - middle).manhattanLength(), 1);
        menu->close();
        TestEnv::processEventsFor(0);
    }
    // F10 alone is no menu.
    press(Qt::Key_F10);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

} // namespace
