#include "app/Prefs.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

class PrefsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Kavo", "Kavo");
        s.clear();
        s.sync();
        Prefs::resetRegisteredDefaults();
    }
};

TEST_F(PrefsTest, UnregisteredKeysReadAsFalseZeroOrAbsent)
{
    EXPECT_FALSE(Prefs::boolValue(Prefs::shakeEnabled));
    EXPECT_FALSE(Prefs::boolValue(Prefs::hasLaunchedBefore));
    EXPECT_FALSE(Prefs::boolValue(Prefs::debugShake));
    EXPECT_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), 0.0);
    EXPECT_TRUE(Prefs::stringValue(Prefs::announcedVersion).isNull());
}

TEST_F(PrefsTest, RegisteredDefaultsAreTrueAndOnlyForTheTwoKeys)
{
    Prefs::registerDefaults();
    EXPECT_TRUE(Prefs::boolValue(Prefs::shakeEnabled));
    EXPECT_TRUE(Prefs::boolValue(Prefs::checkForUpdates));
    EXPECT_FALSE(Prefs::boolValue(Prefs::hasLaunchedBefore));
    EXPECT_FALSE(Prefs::boolValue(Prefs::debugShake));
    EXPECT_FALSE(Prefs::value(Prefs::lastUpdateCheck).isValid());
}

TEST_F(PrefsTest, StoredValuesWinOverDefaultsAndSurviveARestart)
{
    Prefs::registerDefaults();
    Prefs::setValue(Prefs::shakeEnabled, false);
    Prefs::setValue(Prefs::lastUpdateCheck, 1765000000.5);
    Prefs::setValue(Prefs::announcedVersion, QStringLiteral("2.1"));
    EXPECT_FALSE(Prefs::boolValue(Prefs::shakeEnabled));

    // A new process: the registration domain is empty until registered again,
    // the stored values come back from disk with their types.
    Prefs::resetRegisteredDefaults();
    Prefs::registerDefaults();
    EXPECT_FALSE(Prefs::boolValue(Prefs::shakeEnabled));
    EXPECT_TRUE(Prefs::boolValue(Prefs::checkForUpdates));
    EXPECT_DOUBLE_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), 1765000000.5);
    EXPECT_EQ(Prefs::stringValue(Prefs::announcedVersion), QStringLiteral("2.1"));

    Prefs::remove(Prefs::shakeEnabled);
    EXPECT_TRUE(Prefs::boolValue(Prefs::shakeEnabled));
}

TEST_F(PrefsTest, HandEditedValuesAreReadLikeTheProgramsOwn)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Kavo", "Kavo");
    s.setValue("debugShake", "true");
    s.setValue("shakeEnabled", "0");
    s.setValue("lastUpdateCheck", "not a number");
    s.sync();
    Prefs::registerDefaults();
    EXPECT_TRUE(Prefs::boolValue(Prefs::debugShake));
    EXPECT_FALSE(Prefs::boolValue(Prefs::shakeEnabled));
    EXPECT_EQ(Prefs::doubleValue(Prefs::lastUpdateCheck), 0.0);
}

TEST_F(PrefsTest, SettingsLiveInsideTheTestHome)
{
    Prefs::setValue(Prefs::debugShake, true);
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Kavo", "Kavo");
    EXPECT_TRUE(s.fileName().startsWith(QDir::homePath())) << s.fileName().toStdString();
    EXPECT_TRUE(s.fileName().endsWith("Kavo/Kavo.conf"));
    EXPECT_TRUE(QFileInfo::exists(s.fileName()));
}

} // namespace
