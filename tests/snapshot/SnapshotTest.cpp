#include "snapshot/Snapshot.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SnapshotParseTest, FindsTheFirstSnapshotArgument)
{
    EXPECT_FALSE(Snapshot::parse({"kavo"}));
    EXPECT_FALSE(Snapshot::parse({"kavo", "--snapshot"})) << "nothing after it: normal start";
    const auto r = Snapshot::parse({"kavo", "-x", "--snapshot", "out", "a.png", "b.pdf"});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->folder, "out");
    EXPECT_EQ(r->files, QStringList({"a.png", "b.pdf"}));
    const auto twice = Snapshot::parse({"kavo", "--snapshot", "--snapshot", "a"});
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->folder, "--snapshot");
    EXPECT_EQ(twice->files, QStringList({"a"}));
}

// Runs the real program the way a user would, with no display at all.
int runKavo(const QStringList& args, const QString& workDir, qint64* elapsedMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    QElapsedTimer t;
    t.start();
    p.start(KAVO_BINARY, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        return -1;
    }
    *elapsedMs = t.elapsed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(SnapshotRunTest, WritesThreePicturesOfAThreeFileShelf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(TestEnv::writePng(dir.filePath("a.png"), 300, 200));
    ASSERT_TRUE(TestEnv::writeFile(dir.filePath("b.pdf"), "%PDF-1.4\n%%EOF\n"));
    ASSERT_TRUE(TestEnv::writeFile(dir.filePath("c.txt"), "notes\n"));
    QDir(dir.path()).mkdir("out");
    qint64 ms = 0;
    ASSERT_EQ(runKavo({"--snapshot", "out", "a.png", "b.pdf", "c.txt"}, dir.path(), &ms), 0);
    const QImage empty(dir.filePath("out/shelf-empty.png"));
    const QImage stack(dir.filePath("out/shelf-stack.png"));
    const QImage list(dir.filePath("out/shelf-list.png"));
    EXPECT_EQ(empty.size(), QSize(216, 244));
    EXPECT_EQ(stack.size(), QSize(216, 244));
    EXPECT_EQ(list.size(), QSize(216, 222));
    // Rounded corners are transparent; the middle is not.
    EXPECT_EQ(qAlpha(stack.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(stack.pixel(108, 120)), 200);
    // The PNG's thumbnail (its orange and blue halves) shows in the pile.
    bool orange = false;
    for (int y = 40; y < 190 && !orange; ++y)
        for (int x = 20; x < 196 && !orange; ++x)
            orange = QColor(stack.pixel(x, y)).hue() > 30 && QColor(stack.pixel(x, y)).hue() < 50 &&
                     QColor(stack.pixel(x, y)).saturation() > 150;
    EXPECT_TRUE(orange);
    EXPECT_NE(empty, stack);
}

TEST(SnapshotRunTest, AFolderThatDoesNotExistStillEndsWithZero)
{
    QTemporaryDir dir;
    qint64 ms = 0;
    EXPECT_EQ(runKavo({"--snapshot", dir.filePath("missing")}, dir.path(), &ms), 0);
    EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(SnapshotRunTest, OneOrTwoFilesGiveTheShortList)
{
    QTemporaryDir dir;
    ASSERT_TRUE(TestEnv::writeFile(dir.filePath("only.txt"), "x"));
    qint64 ms = 0;
    ASSERT_EQ(runKavo({"--snapshot", ".", "only.txt"}, dir.path(), &ms), 0);
    EXPECT_EQ(QImage(dir.filePath("shelf-list.png")).size(), QSize(216, 178));
}

} // namespace
