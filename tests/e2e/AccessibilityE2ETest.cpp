// The program as a screen reader sees it: its accessible tree read over the
// session's accessibility bus (at-spi2-core) with libatspi, as Orca reads it.
#include "Atspi.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QFileInfo>

namespace {

class AccessibilityE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        ASSERT_TRUE(m_bus.isRunning());
    }
    // The tree once `done` accepts it; the failure shows the last tree read.
    ::testing::AssertionResult treeWhere(const std::function<bool(const QJsonObject&)>& done, QJsonObject* tree = nullptr)
    {
        QJsonObject last;
        if (waitForAccessibleTree(m_kavo.processId(), done, &last)) {
            if (tree)
                *tree = last;
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the tree:\n" << describe(last);
    }
    static bool has(const QJsonObject& tree, const QString& role, const QString& name)
    {
        return findAccessible(tree, role, name).has_value();
    }
    // A node of the shelf's window (the frame named `frame`) by role and name.
    static std::optional<AccessibleNode> inShelf(const QJsonObject& tree, const QString& frame, const QString& role,
                                                 const QString& name = {})
    {
        const std::optional<AccessibleNode> shelf = findAccessible(tree, "frame", frame);
        if (!shelf)
            return std::nullopt;
        std::optional<AccessibleNode> found = findAccessible(shelf->node, role, name);
        if (found) {
            QJsonArray path = shelf->path;
            for (const QJsonValue& i : found->path)
                path.append(i);
            found->path = path;
        }
        return found;
    }
    QString mode() const { return m_kavo.list().value_or(Shelves{}).value(0).mode; }

    AccessibilityBus m_bus;
};

TEST_F(AccessibilityE2E, TheShelfIsAWindowNamedForWhatItHoldsAndItsPileShowsTheList)
{
    const QStringList files = {makeFile("photo.png", "p"), makeFile("report.pdf", "r"), makeFile("notes.txt", "n")};
    ASSERT_TRUE(startKavo());
    ASSERT_EQ(openShelfAt({400, 300}, files).items.size(), 3);
    const QString frame = "Shelf, 3 items", pile = "3 items: photo.png, report.pdf, notes.txt";
    QJsonObject tree;
    ASSERT_TRUE(treeWhere([&](const QJsonObject& t) { return inShelf(t, frame, "push button", pile).has_value(); },
                          &tree));
    const AccessibleNode stack = *inShelf(tree, frame, "push button", pile);
    EXPECT_TRUE(stack.hasState("showing")) << describe(tree);
    // The badge's count is in these names: no nameless thing stands for it.
    EXPECT_TRUE(findAllAccessible(findAccessible(tree, "frame", frame)->node, [](const QJsonObject& n) {
                    return n["name"].toString().isEmpty() && n["children"].toArray().isEmpty() &&
                           n["states"].toArray().contains(QStringLiteral("showing"));
                }).isEmpty())
        << describe(tree);
    EXPECT_FALSE(has(tree, "label", "Drop files here")) << describe(tree);
    // The toggle is named for what it does, in both modes, and its
    // description agrees; the pile's default action is the first mode change.
    const auto toggleIs = [&](const QString& name) {
        return treeWhere([&](const QJsonObject& t) {
            const auto toggle = inShelf(t, frame, "push button", name);
            return toggle && toggle->description() == name && toggle->hasState("showing");
        });
    };
    EXPECT_TRUE(toggleIs("Show items"));
    ASSERT_EQ(stack.actions().value(0), "Press") << describe(tree);
    ASSERT_TRUE(doAccessibleAction(m_kavo.processId(), stack.path, "Press"));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return mode() == u"list"; })) << mode().toStdString();
    EXPECT_TRUE(toggleIs("Show as stack"));
    EXPECT_TRUE(treeWhere([&](const QJsonObject& t) {
        const auto s = inShelf(t, frame, "push button", pile);
        return !s || !s->hasState("showing");
    })) << "the pile is not on show in list mode";
    const auto toggle = inShelf(tree = accessibleTree(m_kavo.processId()).value_or(QJsonObject{}), frame,
                                "push button", "Show as stack");
    ASSERT_TRUE(toggle) << describe(tree);
    ASSERT_TRUE(doAccessibleAction(m_kavo.processId(), toggle->path, "Press"));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return mode() == u"stack"; })) << mode().toStdString();
    EXPECT_TRUE(toggleIs("Show items"));
}

TEST_F(AccessibilityE2E, AnEmptyShelfSaysWhatItIsForAndTheNamesFollowWhatLands)
{
    const QString one = makeFile("one.txt", "1");
    makeFile("two.txt", "2");
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({300, 450});
    ASSERT_TRUE(shelf.items.isEmpty()) << describe({shelf});
    EXPECT_TRUE(treeWhere([](const QJsonObject& t) {
        const auto hint = inShelf(t, "Empty shelf", "label", "Drop files here");
        const auto toggle = inShelf(t, "Empty shelf", "push button", "Show items");
        return hint && hint->hasState("showing") && toggle && !toggle->hasState("showing");
    }));
    // Files dropped from a file manager: the names follow, the hint goes,
    // and a reader listening is told.
    Pcmanfm files;
    ASSERT_TRUE(files.open(QFileInfo(one).path(), {700, 100}, 2)) << files.errors().toStdString();
    AccessibleEvents events;
    ASSERT_TRUE(events.listen(m_kavo.processId()));
    ASSERT_TRUE(Input::run(Input::click(files.emptySpace()) + Input::key("ctrl+a") +
                           Input::drag(files.row(1), stackCentre(shelf.frame))));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).items.size() == 2; }));
    EXPECT_TRUE(treeWhere([](const QJsonObject& t) {
        return inShelf(t, "Shelf, 2 items", "push button", "2 items: one.txt, two.txt") &&
               !has(t, "label", "Drop files here") && !has(t, "frame", "Empty shelf");
    }));
    for (const auto& [role, name] : {std::pair{"frame", "Shelf, 2 items"}, {"push button", "2 items: one.txt, two.txt"}})
        EXPECT_TRUE(events.waitFor([&](const QJsonObject& e) {
            return e["type"].toString() == u"object:property-change:accessible-name" &&
                   e["role"].toString() == QString(role) && e["name"].toString() == QString(name);
        })) << role << " not renamed: " << events.describe();
    for (const auto& [change, child] : {std::pair{"add", "2 items: one.txt, two.txt"}, {"remove", "Drop files here"}})
        EXPECT_TRUE(events.waitFor([&](const QJsonObject& e) {
            return e["type"].toString() == u"object:children-changed:" + QString(change) &&
                   e["child"].toString() == QString(child);
        })) << child << " not told as " << change << ": " << events.describe();
}

// A menu that is open is in the tree, with its entries; it leaves with Escape.
struct OpenMenu
{
    const char* name;
    const char* entry; // an entry the menu holds
};

class AccessibleMenuE2E : public AccessibilityE2E, public ::testing::WithParamInterface<OpenMenu>
{
};

TEST_P(AccessibleMenuE2E, IsInTheTreeWhileOpen)
{
    const OpenMenu menu = GetParam();
    Openbox wm;
    Trayer trayer;
    const bool shelfMenu = std::string(menu.name) == "Shelf";
    if (shelfMenu) {
        ASSERT_TRUE(wm.start()) << wm.errors().toStdString();
        ASSERT_TRUE(startKavo());
        const ListedShelf shelf = openShelfAt({400, 300}, {makeFile("a.txt", "a")});
        const auto window = waitForClient(
            [&](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title.startsWith(u"Kavo Shelf"); },
            10000);
        ASSERT_TRUE(window) << describe({shelf});
        // The shelf made the active window as Alt+Tab makes it, then the Menu key.
        ASSERT_TRUE(Input::activate(window->id, Input::key("Menu")));
    } else {
        ASSERT_TRUE(trayer.start("bottom", "right", {})) << trayer.errors().toStdString();
        ASSERT_TRUE(startKavo());
        const std::optional<ProbedWindow> icon = trayer.kavoIcon();
        ASSERT_TRUE(icon) << "the tray icon did not appear";
        ASSERT_TRUE(Input::run(Input::click(icon->geometry.center(), 3)));
    }
    const auto open = [&](const QJsonObject& t) {
        const auto m = findAccessible(t, "popup menu");
        return m && findAccessible(m->node, "menu item", menu.entry) && m->hasState("showing");
    };
    EXPECT_TRUE(treeWhere(open));
    ASSERT_TRUE(Input::run(Input::key("Escape")));
    EXPECT_TRUE(treeWhere([&](const QJsonObject& t) { return !open(t); }));
}

INSTANTIATE_TEST_SUITE_P(Menus, AccessibleMenuE2E,
                         ::testing::Values(OpenMenu{"Shelf", "Copy"}, OpenMenu{"XEmbedTray", "New Shelf"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
