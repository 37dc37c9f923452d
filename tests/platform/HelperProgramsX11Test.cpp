// The helper programs that the X11 and whole-program tests drive: a drag
// from one to the other, as a copy and as a real move.
#include "HelperProcess.h"
#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class HelperProgramsX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("from")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("into")));
        for (const char* name : {"one.txt", "two words.txt"}) {
            const QString path = m_dir.filePath(QStringLiteral("from/") + QLatin1String(name));
            ASSERT_TRUE(TestEnv::writeFile(path, name));
            m_files.append(path);
        }
    }
    void TearDown() override { resetInputState(); }

    void startBoth(const QStringList& sourceOptions, const QStringList& targetOptions)
    {
        ASSERT_TRUE(
            m_source.start(HelperProcess::dragSourcePath(),
                           QStringList{QStringLiteral("--geometry"), QStringLiteral("100,100")} +
                               sourceOptions + m_files));
        ASSERT_TRUE(m_target.start(
            HelperProcess::dropTargetPath(),
            QStringList{QStringLiteral("--geometry"), QStringLiteral("500,100")} + targetOptions));
        ASSERT_EQ(m_source.waitForLine(QStringLiteral("ready ")),
                  QStringLiteral("ready 100 100 200 150"))
            << m_source.errorOutput().toStdString();
        ASSERT_EQ(m_target.waitForLine(QStringLiteral("ready ")),
                  QStringLiteral("ready 500 100 200 150"))
            << m_target.errorOutput().toStdString();
    }

    void dragAcross() { ASSERT_TRUE(xdotool(dragArguments(QPoint(200, 175), QPoint(600, 175)))); }

    QString url(int i) const
    {
        return QString::fromUtf8(QUrl::fromLocalFile(m_files[i]).toEncoded());
    }

    QTemporaryDir m_dir;
    QStringList m_files;
    HelperProcess m_source;
    HelperProcess m_target;
};

TEST_F(HelperProgramsX11, ACopyDropListsTheFilesAndTheOfferedActions)
{
    startBoth({}, {QStringLiteral("--copy")});
    dragAcross();
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("offered ")),
              QStringLiteral("offered copy,move,link"));
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + url(0));
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("dropped ")),
              QStringLiteral("dropped ") + url(1));
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("action ")), QStringLiteral("action copy"));
    EXPECT_EQ(m_source.waitForLine(QStringLiteral("result ")), QStringLiteral("result copy"));
    EXPECT_TRUE(QFileInfo::exists(m_files[0]));
}

TEST_F(HelperProgramsX11, AMoveDropMovesTheFiles)
{
    const QString into = m_dir.filePath(QStringLiteral("into"));
    startBoth({QStringLiteral("--move")},
              {QStringLiteral("--move"), QStringLiteral("--into"), into});
    dragAcross();
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("action ")), QStringLiteral("action move"));
    EXPECT_EQ(m_source.waitForLine(QStringLiteral("result ")), QStringLiteral("result move"));
    EXPECT_EQ(m_target.waitForLine(QStringLiteral("moved ")),
              QStringLiteral("moved ") + into + QStringLiteral("/one.txt"));
    EXPECT_FALSE(QFileInfo::exists(m_files[0]));
    EXPECT_FALSE(QFileInfo::exists(m_files[1]));
    EXPECT_TRUE(QFileInfo::exists(into + QStringLiteral("/two words.txt")));
}

TEST_F(HelperProgramsX11, BadCommandLinesAreRefused)
{
    HelperProcess source;
    ASSERT_TRUE(source.start(HelperProcess::dragSourcePath(), {}));
    EXPECT_EQ(source.waitForLine(QStringLiteral("error ")),
              QStringLiteral("error no files to drag"));
    ASSERT_TRUE(source.waitForFinished());
    EXPECT_EQ(source.exitCode(), 2);

    HelperProcess target;
    ASSERT_TRUE(target.start(HelperProcess::dropTargetPath(),
                             {QStringLiteral("--move"), QStringLiteral("--copy")}));
    ASSERT_TRUE(target.waitForFinished());
    EXPECT_EQ(target.exitCode(), 2);

    HelperProcess misplaced;
    ASSERT_TRUE(misplaced.start(HelperProcess::dropTargetPath(),
                                {QStringLiteral("--geometry"), QStringLiteral("10x20")}));
    EXPECT_EQ(misplaced.waitForLine(QStringLiteral("error ")),
              QStringLiteral("error --geometry takes X,Y"));
}

} // namespace
