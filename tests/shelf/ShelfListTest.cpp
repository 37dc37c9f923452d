// The list of a shelf from the keyboard and through accessibility.
#include "shelf/ItemRowView.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfListAccessible.h"
#include "shelf/ShelfListView.h"
#include "shelf/SymbolButton.h"

#include "Shelf.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMimeDatabase>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// Catches what the shelf opens with the desktop's default application.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

void press(QWidget* w, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
}

// The keys named in `keys` ("Down Down Delete"), one after the other.
void pressAll(QWidget* w, const QString& keys)
{
    static const QHash<QString, int> named = {
        {"Up", Qt::Key_Up},         {"Down", Qt::Key_Down},           {"Home", Qt::Key_Home},
        {"End", Qt::Key_End},       {"Return", Qt::Key_Return},       {"Delete", Qt::Key_Delete},
        {"Backspace", Qt::Key_Backspace}, {"PageDown", Qt::Key_PageDown}, {"PageUp", Qt::Key_PageUp}};
    for (const QString& key : keys.split(' ', Qt::SkipEmptyParts))
        press(w, named.value(key));
}

class ShelfListTest : public ShelfTest
{
protected:
    // A list of `n` files (file0.txt …) on show, seven rows high.
    void openList(int n)
    {
        hold(n);
        view.resize(ShelfContentView::shelfWidth, ShelfContentView::listHeight(7));
        view.toggleList();
        names.clear();
        for (const ShelfItemPtr& item : store->items)
            names << item->displayName();
    }
    // The numbers of the files still held ("0234").
    QString held() const
    {
        QString s;
        for (const ShelfItemPtr& item : store->items)
            s += QString::number(names.indexOf(item->displayName()));
        return s;
    }
    QWidget* list() const { return view.scroll(); }

    QStringList names;
};

struct KeysCase
{
    const char* keys;
    qsizetype selected; // afterwards, -1 for none
    const char* held;   // the files left
    int opened;         // the file opened, -1 for none
};

void PrintTo(const KeysCase& c, std::ostream* os) { *os << '"' << c.keys << '"'; }

class ListKeysTest : public ShelfListTest, public ::testing::WithParamInterface<KeysCase>
{
};

TEST_P(ListKeysTest, KeysSelectOpenAndRemoveRows)
{
    const KeysCase& c = GetParam();
    OpenedUrls opened;
    openList(5);
    const QList<QUrl> urls = [&] {
        QList<QUrl> u;
        for (const ShelfItemPtr& item : store->items)
            u << item->url();
        return u;
    }();
    pressAll(list(), QString::fromLatin1(c.keys));
    EXPECT_EQ(view.selectedIndex(), c.selected);
    EXPECT_EQ(held(), QString::fromLatin1(c.held));
    EXPECT_EQ(opened.urls, c.opened < 0 ? QList<QUrl>() : QList<QUrl>{urls[c.opened]});
    if (c.selected >= 0) {
        EXPECT_EQ(view.selectedItem(), store->items[c.selected]);
        ItemRowView* row = view.rows().value(c.selected);
        ASSERT_TRUE(row);
        EXPECT_TRUE(row->isSelected());
        ASSERT_TRUE(row->removeButton()) << "the selected row's remove button needs no pointer";
        EXPECT_TRUE(row->removeButton()->isVisibleTo(row));
    }
    for (ItemRowView* row : view.rows()) {
        if (row && row->item() != view.selectedItem()) {
            EXPECT_FALSE(row->isSelected()) << row->item()->displayName().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ListKeysTest,
    ::testing::Values(KeysCase{"Down", 0, "01234", -1}, KeysCase{"Down Down Down", 2, "01234", -1},
                      KeysCase{"Up", 4, "01234", -1}, KeysCase{"End Up", 3, "01234", -1},
                      KeysCase{"End Home", 0, "01234", -1},
                      KeysCase{"Down Down Down Down Down Down Down", 4, "01234", -1},
                      KeysCase{"Home Up", 0, "01234", -1},
                      KeysCase{"Down Down Return", 1, "01234", 1},
                      KeysCase{"Return", -1, "01234", -1},
                      // The row that takes the removed one's place, or the one before it.
                      KeysCase{"Down Down Delete", 1, "0234", -1},
                      KeysCase{"End Backspace", 3, "0123", -1},
                      KeysCase{"Down Delete Backspace", 0, "234", -1},
                      // With no row selected the keys are the shelf's: it is emptied.
                      KeysCase{"Delete", -1, "", -1}));

TEST_F(ShelfListTest, SpacePreviewsTheSelectedItem)
{
    openList(3);
    pressAll(list(), "Down Down");
    press(list(), Qt::Key_Space);
    PreviewPanel* panel = PreviewPanel::shared();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->isControlledBy(&view));
    EXPECT_EQ(panel->currentUrl(), store->items[1]->url());
    // Another row, while the preview is on show, is previewed in its place.
    press(list(), Qt::Key_Up);
    press(list(), Qt::Key_Space);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->currentUrl(), store->items[0]->url());
    press(list(), Qt::Key_Space);
    EXPECT_FALSE(panel->isVisible());
    PreviewPanel::release(&view);
}

TEST_F(ShelfListTest, AClickSelectsAndTheSelectionFollowsItsItem)
{
    openList(30);
    ItemRowView* row = view.rows().value(3);
    ASSERT_TRUE(row);
    sendMouse(row, QEvent::MouseButtonPress, {60, 20});
    sendMouse(row, QEvent::MouseButtonRelease, {60, 20});
    EXPECT_EQ(view.selectedIndex(), 3);
    const ShelfItemPtr chosen = store->items[3];
    // Rows are built anew on every change of the store; the item stays
    // selected wherever it goes.
    hold(2);
    EXPECT_EQ(view.selectedItem(), chosen);
    store->remove({store->items[0], store->items[1]});
    EXPECT_EQ(view.selectedIndex(), 1);
    EXPECT_EQ(view.selectedItem(), chosen);
    ASSERT_TRUE(view.rows().value(1));
    EXPECT_TRUE(view.rows()[1]->isSelected());
    // Far down the list, past every row built, and back.
    pressAll(list(), "End");
    EXPECT_EQ(view.selectedIndex(), 29);
    const QScrollBar* bar = view.scroll()->verticalScrollBar();
    EXPECT_GE(29 * ShelfContentView::rowH, bar->value());
    EXPECT_LE(30 * ShelfContentView::rowH, bar->value() + view.scroll()->viewport()->height());
    ASSERT_TRUE(view.rows().value(29));
    EXPECT_TRUE(view.rows()[29]->isSelected());
    pressAll(list(), "Home");
    EXPECT_EQ(bar->value(), 0);
    // A row below the view is scrolled to the view's bottom edge, no further.
    pressAll(list(), "Down Down Down Down Down Down Down Down Down");
    EXPECT_LE(10 * ShelfContentView::rowH, bar->value() + view.scroll()->viewport()->height());
    EXPECT_LT(bar->value(), 4 * ShelfContentView::rowH) << "rows above it stay in view";
    pressAll(list(), "Home");
    EXPECT_TRUE(view.rows().value(0) && view.rows()[0]->isSelected());
    // Back to the pile and to the list: nothing is selected.
    view.toggleList();
    EXPECT_EQ(view.selectedIndex(), -1);
    view.toggleList();
    EXPECT_EQ(view.selectedIndex(), -1);
    EXPECT_FALSE(view.selectedItem());
}

// The focus ring (while the list has the focus) and the selected row are
// drawn in the palette's highlight colour, in a light and in a dark palette.
class ListPaletteTest : public ShelfListTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ListPaletteTest, TheFocusRingAndTheSelectionAreSeen)
{
    QPalette palette = view.palette();
    if (GetParam()) {
        palette.setColor(QPalette::Window, QColor(0x24, 0x24, 0x26));
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
        palette.setColor(QPalette::HighlightedText, Qt::white);
    }
    view.setPalette(palette);
    openList(3);
    const QColor highlight = palette.color(QPalette::Highlight);
    const auto near = [&](QColor c) {
        return std::abs(c.red() - highlight.red()) + std::abs(c.green() - highlight.green()) +
                   std::abs(c.blue() - highlight.blue()) < 60;
    };
    const QRect area = list()->geometry();
    // The list's left edge beside where no row is, and a row's background.
    const QPoint edge(area.left() + 1, area.top() + area.height() - 20);
    const auto rowAt = [&](int i) { return QPoint(area.left() + 6, area.top() + i * ShelfContentView::rowH + 4); };

    view.window()->activateWindow();
    list()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return list()->hasFocus(); }));
    pressAll(list(), "Down Down");
    QImage shown = view.grab().toImage();
    EXPECT_TRUE(near(shown.pixelColor(edge))) << "no focus ring";
    EXPECT_TRUE(near(shown.pixelColor(rowAt(1)))) << "the selected row";
    EXPECT_FALSE(near(shown.pixelColor(rowAt(0)))) << "a row not selected";
    // The selected row's name is drawn in the colour made for text on it.
    const QColor text = palette.color(QPalette::HighlightedText);
    const QRect name = view.rows()[1]->nameRect().translated(view.rows()[1]->mapTo(&view, QPoint()));
    bool hasText = false;
    for (int x = name.left(); x < name.right() && !hasText; ++x)
        for (int y = name.top(); y < name.bottom() && !hasText; ++y)
            hasText = shown.pixelColor(x, y) == text;
    EXPECT_TRUE(hasText);

    list()->clearFocus();
    shown = view.grab().toImage();
    EXPECT_FALSE(near(shown.pixelColor(edge))) << "a ring without the focus";
}

INSTANTIATE_TEST_SUITE_P(Palettes, ListPaletteTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

// The menu key (and Shift+F10) opens the selected row's own menu; with no
// row selected, the shelf's.
TEST_F(ShelfListTest, TheKeyboardMenuIsTheSelectedRowsMenu)
{
    openList(3);
    const auto openMenu = [&] {
        QContextMenuEvent e(QContextMenuEvent::Keyboard, QPoint(5, 5), list()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list(), &e);
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu;
    };
    QMenu* shelfMenu = openMenu();
    ASSERT_TRUE(shelfMenu);
    EXPECT_EQ(shelfMenu->parent(), &view);
    shelfMenu->close();

    pressAll(list(), "Down Down");
    QMenu* rowMenu = openMenu();
    ASSERT_TRUE(rowMenu);
    ItemRowView* row = view.rows().value(1);
    ASSERT_TRUE(row);
    EXPECT_EQ(rowMenu->parent(), row);
    EXPECT_TRUE(row->rect().contains(row->mapFromGlobal(rowMenu->pos())));
    const ShelfItemPtr chosen = store->items[1];
    rowMenu->actions().last()->trigger(); // remove this one
    rowMenu->close();
    EXPECT_EQ(store->items.size(), 2);
    EXPECT_FALSE(store->items.contains(chosen));
}

// The list as accessibility clients see it. (Its events reach a reader only
// while one listens, which needs the accessibility bus: the whole-program
// tests read them.)
class AccessibleListTest : public ShelfListTest
{
protected:
    QAccessibleInterface* accessibleList() const { return QAccessible::queryAccessibleInterface(list()); }
};

TEST_F(AccessibleListTest, ItemsAreListItemsWithNamesKindsStatesAndActions)
{
    ASSERT_TRUE(TestEnv::writePng(files.path("photo.png"), 40, 30));
    store->add({QUrl::fromLocalFile(files.path("photo.png"))}, false);
    openList(2);
    ASSERT_TRUE(factsArrived(*store));
    QAccessibleInterface* l = accessibleList();
    ASSERT_TRUE(l);
    EXPECT_EQ(l->role(), QAccessible::List);
    ASSERT_EQ(l->childCount(), 3);
    const qint64 pngSize = QFileInfo(files.path("photo.png")).size();
    const QString pngKind = QMimeDatabase().mimeTypeForName("image/png").comment();
    const QString pngBytes = QLocale().formattedDataSize(pngSize, 1, QLocale::DataSizeSIFormat);
    const QString textKind = QMimeDatabase().mimeTypeForName("text/plain").comment();
    const QString textBytes = QLocale().formattedDataSize(100, 1, QLocale::DataSizeSIFormat);
    const struct { QString name, description; } expected[] = {
        {"photo.png", pngKind + ", " + pngBytes},
        {"file0.txt", textKind + ", " + textBytes},
        {"file1.txt", textKind + ", " + textBytes}};
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = l->child(i);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), expected[i].name);
        EXPECT_EQ(item->text(QAccessible::Description), expected[i].description);
        EXPECT_EQ(item->parent(), l);
        EXPECT_EQ(l->indexOfChild(item), i);
        EXPECT_EQ(l->child(i), item) << "one interface per item";
        EXPECT_TRUE(item->state().focusable);
        EXPECT_TRUE(item->state().selectable);
        EXPECT_FALSE(item->state().selected);
        ASSERT_TRUE(item->actionInterface());
        EXPECT_EQ(item->actionInterface()->actionNames(),
                  (QStringList{"Open", "Remove", "Show in File Manager"}));
        ASSERT_EQ(item->childCount(), 1) << "the remove button is always there";
        QAccessibleInterface* button = item->child(0);
        EXPECT_EQ(button->role(), QAccessible::Button);
        EXPECT_EQ(button->parent(), item);
        EXPECT_EQ(item->indexOfChild(button), 0);
        EXPECT_FALSE(button->text(QAccessible::Name).isEmpty());
        EXPECT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }

    // Selected and focused while the list has the focus.
    view.window()->activateWindow();
    list()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return list()->hasFocus(); }));
    pressAll(list(), "Down Down");
    QAccessibleInterface* second = l->child(1);
    EXPECT_TRUE(second->state().selected);
    EXPECT_TRUE(second->state().focused);
    EXPECT_FALSE(l->child(0)->state().selected);
    EXPECT_EQ(l->focusChild(), second);

    // Remove: the item leaves the store and the list.
    QAccessibleInterface* third = l->child(2);
    third->actionInterface()->doAction("Remove");
    EXPECT_EQ(store->items.size(), 2);
    EXPECT_EQ(l->childCount(), 2);
    EXPECT_FALSE(third->isValid());
    EXPECT_EQ(l->indexOfChild(third), -1);
    // The remove button of another.
    QAccessibleInterface* first = l->child(0);
    first->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_EQ(store->items[0]->displayName(), "file0.txt");
    // The gone items' interfaces go once the event loop runs.
    TestEnv::processEventsFor(20);
    EXPECT_EQ(ShelfListAccessible::madeCount(list()), 1);
}

TEST_F(AccessibleListTest, OpenIsTheItemsDefaultApplication)
{
    OpenedUrls opened;
    openList(2);
    accessibleList()->child(1)->actionInterface()->doAction("Open");
    EXPECT_EQ(opened.urls, QList<QUrl>{store->items[1]->url()});
}

// The children are made when a reader asks for them, not when the list opens
// or is scrolled.
TEST_F(AccessibleListTest, AListOfThousandsMakesOnlyTheItemsAskedFor)
{
    openList(5000);
    pressAll(list(), "End Home PageDown");
    EXPECT_LE(ShelfListAccessible::madeCount(list()), 3);
    QAccessibleInterface* l = accessibleList();
    EXPECT_EQ(l->childCount(), 5000);
    EXPECT_LE(ShelfListAccessible::madeCount(list()), 3);
    QAccessibleInterface* far = l->child(4321);
    ASSERT_TRUE(far);
    EXPECT_EQ(far->text(QAccessible::Name), names[4321]);
    EXPECT_TRUE(far->state().offscreen);
    EXPECT_EQ(l->indexOfChild(far), 4321);
    view.selectIndex(4321);
    EXPECT_FALSE(far->state().offscreen);
    EXPECT_TRUE(far->state().selected);
    EXPECT_LE(ShelfListAccessible::madeCount(list()), 5);
    // Back to the pile: the list has no children and its items are gone.
    view.toggleList();
    EXPECT_EQ(l->childCount(), 0);
    TestEnv::processEventsFor(20);
    EXPECT_EQ(ShelfListAccessible::madeCount(list()), 0);
}

} // namespace

#include "ShelfListTest.moc"
