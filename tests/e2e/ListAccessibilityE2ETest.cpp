// A shelf's list as a screen reader reads it and as a keyboard drives it:
// its items in the accessible tree (read with libatspi over the session's
// accessibility bus), and real key presses under a real window manager.
#include "Atspi.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>

namespace {

class ListAccessibilityE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        ASSERT_TRUE(m_bus.isRunning());
    }
    // Three files of known kinds and sizes.
    QStringList threeFiles()
    {
        return {makeFile("photo.png", QByteArray(2000, 'p')), makeFile("report.pdf", QByteArray(1500, 'r')),
                makeFile("notes.txt", "notes")};
    }
    // How a reader should hear a file: its kind and size in this locale.
    static QString described(const QString& path)
    {
        const QString kind = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).comment();
        return kind + ", " + QLocale().formattedDataSize(QFileInfo(path).size(), 1, QLocale::DataSizeSIFormat);
    }
    // The shelf's list on show with `count` items, with its path.
    static std::optional<AccessibleNode> findList(const QJsonObject& tree, int count)
    {
        const QList<AccessibleNode> lists = findAllAccessible(tree, [&](const QJsonObject& n) {
            return n["role"].toString() == "list" && n["children"].toArray().size() == count &&
                   n["states"].toArray().contains(QStringLiteral("showing"));
        });
        return lists.isEmpty() ? std::nullopt : std::optional(lists.first());
    }
    std::optional<AccessibleNode> waitForList(int count, QJsonObject* tree)
    {
        waitForAccessibleTree(
            m_kavo.processId(), [&](const QJsonObject& t) { return findList(t, count).has_value(); }, tree);
        return findList(*tree, count);
    }
    QString mode() const { return m_kavo.list().value_or(Shelves{}).value(0).mode; }
    // The control that has the keyboard focus: the first focused node that
    // is not a window.
    static std::optional<AccessibleNode> focused(const QJsonObject& tree)
    {
        const QList<AccessibleNode> all = findAllAccessible(tree, [](const QJsonObject& n) {
            return n["role"].toString() != "frame" && n["states"].toArray().contains(QStringLiteral("focused"));
        });
        return all.isEmpty() ? std::nullopt : std::optional(all.first());
    }
    // Presses Tab until `target` accepts the focused control, each time once
    // the reader's tree shows the focus moved; at most a few presses.
    bool tabTo(const std::function<bool(const AccessibleNode&)>& target, QJsonObject* tree)
    {
        QJsonArray last;
        for (int presses = 0; presses <= 4; ++presses) {
            if (presses > 0 && !Input::run(Input::key("Tab")))
                return false;
            std::optional<AccessibleNode> now;
            const bool moved = waitForAccessibleTree(
                m_kavo.processId(),
                [&](const QJsonObject& t) {
                    now = focused(t);
                    return now && (presses == 0 || now->path != last);
                },
                tree, 5000);
            if (!moved)
                return false;
            if (target(*now))
                return true;
            last = now->path;
        }
        return false;
    }

    AccessibilityBus m_bus;
};

TEST_F(ListAccessibilityE2E, TheListsItemsAreNamedDescribedAndRemovedThroughTheirActions)
{
    const QStringList files = threeFiles();
    ASSERT_TRUE(startKavo());
    ASSERT_EQ(openShelfAt({400, 300}, files).items.size(), 3);
    // To the list through the pile's own action, as a reader would.
    QJsonObject tree;
    ASSERT_TRUE(waitForAccessibleTree(
        m_kavo.processId(),
        [](const QJsonObject& t) {
            return findAccessible(t, "push button", "3 items: photo.png, report.pdf, notes.txt").has_value();
        },
        &tree))
        << describe(tree);
    const AccessibleNode pile = *findAccessible(tree, "push button", "3 items: photo.png, report.pdf, notes.txt");
    ASSERT_TRUE(doAccessibleAction(m_kavo.processId(), pile.path, pile.actions().value(0)));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return mode() == u"list"; })) << mode().toStdString();

    // Each item: a list item named by its file, described by kind and size
    // (once the file system has told them), with its actions and its button.
    std::optional<AccessibleNode> list;
    ASSERT_TRUE(waitForAccessibleTree(
        m_kavo.processId(),
        [&](const QJsonObject& t) {
            list = findList(t, 3);
            return list && list->children().at(0).toObject()["description"].toString() == described(files[0]);
        },
        &tree))
        << describe(tree);
    const QJsonArray items = list->children();
    for (int i = 0; i < 3; ++i) {
        const AccessibleNode item{items[i].toObject(), QJsonArray()};
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(item.node["role"].toString(), "list item");
        EXPECT_EQ(item.name(), QFileInfo(files[i]).fileName());
        EXPECT_EQ(item.description(), described(files[i]));
        for (const char* state : {"focusable", "selectable", "showing", "visible"})
            EXPECT_TRUE(item.hasState(state)) << state << "\n" << describe(item.node);
        EXPECT_FALSE(item.hasState("selected"));
        EXPECT_EQ(item.actions(), (QStringList{"Open", "Remove", "Show in File Manager"}));
        ASSERT_EQ(item.children().size(), 1) << describe(item.node);
        const QJsonObject button = item.children()[0].toObject();
        EXPECT_EQ(button["role"].toString(), "push button");
        EXPECT_EQ(button["name"].toString(), "Remove from shelf");
        EXPECT_TRUE((AccessibleNode{button, {}}.actions().contains("Press")));
    }

    // Remove, as a reader does it: the file leaves the shelf and the list.
    QJsonArray second = list->path;
    second.append(1);
    ASSERT_TRUE(doAccessibleAction(m_kavo.processId(), second, "Remove"));
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.value(0).paths() == QStringList{files[0], files[2]}; }, &shelves))
        << describe(shelves);
    // And through the remove button of the first.
    list = waitForList(2, &tree);
    ASSERT_TRUE(list) << describe(tree);
    QJsonArray button = list->path;
    button.append(0);
    button.append(0);
    ASSERT_TRUE(doAccessibleAction(m_kavo.processId(), button, "Press"));
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.value(0).paths() == QStringList{files[2]}; }, &shelves))
        << describe(shelves);
}

// Keys only, under Openbox: the shelf made the active window as Alt+Tab
// makes it, Tab to the list toggle (the reader's tree says where the focus
// is), Space, then Down selects the first row and Delete removes it alone.
TEST_F(ListAccessibilityE2E, TheListFromTheKeyboard)
{
    Openbox wm;
    ASSERT_TRUE(wm.start()) << wm.errors().toStdString();
    const QStringList files = threeFiles();
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({400, 300}, files);
    ASSERT_EQ(shelf.items.size(), 3);
    const auto window = waitForClient(
        [&](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title.startsWith(u"Kavo Shelf"); },
        10000);
    ASSERT_TRUE(window) << describe({shelf});
    ASSERT_TRUE(Input::activate(window->id));

    QJsonObject tree;
    ASSERT_TRUE(tabTo([](const AccessibleNode& n) { return n.name() == "Show items"; }, &tree))
        << "Tab never reached the list toggle:\n" << describe(tree);
    ASSERT_TRUE(Input::run(Input::key("space")));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return mode() == u"list"; })) << mode().toStdString();
    ASSERT_TRUE(tabTo([](const AccessibleNode& n) { return n.node["role"].toString() == "list"; }, &tree))
        << "Tab never reached the list:\n" << describe(tree);
    ASSERT_TRUE(Input::run(Input::key("Down")));
    EXPECT_TRUE(waitForAccessibleTree(
        m_kavo.processId(),
        [](const QJsonObject& t) {
            const auto row = findAccessible(t, "list item", "photo.png");
            return row && row->hasState("selected") && row->hasState("focused");
        },
        &tree))
        << describe(tree);
    // Shift+F10 opens the selected row's own menu, not the shelf's.
    const auto rowMenu = [](const QJsonObject& t) {
        const QList<AccessibleNode> menus = findAllAccessible(t, [](const QJsonObject& n) {
            return n["role"].toString() == "popup menu" || n["role"].toString() == "menu";
        });
        return menus.size() == 1 && findAccessible(menus[0].node, "menu item", "Remove from Shelf") &&
               !findAccessible(menus[0].node, "menu item", "Remove All");
    };
    ASSERT_TRUE(Input::run(Input::key("shift+F10")));
    EXPECT_TRUE(waitForAccessibleTree(m_kavo.processId(), rowMenu, &tree)) << describe(tree);
    ASSERT_TRUE(Input::run(Input::key("Escape")));
    EXPECT_TRUE(waitForAccessibleTree(
        m_kavo.processId(),
        [&](const QJsonObject& t) {
            return !rowMenu(t) && focused(t) && focused(t)->node["role"].toString() == "list";
        },
        &tree))
        << describe(tree);
    ASSERT_TRUE(Input::run(Input::key("Delete")));
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.value(0).paths() == QStringList{files[1], files[2]}; }, &shelves))
        << describe(shelves);
    // The row that took its place is selected: a second Delete takes it.
    ASSERT_TRUE(Input::run(Input::key("Delete")));
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.value(0).paths() == QStringList{files[2]}; }, &shelves))
        << describe(shelves);
}

} // namespace
