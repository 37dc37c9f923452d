// What a screen reader is told as the list changes: with accessibility on
// for real (Qt's X11 platform serving the session's accessibility bus), the
// events the list sends, caught before they reach the bus.
#include "shelf/ShelfListAccessible.h"
#include "shelf/ShelfListView.h"

#include "Shelf.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QKeyEvent>

namespace {

bool setAccessibilityEnabled(bool on)
{
    QDBusInterface properties("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                              QDBusConnection::sessionBus());
    properties.setTimeout(10000);
    return properties.call("Set", "org.a11y.Status", "IsEnabled", QVariant::fromValue(QDBusVariant(on)))
               .type() == QDBusMessage::ReplyMessage;
}

struct Told
{
    QAccessible::Event type;
    QString name;
};

QList<Told>& told()
{
    static QList<Told> events;
    return events;
}

void catchEvent(QAccessibleEvent* e)
{
    QAccessibleInterface* iface = e->accessibleInterface();
    if (iface && iface->role() == QAccessible::ListItem)
        told() << Told{e->type(), iface->text(QAccessible::Name)};
}

class ShelfListEventsTest : public ShelfTest
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(setAccessibilityEnabled(true)) << "no accessibility bus (at-spi2-core)";
        ASSERT_TRUE(TestEnv::waitUntil([] { return QAccessible::isActive(); }, 10000))
            << "accessibility did not come on";
        QAccessible::installUpdateHandler(catchEvent);
    }
    static void TearDownTestSuite()
    {
        QAccessible::installUpdateHandler(nullptr);
        setAccessibilityEnabled(false);
    }
    void SetUp() override
    {
        ASSERT_TRUE(QAccessible::isActive());
        told().clear();
    }
    void openList(int n)
    {
        hold(n);
        view.resize(ShelfContentView::shelfWidth, ShelfContentView::listHeight(7));
        view.toggleList();
    }
    void press(int key)
    {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(view.scroll(), &e);
    }
    static qsizetype count(QAccessible::Event type, const QString& name = {})
    {
        return std::count_if(told().begin(), told().end(), [&](const Told& t) {
            return t.type == type && (name.isEmpty() || t.name == name);
        });
    }
    QAccessibleInterface* accessibleList() const
    {
        return QAccessible::queryAccessibleInterface(view.scroll());
    }
};

TEST_F(ShelfListEventsTest, SelectionFocusAndChildrenAreTold)
{
    openList(3);
    view.window()->activateWindow();
    view.scroll()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return view.scroll()->hasFocus(); }));
    EXPECT_EQ(count(QAccessible::ObjectCreated), 0) << "a list just opened is read afresh";
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(count(QAccessible::Selection, "file1.txt"), 1);
    EXPECT_EQ(count(QAccessible::SelectionRemove, "file0.txt"), 1);
    EXPECT_EQ(count(QAccessible::Focus, "file1.txt"), 1);

    // A row removed is told while it still answers, then it goes; the row in
    // its place is the selected one now.
    told().clear();
    accessibleList()->child(1)->actionInterface()->doAction("Remove");
    EXPECT_EQ(count(QAccessible::ObjectDestroyed, "file1.txt"), 1);
    EXPECT_EQ(count(QAccessible::Selection, "file2.txt"), 1);

    // Files added: each is told, up to a bound when thousands come at once.
    told().clear();
    hold(1);
    EXPECT_EQ(count(QAccessible::ObjectCreated, "file3.txt"), 1);
    told().clear();
    hold(500);
    EXPECT_GE(count(QAccessible::ObjectCreated), 1);
    EXPECT_LE(count(QAccessible::ObjectCreated), 100);
}

// With a reader on, opening and walking a long list makes interfaces only
// for the rows it selects, not one per item.
TEST_F(ShelfListEventsTest, AListOfThousandsMakesOnlyWhatIsTold)
{
    openList(5000);
    view.window()->activateWindow();
    view.scroll()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return view.scroll()->hasFocus(); }));
    for (int key : {Qt::Key_End, Qt::Key_Home, Qt::Key_PageDown, Qt::Key_Down})
        press(key);
    EXPECT_EQ(count(QAccessible::Selection), 4);
    EXPECT_LE(ShelfListAccessible::madeCount(view.scroll()), 6);
    EXPECT_EQ(accessibleList()->childCount(), 5000);
    // Back to the pile: the list's item interfaces go.
    view.toggleList();
    TestEnv::processEventsFor(20);
    EXPECT_EQ(ShelfListAccessible::madeCount(view.scroll()), 0);
}

} // namespace
