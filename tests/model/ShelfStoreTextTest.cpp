#include "model/ShelfStore.h"

#include "ManualThumbnailer.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString dot = QStringLiteral(" \u00B7 ");

class ShelfTextTest : public ::testing::Test
{
protected:
    ShelfTextTest() { QLocale::setDefault(QLocale::c()); }

    QString makeFile(const QString& name, int bytes)
    {
        const QString p = dir.filePath(name);
        EXPECT_TRUE(TestEnv::writeFile(p, QByteArray(bytes, 'x')));
        return p;
    }
    QString makeFolder(const QString& name)
    {
        const QString p = dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(p));
        TestEnv::writeFile(p + "/inside.bin", QByteArray(5000, 'y')); // never measured
        return p;
    }
    void hold(const QStringList& list)
    {
        QList<QUrl> urls;
        for (const QString& p : list)
            urls << QUrl::fromLocalFile(p);
        store->add(urls, false);
    }
    static QString kind(const QString& path) { return QMimeDatabase().mimeTypeForFile(path).comment(); }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    QTemporaryDir dir;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
};

TEST_F(ShelfTextTest, EmptyShelf)
{
    EXPECT_EQ(store->summary(), "Empty shelf");
    EXPECT_EQ(store->detail(), "Shake a drag or press Ctrl+Alt+Space");
}

TEST_F(ShelfTextTest, OneFileShowsItsNameKindAndSize)
{
    const QString p = makeFile("report.txt", 1500);
    hold({p});
    EXPECT_EQ(store->summary(), "report.txt");
    ASSERT_FALSE(kind(p).isEmpty());
    EXPECT_EQ(store->detail(), kind(p) + dot + "1.5 kB");
}

TEST_F(ShelfTextTest, OneEmptyFileShowsItsKindAlone)
{
    const QString p = makeFile("empty.txt", 0);
    hold({p});
    EXPECT_EQ(store->detail(), kind(p));
}

TEST_F(ShelfTextTest, OneFolderShowsItsNameAndOneFolder)
{
    hold({makeFolder("Photos")});
    EXPECT_EQ(store->summary(), "Photos");
    EXPECT_EQ(store->detail(), "1 folder");
}

TEST_F(ShelfTextTest, AVanishedFileKeepsItsNameButContributesNothing)
{
    const QString p = makeFile("gone.pdf", 300);
    hold({p});
    QFile::remove(p);
    EXPECT_EQ(store->summary(), "gone.pdf");
    EXPECT_EQ(store->detail(), "");
}

TEST_F(ShelfTextTest, SeveralItemsShowCountSizeAndFolders)
{
    hold({makeFile("a.bin", 1000), makeFile("b.bin", 500)});
    EXPECT_EQ(store->summary(), "2 items");
    EXPECT_EQ(store->detail(), "1.5 kB");

    hold({makeFolder("f1"), makeFolder("f2"), makeFolder("f3")});
    EXPECT_EQ(store->summary(), "5 items");
    EXPECT_EQ(store->detail(), "1.5 kB" + dot + "3 folders");
}

TEST_F(ShelfTextTest, OneFileAndOneFolder)
{
    hold({makeFile("x.bin", 1500), makeFolder("f")});
    EXPECT_EQ(store->detail(), "1.5 kB" + dot + "1 folder");
}

TEST_F(ShelfTextTest, OnlyFoldersAndOnlyEmptyFiles)
{
    hold({makeFolder("f1"), makeFolder("f2")});
    EXPECT_EQ(store->detail(), "2 folders");

    auto empties = std::make_shared<ShelfStore>();
    empties->add({QUrl::fromLocalFile(makeFile("e1", 0)), QUrl::fromLocalFile(makeFile("e2", 0))},
                 false);
    EXPECT_EQ(empties->detail(), "");
}

TEST_F(ShelfTextTest, ThousandItemsAreCountedWithoutGrouping)
{
    QList<QUrl> urls;
    for (int i = 0; i < 1000; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("/nowhere/%1").arg(i));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    store->add(urls, false);
    EXPECT_EQ(store->summary(), "1000 items");
    QLocale::setDefault(QLocale::c());
}

TEST_F(ShelfTextTest, TheRootFolderIsNamedByItsPath)
{
    hold({"/"});
    EXPECT_EQ(store->summary(), "/");
    EXPECT_EQ(store->detail(), "1 folder");
}

} // namespace
