#include "model/ShelfStore.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DropFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override { QDir(ShelfStore::droppedFilesRoot()).removeRecursively(); }
    void TearDown() override { QDir(ShelfStore::droppedFilesRoot()).removeRecursively(); }

    static QString root() { return ShelfStore::droppedFilesRoot(); }
};

TEST_F(DropFoldersTest, RootIsInTheCacheFolderUnderTheApplicationId)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    EXPECT_EQ(root(), cache + "/io.github.kavo.Kavo/Dropped");
    EXPECT_TRUE(root().startsWith(QDir::homePath()));
}

TEST_F(DropFoldersTest, CleanUpWithoutARootDoesNothingAndCreatesNothing)
{
    ShelfStore::cleanUpOldPromises();
    EXPECT_FALSE(QFileInfo::exists(root()));
}

TEST_F(DropFoldersTest, NewDropFoldersAreFreshUuidFoldersUnderTheRoot)
{
    const QString a = ShelfStore::newDropFolder();
    const QString b = ShelfStore::newDropFolder();
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(a).isDir());
    EXPECT_TRUE(QFileInfo(b).isDir());
    EXPECT_EQ(QFileInfo(a).absolutePath(), root());
    static const QRegularExpression uuid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    EXPECT_TRUE(uuid.match(QFileInfo(a).fileName()).hasMatch()) << a.toStdString();
}

TEST_F(DropFoldersTest, EntryDateIsTheBirthTimeOrElseTheModificationTime)
{
    const QString folder = ShelfStore::newDropFolder();
    const qint64 tenDaysAgo = QDateTime::currentSecsSinceEpoch() - 10 * 86400;
    ASSERT_TRUE(TestEnv::setModificationTime(folder, tenDaysAgo));
    const QFileInfo info(folder);
    const QDateTime date = ShelfStore::entryDate(folder);
    ASSERT_TRUE(date.isValid());
    if (info.birthTime().isValid()) {
        // A touched modification time does not make a new folder old.
        EXPECT_EQ(date.toSecsSinceEpoch(), info.birthTime().toSecsSinceEpoch());
    } else {
        EXPECT_EQ(date.toSecsSinceEpoch(), tenDaysAgo);
    }
    EXPECT_FALSE(ShelfStore::entryDate(root() + "/does-not-exist").isValid());
}

TEST_F(DropFoldersTest, AgeBoundaryIsSevenDaysToTheSecond)
{
    const QString young = ShelfStore::newDropFolder();
    const QString old = ShelfStore::newDropFolder();
    const QString plainFile = root() + "/stray.txt";
    ASSERT_TRUE(TestEnv::writeFile(plainFile, "x"));
    ASSERT_TRUE(TestEnv::writeFile(old + "/Image.png", "png"));
    const QDateTime youngDate = ShelfStore::entryDate(young);
    const QDateTime oldDate = ShelfStore::entryDate(old);
    ASSERT_TRUE(youngDate.isValid() && oldDate.isValid());

    // Seen from 604799 s after its creation, a folder stays.
    ShelfStore::cleanUpOldPromises(youngDate.addSecs(604799));
    EXPECT_TRUE(QFileInfo::exists(young));
    EXPECT_TRUE(QFileInfo::exists(old));

    // Seen from 604801 s after: the folder goes with its newer contents, and
    // a plain file under the root follows the same rule.
    ShelfStore::cleanUpOldPromises(oldDate.addSecs(604801));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_FALSE(QFileInfo::exists(young));
    EXPECT_FALSE(QFileInfo::exists(plainFile));
    EXPECT_TRUE(QFileInfo(root()).isDir()) << "the root itself stays";
}

TEST_F(DropFoldersTest, CleanUpNeverFollowsSymbolicLinks)
{
    QTemporaryDir outside;
    const QString precious = outside.filePath("precious.txt");
    ASSERT_TRUE(TestEnv::writeFile(precious, "keep me"));
    ASSERT_TRUE(TestEnv::writeFile(outside.filePath("sub/deep.txt"), "and me"));

    // A link directly under the root, and links inside an old drop folder.
    QDir().mkpath(root());
    ASSERT_TRUE(QFile::link(outside.path(), root() + "/link-to-folder"));
    ASSERT_TRUE(QFile::link(precious, root() + "/link-to-file"));
    const QString folder = ShelfStore::newDropFolder();
    ASSERT_TRUE(QFile::link(outside.path(), folder + "/inner-link"));
    QDir().mkpath(folder + "/nested");
    ASSERT_TRUE(QFile::link(outside.filePath("sub"), folder + "/nested/inner-sub"));
    ASSERT_TRUE(QFile::link("/nonexistent/target", root() + "/dangling"));

    ShelfStore::cleanUpOldPromises(QDateTime::currentDateTimeUtc().addDays(30));

    EXPECT_EQ(QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_TRUE(QFile::exists(precious));
    EXPECT_TRUE(QFile::exists(outside.filePath("sub/deep.txt")));
}

TEST_F(DropFoldersTest, ARootThatIsALinkIsNotEntered)
{
    QTemporaryDir outside;
    ASSERT_TRUE(TestEnv::writeFile(outside.filePath("old/file.txt"), "keep"));
    const QString parent = QFileInfo(root()).absolutePath();
    QDir().mkpath(parent);
    ASSERT_TRUE(QFile::link(outside.path(), root()));
    ShelfStore::cleanUpOldPromises(QDateTime::currentDateTimeUtc().addDays(30));
    EXPECT_TRUE(QFile::exists(outside.filePath("old/file.txt")));
    QFile::remove(root());
}

TEST_F(DropFoldersTest, HiddenEntriesAreIncluded)
{
    const QString hidden = root() + "/.hidden";
    ASSERT_TRUE(TestEnv::writeFile(hidden, "x"));
    ShelfStore::cleanUpOldPromises(QDateTime::currentDateTimeUtc().addDays(8));
    EXPECT_FALSE(QFileInfo::exists(hidden));
}

} // namespace
