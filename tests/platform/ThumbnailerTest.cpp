#include "platform/FreedesktopThumbnailer.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// A JPEG of w x h pixels whose EXIF orientation says "rotate 90° clockwise".
QByteArray jpegWithOrientation6(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPEG");
    // APP1 "Exif": big-endian TIFF header, one IFD entry 0x0112 = 6.
    const QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"
                                                "0001"
                                                "011200030000000100060000"
                                                "00000000");
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1 = QByteArray::fromHex("ffe1");
    const int len = payload.size() + 2;
    app1.append(char(len >> 8)).append(char(len & 0xff)).append(payload);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

// A PNG tEXt chunk, written by hand: Qt's PNG writer mangles keys with ':'.
QByteArray pngTextChunk(const QByteArray& key, const QByteArray& value)
{
    const QByteArray body = "tEXt" + key + '\0' + value;
    return be32(quint32(body.size() - 4)) + body + be32(crc32(body));
}

class ThumbnailerTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
};

TEST_F(ThumbnailerTest, ImagesAreScaledToFitAndOrientedByExif)
{
    FreedesktopThumbnailer t;
    const QString big = dir.filePath("big.png");
    ASSERT_TRUE(TestEnv::writePng(big, 1000, 500));
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(big), 256).size(), QSize(256, 128));

    const QString small = dir.filePath("small.png");
    ASSERT_TRUE(TestEnv::writePng(small, 40, 30));
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(small), 256).size(), QSize(40, 30)) << "never enlarged";

    const QString rotated = dir.filePath("rotated.jpg");
    ASSERT_TRUE(TestEnv::writeFile(rotated, jpegWithOrientation6(600, 300)));
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(rotated), 256).size(), QSize(128, 256));
}

TEST_F(ThumbnailerTest, FilesWithoutAPreviewGiveNone)
{
    FreedesktopThumbnailer t;
    const QString text = dir.filePath("a.txt");
    ASSERT_TRUE(TestEnv::writeFile(text, "hello"));
    EXPECT_TRUE(t.makeThumbnail(QFile::encodeName(text), 256).isNull());
    EXPECT_TRUE(t.makeThumbnail(QFile::encodeName(dir.path()), 256).isNull()) << "folders have none";
    EXPECT_TRUE(t.makeThumbnail(QFile::encodeName(dir.filePath("missing.png")), 256).isNull());
    const QString corrupt = dir.filePath("corrupt.png");
    ASSERT_TRUE(TestEnv::writeFile(corrupt, "\x89PNG\r\n\x1a\n garbage"));
    EXPECT_TRUE(t.makeThumbnail(QFile::encodeName(corrupt), 256).isNull());
}

TEST_F(ThumbnailerTest, FreshCacheEntriesAreUsedAndStaleOnesIgnored)
{
    const QString photo = dir.filePath("photo.png");
    ASSERT_TRUE(TestEnv::writePng(photo, 800, 800));
    const QByteArray uri = QUrl::fromLocalFile(photo).toEncoded();
    const QString cacheFile =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
        "/thumbnails/large/" +
        QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
    QDir().mkpath(QFileInfo(cacheFile).absolutePath());

    auto writeCache = [&](qint64 mtime) {
        QImage cached(200, 100, QImage::Format_ARGB32);
        cached.fill(Qt::magenta);
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        ASSERT_TRUE(cached.save(&buf, "PNG"));
        // Text chunks go right after the 8-byte signature and the IHDR chunk.
        const QByteArray chunks = pngTextChunk("Thumb::URI", uri) +
                                  pngTextChunk("Thumb::MTime", QByteArray::number(mtime));
        ASSERT_TRUE(TestEnv::writeFile(cacheFile, png.left(33) + chunks + png.mid(33)));
    };
    FreedesktopThumbnailer t;
    const qint64 mtime = QFileInfo(photo).lastModified().toSecsSinceEpoch();
    writeCache(mtime);
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(200, 100));
    writeCache(mtime - 60);
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(256, 256));
}

TEST_F(ThumbnailerTest, InstalledThumbnailersAreRunForOtherTypes)
{
    // A thumbnailer for plain text in the user's data folder: a script that
    // copies a prepared PNG to its output and records its arguments.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString png = dir.filePath("made.png");
    ASSERT_TRUE(TestEnv::writePng(png, 90, 60));
    const QString log = dir.filePath("args.txt");
    const QString script = dir.filePath("fake-thumbnailer");
    ASSERT_TRUE(TestEnv::writeFile(
        script, QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\ncp '%2' \"$4\"\n").arg(log, png).toUtf8()));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString desc = data + "/thumbnailers/kavo-test.thumbnailer";
    ASSERT_TRUE(TestEnv::writeFile(desc, QStringLiteral("[Thumbnailer Entry]\nTryExec=%1\n"
                                                        "Exec=%1 -s %s %i %o\n"
                                                        "MimeType=text/plain;\n")
                                             .arg(script)
                                             .toUtf8()));
    const QString text = dir.filePath("notes.txt");
    ASSERT_TRUE(TestEnv::writeFile(text, "some notes"));

    FreedesktopThumbnailer t;
    const QImage img = t.makeThumbnail(QFile::encodeName(text), 256);
    QFile::remove(desc);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(90, 60));
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(("-s 256 " + text).toUtf8()));
}

TEST_F(ThumbnailerTest, FilesWithThumbnailsAreReportedOnceOnTheMainThread)
{
    FreedesktopThumbnailer t;
    QList<QByteArray> paths;
    for (int i = 0; i < 12; ++i) {
        const QString p = dir.filePath(QStringLiteral("f%1.%2").arg(i).arg(i % 2 ? "png" : "txt"));
        ASSERT_TRUE(i % 2 ? TestEnv::writePng(p, 300, 300) : TestEnv::writeFile(p, "t"));
        paths << QFile::encodeName(p);
    }
    std::vector<int> seen(12, 0);
    bool wrongThread = false;
    t.request(paths, 128, [&](qsizetype index, const QImage& img) {
        ++seen.at(size_t(index));
        EXPECT_EQ(img.size(), QSize(128, 128));
        wrongThread |= QThread::currentThread() != qApp->thread();
    });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 0), 12) << "never inside request()";
    t.waitForIdle();
    TestEnv::processEventsFor(50);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(seen[size_t(i)], i % 2) << "file " << i;
    EXPECT_FALSE(wrongThread);
}

TEST_F(ThumbnailerTest, DestroyingTheThumbnailerWithWorkQueuedIsSafe)
{
    auto answered = std::make_shared<int>(0);
    {
        FreedesktopThumbnailer t;
        QList<QByteArray> paths;
        for (int i = 0; i < 40; ++i) {
            const QString p = dir.filePath(QStringLiteral("q%1.png").arg(i));
            ASSERT_TRUE(TestEnv::writePng(p, 900, 900));
            paths << QFile::encodeName(p);
        }
        std::weak_ptr<int> weak = answered;
        t.request(paths, 256, [weak](qsizetype, const QImage&) {
            if (auto a = weak.lock())
                ++*a;
        });
    }
    TestEnv::processEventsFor(50);
    EXPECT_LT(*answered, 40);
}

} // namespace
