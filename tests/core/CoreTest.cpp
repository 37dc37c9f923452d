// What the file system says about a file, the preferences.
#include "core/FileFacts.h"
#include "core/Prefs.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(FileFactsTest, WhatTheFileSystemSays)
{
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    TestEnv::writeFile(base + "/notes.txt", "hello");
    TestEnv::writeFile(base + "/noname", "plain words\n");
    TestEnv::writePng(dir.filePath("picture"));
    ASSERT_EQ(::mkfifo(QByteArray(base + "/pipe").constData(), 0600), 0);
    EXPECT_EQ(FileFacts::probe(base + "/notes.txt"), (FileFacts{true, false, 5, "text/plain"}));
    EXPECT_EQ(FileFacts::probe(base), (FileFacts{true, true, 0, "inode/directory"}));
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

} // namespace
