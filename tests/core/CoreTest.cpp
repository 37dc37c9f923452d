// What the file system says about a file, the preferences, when changes
// are looked at, and the workers that do the file-system work.
#include "core/Background.h"
#include "core/Coalescer.h"
#include "core/FileFacts.h"
#include "core/Prefs.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>

namespace {

// Workers run at a lower priority than the thread that started them (the
// UI thread), each time, so that a burst of them leaves it the cores.
TEST(BackgroundTest, WorkersGiveWayToTheUiThread)
{
    const int ui = getpriority(PRIO_PROCESS, 0);
    std::atomic<int> done = 0, lowered = 0;
    for (int i = 0; i < 12; ++i) {
        Background::run([&] {
            lowered += getpriority(PRIO_PROCESS, 0) > ui;
            ++done;
        });
    }
    ASSERT_TRUE(TestEnv::waitUntil([&] { return done == 12; }));
    EXPECT_EQ(lowered, 12);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), ui);
}

TEST(FileFactsTest, WhatTheFileSystemSays)
{
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    TestEnv::writeFile(base + "/notes.txt", "hello");
    TestEnv::writeFile(base + "/noname", "plain words\n");
    TestEnv::writePng(dir.filePath("picture"));
    ASSERT_EQ(::mkfifo(QByteArray(base + "/pipe").constData(), 0600), 0);
    EXPECT_EQ(FileFacts::probe(base + "/notes.txt"), (FileFacts{true, false, 5, "text/plain", {}}));
    EXPECT_EQ(FileFacts::probe(base), (FileFacts{true, true, 0, "inode/directory", {}}));
    EXPECT_EQ(FileFacts::probe(base + "/missing"), FileFacts{});
    EXPECT_EQ(FileFacts::probe(base + "/pipe").mimeType, "inode/fifo") << "never opened";
    // A name that does not tell: the contents do, unless asked not to read.
    EXPECT_EQ(FileFacts::probe(base + "/picture").mimeType, "image/png");
    EXPECT_EQ(FileFacts::probe(base + "/noname").mimeType, "text/plain");
    EXPECT_TRUE(FileFacts::probe(base + "/noname", false).typeIsUnknown());
}

TEST(PrefsTest, StoredValuesWinOverDefaultsThatCountOnceRegistered)
{
    // Stored (null: nothing; hand-edited values read the way a person writes
    // them), defaults registered → shakeEnabled, hasLaunchedBefore, lastUpdateCheck.
    const struct { const char* stored; bool registered, shake, launched; double lastCheck; } cases[] = {
        {nullptr, false, false, false, 0}, {nullptr, true, true, false, 0}, {"0", true, false, false, 0},
        {"yes", false, true, true, 0},     {"1765000000.5", true, false, false, 1765000000.5},
    };
    for (const auto& c : cases) {
        QSettings s(Prefs::fileName(), QSettings::IniFormat);
        s.clear();
        if (c.stored) {
            for (const char* key : {"shakeEnabled", "hasLaunchedBefore", "lastUpdateCheck"})
                s.setValue(key, c.stored);
        }
        s.sync();
        Prefs::resetRegisteredDefaults();
        if (c.registered)
            Prefs::registerDefaults();
        EXPECT_EQ(Prefs::value(Prefs::shakeEnabled), c.shake) << c.stored;
        EXPECT_EQ(Prefs::value(Prefs::hasLaunchedBefore), c.launched) << c.stored;
        EXPECT_DOUBLE_EQ(Prefs::value(Prefs::lastUpdateCheck), c.lastCheck) << c.stored;
    }
    // What the program stores comes back with its type; removed, the
    // default counts again.
    ASSERT_TRUE(Prefs::setValue(Prefs::announcedVersion, QStringLiteral("2.1")) &&
                Prefs::setValue(Prefs::shakeEnabled, false));
    EXPECT_EQ(Prefs::value(Prefs::announcedVersion), u"2.1");
    EXPECT_FALSE(Prefs::value(Prefs::shakeEnabled));
    Prefs::remove(Prefs::shakeEnabled);
    EXPECT_TRUE(Prefs::value(Prefs::shakeEnabled));
    EXPECT_TRUE(Prefs::fileName().startsWith(QDir::homePath()));
}

// One step at a time `at` (ms): key `touch` changes (a negative one is
// forgotten), or with no key, the due keys are taken: `due`, then `next`.
struct CoalesceStep
{
    qint64 at;
    int touch = 0;
    QList<int> due = {};
    std::optional<qint64> next = {};
};
struct CoalesceCase
{
    const char* name;
    std::vector<CoalesceStep> steps;
};
void PrintTo(const CoalesceCase& c, std::ostream* os) { *os << c.name; }

class CoalescerTest : public ::testing::TestWithParam<CoalesceCase>
{
};

TEST_P(CoalescerTest, DueWhenQuietOrAtTheLatestTheLongestAfterTheFirstChange)
{
    Coalescer<int> c(100, 300);
    for (const CoalesceStep& step : GetParam().steps) {
        if (step.touch > 0) {
            c.touch(step.touch, step.at);
        } else if (step.touch < 0) {
            c.forget(-step.touch);
        } else {
            QList<int> due = c.takeDue(step.at);
            std::sort(due.begin(), due.end());
            EXPECT_EQ(due, step.due) << "at " << step.at;
            EXPECT_EQ(c.nextDue(), step.next) << "at " << step.at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CoalescerTest,
    ::testing::Values(
        CoalesceCase{"OneChange", {{0, 1}, {99, 0, {}, 100}, {100, 0, {1}}}},
        CoalesceCase{"ChangesPushItBack", {{0, 1}, {50, 1}, {120, 1}, {219, 0, {}, 220}, {220, 0, {1}}}},
        CoalesceCase{"ChangesWithoutAPause",
                     {{0, 1}, {90, 1}, {180, 1}, {270, 1}, {299, 0, {}, 300}, {300, 0, {1}}, {360, 1}, {459, 0, {}, 460}}},
        CoalesceCase{"KeysApart", {{0, 1}, {50, 2}, {100, 0, {1}, 150}, {150, 0, {2}}}},
        CoalesceCase{"Forgotten", {{0, 1}, {10, 2}, {20, -1}, {110, 0, {2}}, {500, 0, {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
