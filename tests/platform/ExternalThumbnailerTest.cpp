// Installed thumbnailers are programs Kavo does not control: they run
// bounded in time, killed with their children, never for pictures too large
// for Kavo itself, never again for a file they failed on, and never hold up
// the pictures Kavo decodes itself or the work of a closed shelf.
#include "model/ShelfStore.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString failEntryFor(const QString& path) { return TestEnv::thumbnailEntry("fail/kavo-1.0", path); }

// Gone, or a zombie that nothing will run again.
bool processGone(pid_t pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return pid > 0;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

class ExternalThumbnailerTest : public ::testing::Test
{
protected:
    ~ExternalThumbnailerTest() override
    {
        uninstall();
        QDir(TestEnv::thumbnailCache()).removeRecursively();
    }
    // Installs a thumbnailer for `mimeType`: a shell script that notes the
    // name of each file it is run for in `runs`, then runs `body` with the
    // input as $1 and the output as $2.
    void install(const QString& mimeType, const QByteArray& body, const QString& tryExec = {})
    {
        const QString script = dir.filePath(QString("thumbnailer%1.sh").arg(m_installed));
        TestEnv::writeFile(script, "#!/bin/sh\necho \"$(basename \"$1\")\" >> '" + QFile::encodeName(dir.filePath("runs")) +
                                       "'\ncd '" + QFile::encodeName(dir.path()) + "'\n" + body + "\n");
        ::chmod(QFile::encodeName(script).constData(), 0755);
        const QString entry = qEnvironmentVariable("XDG_DATA_HOME") + QString("/thumbnailers/kavo-test-%1.thumbnailer").arg(m_installed);
        QByteArray text = "[Thumbnailer Entry]\nExec=" + QFile::encodeName(script) + " %i %o %s\nMimeType=" + mimeType.toUtf8() + ";\n";
        if (!tryExec.isEmpty())
            text += "TryExec=" + tryExec.toUtf8() + "\n";
        TestEnv::writeFile(entry, text);
        m_entries << entry;
        ++m_installed;
    }
    void uninstall()
    {
        for (const QString& entry : std::as_const(m_entries))
            QFile::remove(entry);
        m_entries.clear();
    }
    // How often a thumbnailer was run for the file `name`.
    int runs(const QString& name) const
    {
        QFile f(dir.filePath("runs"));
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().split('\n').count(name.toUtf8())) : 0;
    }
    pid_t pidIn(const QString& name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? pid_t(f.readAll().trimmed().toInt()) : 0;
    }
    // A thumbnailer that starts a child, notes both pids and waits for ever.
    static constexpr const char* hang = "sleep 600 &\necho $! > \"$(basename \"$1\").child\"\necho $$ > \"$(basename \"$1\").pid\"\nwait";

    QTemporaryDir dir;

private:
    QStringList m_entries;
    int m_installed = 0;
};

TEST_F(ExternalThumbnailerTest, OnlySoundThumbnailersRunOnlyForFilesKavoWouldDecodeAndNeverAgainAfterFailing)
{
    TestEnv::writePng(dir.filePath("made.png"), 300, 150);
    TestEnv::writeFile(dir.filePath("plain"), "#!/bin/sh\n"); // not executable
    const auto pdf = [](const QString& p) { return TestEnv::writeFile(p, "%PDF-1.4\n"); };
    const struct
    {
        const char* name;
        const char* file;
        std::function<bool(const QString&)> write;
        QString mimeType, tryExec;
        const char* body;
        QSize made;
        int runs;
        bool failEntry;
    } cases[] = {
        {"a thumbnailer that makes one", "doc.pdf", pdf,
         "application/pdf", "sh", "cp made.png \"$2\"", {256, 128}, 1, false},
        {"one that fails", "doc.pdf", pdf,
         "application/pdf", {}, "exit 1", {0, 0}, 1, true},
        {"one that succeeds but writes nothing", "doc.pdf", pdf,
         "application/pdf", {}, "exit 0", {0, 0}, 1, true},
        {"its TryExec is not on PATH", "doc.pdf", pdf,
         "application/pdf", "kavo-no-such-program", "exit 1", {0, 0}, 0, false},
        {"its TryExec is not executable", "doc.pdf", pdf,
         "application/pdf", dir.filePath("plain"), "exit 1", {0, 0}, 0, false},
        {"a PNG declaring 30000x30000", "huge.png", [](const QString& p) { return TestEnv::writeFile(p, TestEnv::declaredPng(30000, 30000)); },
         "image/png", {}, "exit 1", {0, 0}, 0, false},
        {"a PNG declaring 8192x4096, as many pixels as Kavo decodes, that Qt cannot read", "big.png",
         [](const QString& p) { return TestEnv::writeFile(p, TestEnv::declaredPng(8192, 4096)); }, "image/png", {}, "exit 1", {0, 0}, 1, true},
        {"a PNG declaring 8193x4096", "bigger.png", [](const QString& p) { return TestEnv::writeFile(p, TestEnv::declaredPng(8193, 4096)); },
         "image/png", {}, "exit 1", {0, 0}, 0, false},
        // Left to the thumbnailer without a byte read by Kavo.
        {"a sparse 1 GB JPEG", "photo.jpg",
         [](const QString& p) { return TestEnv::writeFile(p, "\xff\xd8\xff") && ::truncate(QFile::encodeName(p).constData(), qint64(1) << 30) == 0; },
         "image/jpeg", {}, "exit 1", {0, 0}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(TestEnv::thumbnailCache()).removeRecursively();
        QFile::remove(dir.filePath("runs"));
        const QString path = dir.filePath(c.file);
        ASSERT_TRUE(c.write(path));
        install(c.mimeType, c.body, c.tryExec);
        const qint64 before = TestEnv::bytesRead();
        // Two sessions: the second finds the first's thumbnail or failure.
        for (int session = 0; session < 2; ++session)
            EXPECT_EQ(FreedesktopThumbnailer().makeThumbnail(QFile::encodeName(path), 256).size(), c.made);
        EXPECT_LT(TestEnv::bytesRead() - before, 1 << 20);
        EXPECT_EQ(runs(c.file), c.runs);
        EXPECT_EQ(QFileInfo::exists(failEntryFor(path)), c.failEntry);
        QFile::remove(path);
        uninstall();
    }
}

TEST_F(ExternalThumbnailerTest, AHangingThumbnailerDiesWithItsChildAtItsTimeOutAndHoldsUpNeitherPicturesNorClosedShelves)
{
    install("application/pdf", hang);
    for (const char* name : {"a.pdf", "b.pdf", "closed.pdf"})
        TestEnv::writeFile(dir.filePath(name), "%PDF-1.4\n");
    TestEnv::writePng(dir.filePath("small.png"), 64, 64);
    TestEnv::writePng(dir.filePath("after.png"), 64, 64);
    auto* thumbnailer = new FreedesktopThumbnailer;
    Thumbnailer::setShared(std::unique_ptr<Thumbnailer>(thumbnailer));
    thumbnailer->request({QFile::encodeName(dir.filePath("a.pdf")), QFile::encodeName(dir.filePath("b.pdf"))}, 256,
                         [](qsizetype, const QImage&) {});
    ASSERT_TRUE(TestEnv::waitUntil([&] { return pidIn("a.pdf.pid") > 0 && pidIn("b.pdf.pid") > 0; }));
    const QList<pid_t> pids{pidIn("a.pdf.pid"), pidIn("a.pdf.child"), pidIn("b.pdf.pid"), pidIn("b.pdf.child")};

    // A shelf that closes while its file waits for a slot: once the picture
    // after it has arrived, the file has passed Kavo's own stage.
    auto store = std::make_shared<ShelfStore>();
    store->add({QUrl::fromLocalFile(dir.filePath("closed.pdf")), QUrl::fromLocalFile(dir.filePath("after.png"))}, false);
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !store->items.at(1)->thumbnail().isNull(); }, 3000));
    store.reset();
    // A picture Kavo decodes itself arrives while both slots hang.
    QSize small;
    thumbnailer->request({QFile::encodeName(dir.filePath("small.png"))}, 256,
                         [&](qsizetype, const QImage& image) { small = image.size(); });
    EXPECT_TRUE(TestEnv::waitUntil([&] { return small.isValid(); }, 3000));
    EXPECT_FALSE(processGone(pids[0]) || processGone(pids[2])) << "the thumbnailers were still running";
    EXPECT_EQ(small, QSize(64, 64));

    EXPECT_TRUE(TestEnv::waitUntil([&] { return std::all_of(pids.begin(), pids.end(), processGone); },
                                   FreedesktopThumbnailer::externalTimeoutMs + 5000));
    EXPECT_TRUE(thumbnailer->waitForIdle(5000));
    EXPECT_EQ(runs("a.pdf") + runs("b.pdf"), 2);
    EXPECT_EQ(runs("closed.pdf"), 0);
    EXPECT_TRUE(QFileInfo::exists(failEntryFor(dir.filePath("a.pdf")))) << "a time-out is a failure";
    Thumbnailer::setShared(nullptr);
}

TEST_F(ExternalThumbnailerTest, QuittingKillsRunningThumbnailersAndTheirChildrenAtOnce)
{
    install("application/pdf", hang);
    TestEnv::writeFile(dir.filePath("a.pdf"), "%PDF-1.4\n");
    auto thumbnailer = std::make_unique<FreedesktopThumbnailer>();
    thumbnailer->request({QFile::encodeName(dir.filePath("a.pdf"))}, 256, [](qsizetype, const QImage&) {});
    ASSERT_TRUE(TestEnv::waitUntil([&] { return pidIn("a.pdf.pid") > 0; }));
    // Ended while it runs, long before its time-out.
    std::thread quit([&] { thumbnailer.reset(); });
    EXPECT_TRUE(TestEnv::waitUntil([&] { return processGone(pidIn("a.pdf.pid")) && processGone(pidIn("a.pdf.child")); }, 1000));
    quit.join();
    EXPECT_FALSE(QFileInfo::exists(failEntryFor(dir.filePath("a.pdf")))) << "stopped, not timed out";
}

} // namespace
