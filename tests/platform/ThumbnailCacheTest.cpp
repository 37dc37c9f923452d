// The thumbnail cache in a hostile home: folders that are links or not the
// user's own, entries that are giant, FIFOs, links or corrupt.
#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString thumbnails() { return TestEnv::thumbnailCache(); }
QString entryFor(const QString& path) { return TestEnv::thumbnailEntry("large", path); }

// The text that says an entry shows `path` as of `mtime`.
QByteArray thumbText(const QString& path, qint64 mtime)
{
    return TestEnv::pngChunk("tEXt", "Thumb::URI\0" + QUrl::fromLocalFile(path).toEncoded()) +
           TestEnv::pngChunk("tEXt", QByteArray("Thumb::MTime\0", 13) + QByteArray::number(mtime));
}

// A w×w thumbnail of `path` as of `mtime`, with `middle` put between the
// header chunk and the text.
QByteArray entryPng(const QString& path, qint64 mtime, int w, const QByteArray& middle = {})
{
    QImage img(w, w, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return png.left(33) + middle + thumbText(path, mtime) + png.mid(33);
}

// The permission bits of `path` itself (not of a link's target).
int modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool symlinkTo(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// The largest resident size of this process so far, in MB.
qint64 peakResidentMB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

class ThumbnailCacheTest : public ::testing::Test
{
protected:
    ThumbnailCacheTest() { reset(); }
    // An empty cache, the photo, an empty shared folder.
    void reset()
    {
        // A link left by a case is removed, never followed.
        if (QFileInfo(thumbnails()).isSymLink())
            QFile::remove(thumbnails());
        QDir(thumbnails()).removeRecursively();
        QDir(shared).removeRecursively();
        TestEnv::writePng(photo, 800, 800);
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(photo).constData(), times, 0);
        ::mkdir(QFile::encodeName(shared).constData(), 0700);
        ::chmod(QFile::encodeName(shared).constData(), 01777);
    }
    // Made on another thread by a fresh thumbnailer: a hang fails the test
    // instead of stopping it.
    std::optional<QSize> madeWithin(int ms)
    {
        std::packaged_task<QSize()> task(
            [p = QFile::encodeName(photo)] { return FreedesktopThumbnailer().makeThumbnail(p, 256).size(); });
        std::future<QSize> size = task.get_future();
        std::thread worker(std::move(task));
        if (size.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) {
            worker.detach();
            return std::nullopt;
        }
        worker.join();
        return size.get();
    }

    static constexpr qint64 mtime = 1700000000;
    QTemporaryDir dir;
    const QString photo = dir.filePath("photo.png");
    // A world-writable folder outside the cache.
    const QString shared = dir.filePath("shared");
};

TEST_F(ThumbnailCacheTest, AFolderThatIsALinkOrNotTheUsersOwnIsNeitherWrittenNorChanged)
{
    const QString large = thumbnails() + "/large";
    const struct
    {
        const char* name;
        std::function<bool()> plant;
        int folderMode; // of large when the entry is written there; -1: not written
    } cases[] = {
        {"large links to a shared folder", [&] { return QDir().mkpath(thumbnails()) && symlinkTo(shared, large); }, -1},
        {"thumbnails links to a shared folder",
         [&] { return QDir().mkpath(QFileInfo(thumbnails()).path()) && symlinkTo(shared, thumbnails()); }, -1},
        {"large is a file", [&] { return TestEnv::writeFile(large, "not a folder"); }, -1},
        {"large is another user's",
         [&] { return QDir().mkpath(large) && ::chown(QFile::encodeName(large).constData(), 65534, 65534) == 0; }, -1},
        {"large is the user's own, 0755",
         [&] { return QDir().mkpath(large) && ::chmod(QFile::encodeName(large).constData(), 0755) == 0; }, 0755},
        {"nothing there: Kavo makes it private", [] { return true; }, 0700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        ASSERT_TRUE(c.plant());
        EXPECT_EQ(FreedesktopThumbnailer().makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(256, 256));
        EXPECT_TRUE(QDir(shared).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        EXPECT_EQ(modeOf(shared), 01777);
        const bool written = c.folderMode >= 0;
        EXPECT_EQ(QFileInfo::exists(entryFor(photo)), written);
        if (written) {
            EXPECT_EQ(QImage(entryFor(photo)).size(), QSize(256, 256));
            EXPECT_EQ(modeOf(entryFor(photo)), 0600);
            EXPECT_EQ(modeOf(large), c.folderMode);
        }
    }
}

TEST_F(ThumbnailCacheTest, AHostileEntryIsPassedOverPromptlyAndReplaced)
{
    const QString entry = entryFor(photo);
    const QString elsewhere = dir.filePath("other.png");
    const QByteArray header = entryPng(photo, mtime, 100).left(33);
    const struct
    {
        const char* name;
        std::function<bool()> plant;
        QSize made;
    } cases[] = {
        {"a sound entry is used", [&] { return TestEnv::writeFile(entry, entryPng(photo, mtime, 100)); }, {100, 100}},
        {"a sparse 1.5 GB entry: header, text, zeros",
         [&] {
             return TestEnv::writeFile(entry, header + thumbText(photo, mtime)) &&
                    ::truncate(QFile::encodeName(entry).constData(), qint64(1536) << 20) == 0;
         },
         {256, 256}},
        {"a FIFO", [&] { return QDir().mkpath(thumbnails() + "/large") && ::mkfifo(QFile::encodeName(entry).constData(), 0600) == 0; }, {256, 256}},
        {"a link to a thumbnail elsewhere",
         [&] { return TestEnv::writeFile(elsewhere, entryPng(photo, mtime, 100)) && QDir().mkpath(thumbnails() + "/large") && symlinkTo(elsewhere, entry); },
         {256, 256}},
        {"a text chunk with a wrong checksum",
         [&] {
             QByteArray png = entryPng(photo, mtime, 100);
             const qsizetype date = png.indexOf("tEXtThumb::MTime");
             png[date + 4 + 23] = char(png[date + 4 + 23] ^ 1); // its checksum, after 23 bytes of text
             return TestEnv::writeFile(entry, png);
         },
         {256, 256}},
        {"a chunk with a corrupt length", [&] { return TestEnv::writeFile(entry, entryPng(photo, mtime, 100, QByteArray::fromHex("7ffffff0") + "tEXt")); }, {256, 256}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        ASSERT_TRUE(c.plant());
        EXPECT_EQ(madeWithin(5000), std::optional<QSize>(c.made));
        EXPECT_FALSE(QFileInfo(entry).isSymLink());
        EXPECT_EQ(QImage(entry).size(), c.made) << "replaced by a sound entry";
    }
    EXPECT_EQ(QImage(elsewhere).size(), QSize(100, 100)) << "the link's target is untouched";
    EXPECT_LT(peakResidentMB(), 1000) << "the giant was never read";
}

} // namespace
