// Shelves that outlive the program: however Kavo ends, the next start brings
// back the shelves that held files, where they were and as they were shown.
#include "DBusTray.h"
#include "Input.h"
#include "Kavo.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <algorithm>
#include <csignal>

namespace {

enum class Ending { Killed, Terminated, Quit };

// A shelf as the journal keeps it and `kavo --list` shows it.
struct Kept
{
    QRect frame;
    QString mode;
    QList<std::pair<QByteArray, bool>> items; // path bytes, temporary
    bool operator==(const Kept&) const = default;
};

QList<Kept> kept(const Shelves& shelves)
{
    QList<Kept> out;
    for (const ListedShelf& shelf : shelves) {
        if (shelf.items.isEmpty())
            continue;
        out << Kept{shelf.frame, shelf.mode, {}};
        for (const ListedShelf::Item& item : shelf.items)
            out.last().items << std::pair{QFile::encodeName(item.path), item.temporary};
    }
    return out;
}

std::string describe(const QList<Kept>& shelves)
{
    QStringList out;
    for (const Kept& s : shelves) {
        QStringList items;
        for (const auto& [path, temporary] : s.items)
            items << QString::fromUtf8(path) + (temporary ? "*" : "");
        out << QStringLiteral("%1,%2 %3x%4 %5 [%6]")
                   .arg(s.frame.x())
                   .arg(s.frame.y())
                   .arg(s.frame.width())
                   .arg(s.frame.height())
                   .arg(s.mode, items.join(u' '));
    }
    return out.join(" | ").toStdString();
}

class JournalE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        // A D-Bus tray, for its menu's "Quit Kavo" and toggles.
        ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
    }

    // Starts Kavo with `arguments` and finds its tray menu.
    ::testing::AssertionResult start(const QStringList& arguments = {})
    {
        const qsizetype items = watcher.items.size();
        if (!m_kavo.start(arguments))
            return ::testing::AssertionFailure() << "kavo did not answer --list: " << m_kavo.errors();
        if (!TestEnv::waitUntil([&] { return watcher.items.size() > items; }, 10000))
            return ::testing::AssertionFailure() << "kavo registered no tray item";
        menu.emplace(watcher.items.last());
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult end(Ending how)
    {
        if (how == Ending::Killed) {
            m_kavo.stop();
            return ::testing::AssertionSuccess();
        }
        if (how == Ending::Terminated)
            ::kill(pid_t(m_kavo.processId()), SIGTERM);
        else
            menu->click("Quit Kavo"); // the answer may not outlive the program
        const std::optional<int> status = m_kavo.waitForExit();
        if (!status || *status != 0)
            return ::testing::AssertionFailure() << "kavo did not end normally: " << m_kavo.errors();
        m_kavo.stop();
        return ::testing::AssertionSuccess();
    }

    QString journalFile() const { return m_kavo.root() + "/state/Kavo/shelves.json"; }

    // The shelves the journal holds now (nothing when it cannot be read).
    std::optional<QList<Kept>> journal() const
    {
        QFile file(journalFile());
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QJsonValue all = QJsonDocument::fromJson(file.readAll()).object().value("shelves");
        if (!all.isArray())
            return std::nullopt;
        QList<Kept> shelves;
        for (const QJsonValue& s : all.toArray()) {
            const QJsonArray f = s["frame"].toArray();
            shelves << Kept{QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt()), s["mode"].toString(), {}};
            for (const QJsonValue& i : s["items"].toArray())
                shelves.last().items << std::pair{QByteArray::fromPercentEncoding(i["path"].toString().toLatin1()),
                                                  i["temporary"].toBool()};
        }
        return shelves;
    }

    // Waits until the journal holds what `kavo --list` shows.
    ::testing::AssertionResult journaled()
    {
        std::optional<QList<Kept>> written;
        QList<Kept> shown;
        if (TestEnv::waitUntil([&] {
                shown = kept(m_kavo.list().value_or(Shelves{}));
                written = journal();
                return written == shown;
            }, 10000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "shown " << describe(shown) << "\njournaled "
                                             << (written ? describe(*written) : "nothing");
    }

    // The shelves of a start with `--new-shelf FILE`, which opens its shelf
    // once the shelves of the last run are back: those before it.
    ::testing::AssertionResult restartedWith(const QString& file, QList<Kept>* restored)
    {
        if (auto started = start({"--new-shelf", file}); !started)
            return started;
        Shelves shelves;
        if (!m_kavo.waitForShelves(
                [&](const Shelves& s) { return !s.isEmpty() && s.last().paths() == QStringList{file}; }, &shelves))
            return ::testing::AssertionFailure() << "no shelf of the new file: " << ::describe(shelves);
        shelves.removeLast();
        *restored = kept(shelves);
        if (shelves.size() != restored->size())
            return ::testing::AssertionFailure() << "an empty shelf came back: " << ::describe(shelves);
        for (const ListedShelf& shelf : shelves) {
            if (!shelf.visible)
                return ::testing::AssertionFailure() << "a shelf came back hidden";
        }
        return ::testing::AssertionSuccess();
    }

    StatusNotifierWatcher watcher;
    std::optional<TrayMenu> menu;
};

struct Case
{
    const char* name;
    Ending ending;
    bool reopen; // the tray menu's "Reopen Shelves at Start"
    bool restored;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EndingsE2E : public JournalE2E, public ::testing::WithParamInterface<Case>
{
};

// Two shelves holding files (one shown as a list) and one closed just
// before the end; a file deleted while Kavo is not running.
TEST_P(EndingsE2E, TheShelvesComeBackAtTheirFramesInTheirModesWithTheFilesThatAreLeft)
{
    const Case& c = GetParam();
    const QString a = makeFile("a.txt", "a"), b = makeFile("b report.pdf", "%PDF-1.4"), d = makeFile("d.txt", "d"),
                  e = makeFile("e.txt", "e"), gone = makeFile("gone.txt", "gone"), later = makeFile("later.txt", "later");
    ASSERT_TRUE(start());
    const QString reopen = "Reopen Shelves at Start";
    ASSERT_EQ(menu->entry(reopen).value_or(MenuEntry{}).toggleState(), 1) << "on by default";
    if (!c.reopen) {
        ASSERT_TRUE(menu->click(reopen));
        EXPECT_TRUE(menu->showsToggle(reopen, 0));
        EXPECT_EQ(QSettings(m_kavo.configFile(), QSettings::IniFormat).value("reopenShelves").toString(), "false");
    }
    openShelfAt({300, 300}, {a, gone, b});
    const ListedShelf listed = openShelfAt({900, 450}, {d, e});
    const ListedShelf closed = openShelfAt({600, 600}, {later});
    // A click on the pile shows the list, and the shelf grows to it.
    ASSERT_TRUE(Input::run(Input::click(stackCentre(listed.frame))));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.size() == 3 && s[1].mode == "list" && s[1].frame.height() != listed.frame.height(); },
        &shelves))
        << ::describe(shelves);
    // Its close button, in the header's left corner.
    ASSERT_TRUE(Input::run(Input::click(closed.frame.topLeft() + QPoint(22, 18))));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 2; }, &shelves)) << ::describe(shelves);
    // A crash comes without warning: the journal must hold the shelves by
    // then. A quit writes them itself.
    if (c.ending == Ending::Killed) {
        ASSERT_TRUE(journaled());
    }
    const QList<Kept> before = kept(m_kavo.list().value_or(Shelves{}));
    ASSERT_EQ(before.size(), 2);
    ASSERT_EQ(before[1].mode, "list");

    ASSERT_TRUE(end(c.ending));
    ASSERT_TRUE(QFile::remove(gone));
    QList<Kept> restored;
    ASSERT_TRUE(restartedWith(makeFile("new.txt", "new"), &restored));
    if (!c.restored) {
        EXPECT_TRUE(restored.isEmpty()) << describe(restored);
        return;
    }
    QList<Kept> expected = before;
    expected[0].items.removeAt(1);
    EXPECT_EQ(restored, expected) << "restored " << describe(restored) << "\nexpected " << describe(expected);
    // Kept from then on like any shelf.
    EXPECT_TRUE(journaled());
}

INSTANTIATE_TEST_SUITE_P(
    Endings, EndingsE2E,
    ::testing::Values(Case{"SIGKILL", Ending::Killed, true, true}, Case{"SIGTERM", Ending::Terminated, true, true},
                      Case{"QuitKavo", Ending::Quit, true, true},
                      Case{"SIGKILL_reopenOff", Ending::Killed, false, true},
                      Case{"SIGTERM_reopenOff", Ending::Terminated, false, false},
                      Case{"QuitKavo_reopenOff", Ending::Quit, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Text pasted from the clipboard is a file Kavo wrote: after a crash it is
// back, still Kavo's own, in its drop folder that the start-up's clean-up
// keeps.
TEST_F(JournalE2E, AFileKavoWroteComesBackAsItsOwn)
{
    ASSERT_TRUE(start());
    QGuiApplication::clipboard()->setText("Parked text\nsecond line");
    ASSERT_TRUE(TestEnv::waitUntil([&] { return menu->entry("New Shelf from Clipboard").value_or(MenuEntry{}).isEnabled(); },
                                   10000))
        << "the text on the clipboard";
    ASSERT_TRUE(menu->click("New Shelf from Clipboard"));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 1; }, &shelves))
        << ::describe(shelves);
    ASSERT_TRUE(shelves[0].items[0].temporary);
    const QString written = shelves[0].items[0].path;
    ASSERT_TRUE(journaled());
    const QList<Kept> before = kept(shelves);
    ASSERT_TRUE(end(Ending::Killed));
    QList<Kept> restored;
    ASSERT_TRUE(restartedWith(makeFile("new.txt", "new"), &restored));
    EXPECT_EQ(restored, before) << describe(restored);
    EXPECT_TRUE(QFileInfo::exists(written));
}

// A journal that cannot be read is put aside and said once; Kavo starts
// with no shelves and answers.
TEST_F(JournalE2E, ADamagedJournalIsPutAsideAndKavoStartsWithNoShelves)
{
    const QString file = makeFile("a.txt", "a");
    const QByteArray good = "{\"version\":1,\"shelves\":[{\"frame\":[100,100,216,244],\"mode\":\"stack\",\"items\":[{\"path\":\"" +
                            QFile::encodeName(file) + "\"}]}]}";
    for (const QByteArray& damaged : {good.left(good.size() - 9), QByteArray("\x89PNG\r\n\x1A\n", 8),
                                      QByteArray(good).replace(QFile::encodeName(file), "a.txt")}) {
        SCOPED_TRACE(damaged.toStdString());
        ASSERT_TRUE(TestEnv::writeFile(journalFile(), damaged));
        QFile::remove(journalFile() + ".bad");
        QList<Kept> restored;
        ASSERT_TRUE(restartedWith(makeFile("new.txt", "new"), &restored));
        EXPECT_TRUE(restored.isEmpty()) << describe(restored);
        QFile bad(journalFile() + ".bad");
        EXPECT_TRUE(bad.open(QIODevice::ReadOnly) && bad.readAll() == damaged) << "kept aside as it was";
        EXPECT_TRUE(answers());
        // Said in a notice window of its own, once.
        int notices = 0;
        EXPECT_TRUE(TestEnv::waitUntil([&] {
            const QList<ProbedWindow> all = m_display.topLevels();
            notices = int(std::count_if(all.begin(), all.end(), [](const ProbedWindow& w) {
                return w.viewable && w.instance == u"kavo" && w.title == u"Kavo";
            }));
            return notices > 0;
        }, 5000));
        EXPECT_EQ(notices, 1);
        ASSERT_TRUE(end(Ending::Killed));
    }
}

} // namespace
