// The tray icon and its menu as desktops show them: embedded in an XEmbed
// tray (trayer), and over D-Bus (StatusNotifierItem with com.canonical.dbusmenu,
// the way of KDE Plasma, GNOME's AppIndicator extension, Xfce and Cinnamon).
#include "DBusTray.h"
#include "HelperProcess.h"
#include "KavoTest.h"
#include "PointerScript.h"
#include "TestEnvironment.h"
#include "Trayer.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <optional>
#include <ostream>

namespace {

using Shelves = QList<ListedShelf>;

// Where trayer sits, and so where the tray icon is.
struct TrayPlace
{
    const char* edge;
    const char* align;
};

void PrintTo(const TrayPlace& place, std::ostream* os) { *os << place.edge << '-' << place.align; }

class XEmbedTrayE2E : public KavoTest, public ::testing::WithParamInterface<TrayPlace>
{
};

TEST_P(XEmbedTrayE2E, NewShelfFromTheTrayMenuOpensUnderTheIcon)
{
    Trayer trayer;
    ASSERT_TRUE(trayer.start(GetParam().edge, GetParam().align)) << trayer.errors().toStdString();
    ASSERT_TRUE(startKavo());
    const std::optional<ProbedWindow> icon = trayer.kavoIcon();
    ASSERT_TRUE(icon) << "the tray icon did not appear";

    // A right click opens the menu; its first entry is "New Shelf".
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(icon->geometry.center()) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("3")}));
    const auto menu = m_display.waitForWindow(
        [](const ProbedWindow& w) {
            return w.viewable && w.overrideRedirect && w.instance == u"kavo";
        },
        5000);
    ASSERT_TRUE(menu) << "no menu";
    ASSERT_TRUE(PointerScript::run({QStringLiteral("key"), QStringLiteral("Down"),
                                    QStringLiteral("key"), QStringLiteral("Return")}));

    // Centred under the icon, its top edge 20 pixels below the icon's bottom
    // (clamped into the screen).
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    const QRect r = icon->geometry;
    const QPointF under(r.x() + r.width() / 2.0, r.y() + r.height() + 20);
    EXPECT_EQ(shelves[0].frame, placed(under, true))
        << "icon at " << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
    EXPECT_TRUE(shelves[0].items.isEmpty());
    EXPECT_TRUE(TestEnv::waitUntil([&] {
        const auto again = m_display.describe(menu->id);
        return !again || !again->viewable;
    })) << "the menu closed with the choice";
}

INSTANTIATE_TEST_SUITE_P(Trayer, XEmbedTrayE2E,
                         ::testing::Values(TrayPlace{"bottom", "right"},
                                           TrayPlace{"top", "center"}),
                         [](const ::testing::TestParamInfo<TrayPlace>& info) {
                             return std::string(info.param.edge) + "_" + info.param.align;
                         });

// The icon is drawn to stand out on the tray's own panel, whatever the
// application's palette says.
TEST_F(KavoTest, TheTrayIconStandsOutOnTheTraysPanel)
{
    for (const bool dark : {true, false}) {
        SCOPED_TRACE(dark ? "dark panel" : "light panel");
        const QString gtkrc = m_kavo.root() + (dark ? "/dark.gtkrc" : "/light.gtkrc");
        ASSERT_TRUE(TestEnv::writeFile(
            gtkrc, QStringLiteral("style \"panel\" { bg[NORMAL] = \"%1\" }\nwidget \"*\" style \"panel\"\n")
                       .arg(dark ? "#1e1e1e" : "#f0f0f0")
                       .toUtf8()));
        Trayer trayer;
        ASSERT_TRUE(trayer.start("bottom", "right", gtkrc)) << trayer.errors().toStdString();
        KavoSession kavo;
        kavo.setPreference(QStringLiteral("hasLaunchedBefore"), true);
        ASSERT_TRUE(kavo.start());
        const std::optional<ProbedWindow> icon = trayer.kavoIcon();
        ASSERT_TRUE(icon);
        // The ink is what differs most from the panel's colour.
        QImage img;
        int light = 0, darkInk = 0;
        ASSERT_TRUE(TestEnv::waitUntil([&] {
            img = m_display.image(*icon);
            light = darkInk = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const int l = QColor(img.pixel(x, y)).lightness();
                    light += l > 200;
                    darkInk += l < 70;
                }
            }
            return !img.isNull() && (dark ? light : darkInk) > 20;
        })) << "light pixels " << light << ", dark pixels " << darkInk;
    }
}

// The D-Bus tray: a watcher with a host on the session bus, started before
// Kavo (which chooses its tray when it starts).
class DBusTrayE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
        // Kavo's symbolic icon, installed where the icon theme finds it.
        const QString apps = m_kavo.root() + QStringLiteral("/data/icons/hicolor/symbolic/apps");
        ASSERT_TRUE(QDir().mkpath(apps));
        for (const char* name : {"io.github.kavo.Kavo-symbolic.svg", "io.github.kavo.Kavo-update-symbolic.svg"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(KAVO_SOURCE_DIR "/resources/icons/") + name,
                                    apps + u'/' + QLatin1String(name)));
        ASSERT_TRUE(startKavo());
        ASSERT_TRUE(TestEnv::waitUntil([&] { return !watcher.items().isEmpty(); }, 10000))
            << "Kavo registered no tray item";
        menu.emplace(watcher.items().first());
    }

    QStringList texts() const
    {
        QStringList out;
        for (const MenuEntry& e : menu->entries())
            out << (e.isSeparator() ? QStringLiteral("---") : e.text());
        return out;
    }
    std::optional<MenuEntry> entry(const QString& text) const
    {
        for (const MenuEntry& e : menu->entries()) {
            if (e.text() == text)
                return e;
        }
        return std::nullopt;
    }

    StatusNotifierWatcher watcher;
    std::optional<TrayMenu> menu;
};

TEST_F(DBusTrayE2E, TheIconIsTheSymbolicOneTheHostRecolours)
{
    EXPECT_EQ(menu->itemProperty(QStringLiteral("IconName")).toString(), "io.github.kavo.Kavo-symbolic");
    EXPECT_EQ(menu->itemProperty(QStringLiteral("Title")).toString(), "Kavo");
}

TEST_F(DBusTrayE2E, NewShelfOpensAShelf)
{
    ASSERT_TRUE(menu->click(QStringLiteral("New Shelf")));
    const Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(shelves[0].visible);
    EXPECT_TRUE(shelves[0].items.isEmpty());
}

TEST_F(DBusTrayE2E, OpenShelvesAreListedUnderATitleByTheirNamesAsTheyStand)
{
    const QString pdf = makeFile(QStringLiteral("R&D plan.pdf"), "%PDF-1.4");
    const QString notes = makeFile(QStringLiteral("meeting_notes.txt"), "notes");
    for (const QString& file : {pdf, notes})
        ASSERT_EQ(m_kavo.run({QStringLiteral("--new-shelf"), file}).exitCode, 0);
    ASSERT_EQ(m_kavo.run({QStringLiteral("--new-shelf")}).exitCode, 0);
    ASSERT_EQ(m_kavo.waitForShelfCount(3).size(), 3);

    const QStringList shown = texts();
    const qsizetype title = shown.indexOf(QStringLiteral("Open Shelves"));
    ASSERT_GT(title, 0) << shown.join(u'|').toStdString();
    EXPECT_EQ(shown.mid(title - 1, 5),
              QStringList({"---", "Open Shelves", "R&D plan.pdf", "meeting_notes.txt",
                           "Close All Shelves"}))
        << shown.join(u'|').toStdString();
    EXPECT_FALSE(entry(QStringLiteral("Open Shelves"))->isEnabled());

    // Picking a shelf brings it forward; the list stays as it was.
    ASSERT_TRUE(menu->click(QStringLiteral("R&D plan.pdf")));
    EXPECT_EQ(m_kavo.waitForShelfCount(3).size(), 3);
}

TEST_F(DBusTrayE2E, TogglesFlipTheirSettings)
{
    const auto shake = entry(QStringLiteral("Shake While Dragging to Open"));
    ASSERT_TRUE(shake);
    EXPECT_EQ(shake->toggleState(), 1);
    ASSERT_TRUE(menu->click(QStringLiteral("Shake While Dragging to Open")));
    EXPECT_EQ(entry(QStringLiteral("Shake While Dragging to Open"))->toggleState(), 0);
    QSettings stored(m_kavo.configHome() + QStringLiteral("/Kavo/Kavo.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("shakeEnabled")).toString(), u"false");

    ASSERT_TRUE(menu->click(QStringLiteral("Check for Updates Automatically")));
    EXPECT_EQ(entry(QStringLiteral("Check for Updates Automatically"))->toggleState(), 0);
}

} // namespace
