#include "shake/DebugLog.h"

#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// One record: the UTC date, a space, the message, a line feed.
QRegularExpression recordPattern(const QString& message)
{
    return QRegularExpression(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) \\+0000 ") +
        QRegularExpression::escape(message) + QStringLiteral("\\n$"));
}

// Runs before any other record of this process asks for the path.
TEST(DebugLogFolder, FirstUseCreatesTheFolderPrivateToTheUser)
{
    const QFileInfo folder(QFileInfo(DebugLog::path()).absolutePath());
    ASSERT_TRUE(folder.isDir());
    EXPECT_EQ(folder.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
}

class DebugLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(folder());
        QFile::remove(DebugLog::path());
    }
    void TearDown() override
    {
        QFile(DebugLog::path()).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QDir(folder()).removeRecursively();
    }
    static QString folder() { return QFileInfo(DebugLog::path()).absolutePath(); }
};

TEST_F(DebugLogTest, LivesInTheStateFolder)
{
    const QString expected = qEnvironmentVariable("XDG_STATE_HOME") + "/Kavo/shake.log";
    EXPECT_EQ(DebugLog::path(), expected);
    EXPECT_TRUE(expected.startsWith(QDir::homePath()));
    EXPECT_EQ(DebugLog::url(), QUrl::fromLocalFile(expected));
}

TEST_F(DebugLogTest, FirstRecordCreatesAFileOfOneLineInUtc)
{
    // A zone far from UTC shows a record written in local time.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
    DebugLog::write(QStringLiteral("release: swings=3 fired=true"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);
    tzset();

    const QString text = QString::fromUtf8(readAll(DebugLog::path()));
    const auto m = recordPattern(QStringLiteral("release: swings=3 fired=true")).match(text);
    ASSERT_TRUE(m.hasMatch()) << text.toStdString();
    QDateTime stamp = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    stamp.setTimeSpec(Qt::UTC);
    EXPECT_LE(std::abs(stamp.secsTo(now)), 120) << m.captured(1).toStdString();
}

TEST_F(DebugLogTest, LaterRecordsAreAppendedAfterWhateverTheFileHolds)
{
    DebugLog::write(QStringLiteral("one"));
    const QByteArray first = readAll(DebugLog::path());
    {
        QFile f(DebugLog::path());
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("edited by hand, no line feed");
    }
    DebugLog::write(QStringLiteral("zwei ü"));

    const QByteArray all = readAll(DebugLog::path());
    const QByteArray prefix = first + "edited by hand, no line feed";
    ASSERT_TRUE(all.startsWith(prefix)) << all.toStdString();
    const QString second = QString::fromUtf8(all.mid(prefix.size()));
    EXPECT_TRUE(recordPattern(QStringLiteral("zwei ü")).match(second).hasMatch())
        << second.toStdString();
}

TEST_F(DebugLogTest, MessagesAreWrittenUnchanged)
{
    DebugLog::write(QString());
    DebugLog::write(QStringLiteral("line one\nline two"));
    const QList<QByteArray> lines = readAll(DebugLog::path()).split('\n');
    ASSERT_EQ(lines.size(), 4) << readAll(DebugLog::path()).toStdString(); // last one empty
    EXPECT_TRUE(lines[0].endsWith(" +0000 ")) << lines[0].toStdString();
    EXPECT_EQ(lines[0].size(), 26);
    EXPECT_TRUE(lines[1].endsWith(" +0000 line one")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "line two");
    EXPECT_EQ(lines[3], "");
}

TEST_F(DebugLogTest, RecordsAreSilentlyLostOnceTheFolderIsGone)
{
    DebugLog::write(QStringLiteral("kept"));
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    DebugLog::write(QStringLiteral("lost"));
    DebugLog::write(QStringLiteral("lost too"));
    EXPECT_FALSE(QFileInfo::exists(folder()));
}

TEST_F(DebugLogTest, AnExistingFileThatCannotBeOpenedIsNeverReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    ASSERT_TRUE(TestEnv::writeFile(DebugLog::path(), "precious\n"));
    ASSERT_TRUE(QFile(DebugLog::path()).setPermissions(QFile::ReadOwner));
    DebugLog::write(QStringLiteral("record"));
    EXPECT_EQ(readAll(DebugLog::path()), "precious\n");
}

} // namespace
