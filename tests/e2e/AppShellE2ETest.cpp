// The application shell of the running program: the hot key, the commands a
// second `kavo` sends, the welcome on a first launch and the tray menu.
#include "HelperProcess.h"
#include "KavoTest.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QSettings>

#include <optional>
#include <ostream>

namespace {

using Shelves = QList<ListedShelf>;

const QString hotKey = QStringLiteral("ctrl+alt+space");

// The welcome is a dialog titled with the program's name.
bool isWelcome(const ProbedWindow& w)
{
    return w.viewable && !w.overrideRedirect && w.title == u"Kavo" && w.geometry.width() > 100;
}

class AppShellE2E : public KavoTest
{
protected:
    // Presses the hot key with the pointer at `p`.
    static bool hotKeyAt(QPoint p)
    {
        return PointerScript::run(PointerScript::moveTo(p) +
                                  QStringList{QStringLiteral("key"), hotKey});
    }
};

TEST_F(AppShellE2E, TheHotKeyOpensAShelfAtThePointerEachTimeItIsPressed)
{
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(hotKeyAt(QPoint(640, 400)));
    Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPoint(640, 400)));
    EXPECT_TRUE(shelves[0].visible);
    EXPECT_EQ(shelves[0].mode, u"stack");
    EXPECT_TRUE(shelves[0].items.isEmpty());

    // Pressed again at the same place: a second shelf, on top of the first.
    ASSERT_TRUE(hotKeyAt(QPoint(640, 400)));
    shelves = m_kavo.waitForShelfCount(2);
    ASSERT_EQ(shelves.size(), 2);
    EXPECT_EQ(shelves[1].frame, shelves[0].frame);

    // Near a corner the shelf stays inside the screen.
    ASSERT_TRUE(hotKeyAt(QPoint(1275, 795)));
    shelves = m_kavo.waitForShelfCount(3);
    ASSERT_EQ(shelves.size(), 3);
    EXPECT_EQ(shelves[2].frame, placed(QPoint(1275, 795)));
    EXPECT_NE(shelves[2].frame.center(), QPoint(1275, 795));

    // A home that has launched before was not welcomed.
    EXPECT_FALSE(m_display.waitForWindow(isWelcome, 0));
}

TEST_F(AppShellE2E, NewShelfFromASecondProcessOpensInTheRunningInstance)
{
    const QString a = makeFile(QStringLiteral("a.txt"), "a");
    const QString b = makeFile(QStringLiteral("b c.txt"), "b");
    ASSERT_TRUE(startKavo());

    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(QPoint(500, 300))));
    KavoSession::Result r = m_kavo.run({QStringLiteral("--new-shelf"), a});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_EQ(shelves[0].frame, placed(QPoint(500, 300)));
    ASSERT_EQ(shelves[0].items.size(), 1);
    EXPECT_EQ(shelves[0].items[0].path, a);
    EXPECT_FALSE(shelves[0].items[0].temporary);

    // Each command opens a shelf of its own, with the files in order.
    r = m_kavo.run({QStringLiteral("--new-shelf"), b, a});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    shelves = m_kavo.waitForShelfCount(2);
    ASSERT_EQ(shelves.size(), 2);
    EXPECT_EQ(shelves[1].paths(), (QStringList{b, a}));
    EXPECT_EQ(shelves[0].paths(), QStringList{a});
}

TEST_F(AppShellE2E, CommandsThatCannotWorkSaySoAndChangeNothing)
{
    // Nobody runs yet.
    KavoSession::Result r = m_kavo.run({QStringLiteral("--list")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("not running"))) << r.err.toStdString();

    ASSERT_TRUE(startKavo());
    const QString missing = m_kavo.root() + QStringLiteral("/files/missing.txt");
    const QList<std::pair<QStringList, QString>> refused{
        {{QStringLiteral("--bogus")}, QStringLiteral("unknown option: --bogus")},
        {{QStringLiteral("--new-shelf"), missing}, QStringLiteral("no such file: ") + missing},
        {{QStringLiteral("--list"), QStringLiteral("extra")},
         QStringLiteral("--list takes no arguments")},
        {{QStringLiteral("stray")}, QStringLiteral("unexpected argument: stray")}};
    for (const auto& [arguments, message] : refused) {
        r = m_kavo.run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
    }
    // The running instance opened nothing for them.
    const auto shelves = m_kavo.list();
    ASSERT_TRUE(shelves);
    EXPECT_TRUE(shelves->isEmpty()) << describe(*shelves).toStdString();

    // A plain second start leaves the first one in charge.
    r = m_kavo.run({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("already running"))) << r.out.toStdString();
}

TEST_F(AppShellE2E, AFreshHomeIsWelcomed)
{
    // A home that never ran Kavo.
    QSettings(m_kavo.configHome() + QStringLiteral("/Kavo/Kavo.conf"), QSettings::IniFormat)
        .clear();
    ASSERT_TRUE(startKavo());
    const auto welcome = m_display.waitForWindow(isWelcome, 10000);
    ASSERT_TRUE(welcome);
    // Written before the welcome shows, so it is never shown twice.
    QSettings stored(m_kavo.configHome() + QStringLiteral("/Kavo/Kavo.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("hasLaunchedBefore")).toString(), u"true");
    // The welcome waits for the user without keeping commands from working.
    const auto shelves = m_kavo.list();
    ASSERT_TRUE(shelves);
    EXPECT_TRUE(shelves->isEmpty());
}

} // namespace
