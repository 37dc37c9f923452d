// Previews from pictures, kept in the freedesktop thumbnail cache and in memory.
#include "platform/Symbols.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A picture of w×h pixels encoded in `format`.
QByteArray encoded(int w, int h, const char* format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

// A symbol comes in the tint, size and scale asked for, however often and
// in whatever order the same ones are asked for again.
TEST(SymbolsTest, EachTintSizeAndScaleIsDrawnAsAsked)
{
    struct Ask
    {
        qreal points;
        QColor tint;
        qreal scale;
    };
    for (const Ask& ask : {Ask{16, Qt::red, 1}, Ask{16, Qt::blue, 1}, Ask{16, Qt::red, 2}, Ask{30, Qt::red, 1},
                           Ask{16, Qt::red, 1}}) {
        const QImage img = Symbols::image(QStringLiteral("xmark"), ask.points, ask.tint, ask.scale);
        const QSizeF size = Symbols::naturalSize(QStringLiteral("xmark"), ask.points) * ask.scale;
        EXPECT_EQ(img.size(), QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))));
        QRgb inked = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (qAlpha(img.pixel(x, y)) > qAlpha(inked))
                    inked = img.pixel(x, y);
            }
        }
        EXPECT_EQ(QColor(inked).name(), ask.tint.name()) << ask.points << " points at " << ask.scale;
    }
}

class ThumbnailerTest : public ::testing::Test
{
protected:
    QSize made(const QString& name) { return t.makeThumbnail(QFile::encodeName(dir.filePath(name)), 256).size(); }

    QTemporaryDir dir;
    FreedesktopThumbnailer t;
};

TEST_F(ThumbnailerTest, PicturesFitTheSizeTurnedAsTheirExifSaysOthersHaveNone)
{
    // A JPEG whose EXIF orientation says "rotate 90° clockwise": APP1
    // "Exif", a big-endian TIFF header, one IFD entry 0x0112 = 6.
    const QByteArray jpeg = encoded(600, 300, "JPEG");
    const QByteArray exif = QByteArray("Exif\0\0", 6) +
                            QByteArray::fromHex("4d4d002a000000080001011200030000000100060000" "00000000");
    const QByteArray app1 = QByteArray::fromHex("ffe1") + char((exif.size() + 2) >> 8) + char(exif.size() + 2) + exif;
    TestEnv::writeFile(dir.filePath("rotated.jpg"), jpeg.left(2) + app1 + jpeg.mid(2));
    TestEnv::writePng(dir.filePath("big.png"), 1000, 500);
    TestEnv::writePng(dir.filePath("small.png"), 40, 30);
    QImage deep(1000, 500, QImage::Format_RGBA64); // 16 bits a channel
    deep.fill(QColor(40, 120, 220, 200));
    deep.save(dir.filePath("deep.png"));
    TestEnv::writeFile(dir.filePath("a.txt"), "hello");
    TestEnv::writeFile(dir.filePath("corrupt.png"), "\x89PNG\r\n\x1a\n garbage");
    const QList<std::pair<QString, QSize>> cases{
        {"big.png", {256, 128}}, {"deep.png", {256, 128}}, {"small.png", {40, 30}}, // never enlarged
        {"rotated.jpg", {128, 256}}, {"a.txt", {0, 0}}, {"corrupt.png", {0, 0}},
        {"missing.png", {0, 0}}, {"", {0, 0}}}; // a folder has none
    for (const auto& [name, size] : cases)
        EXPECT_EQ(made(name), size) << name.toStdString();
}

TEST_F(ThumbnailerTest, WhatIsMadeIsCachedPrivatelyForLaterShelvesAndRemadeWhenTheFileChanges)
{
    const QString photo = dir.filePath("photo.png");
    const QString cache = TestEnv::thumbnailCache() + "/large";
    const auto entryFor = [](const QString& path) { return TestEnv::thumbnailEntry("large", path); };
    const QString entry = entryFor(photo);
    const auto setMtime = [&](qint64 seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        return ::utimensat(AT_FDCWD, QFile::encodeName(photo).constData(), times, 0) == 0;
    };
    TestEnv::writePng(photo, 800, 800);
    ASSERT_TRUE(setMtime(1700000000));
    EXPECT_EQ(made("photo.png"), QSize(256, 256));
    EXPECT_EQ(QImage(entry).size(), QSize(256, 256));
    // Marked the way the freedesktop thumbnail rules say, for other programs.
    QFile written(entry);
    const QByteArray png = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
    EXPECT_TRUE(png.contains(QByteArray(QByteArray("tEXtThumb::MTime\0", 17) + "1700000000")));
    EXPECT_TRUE(png.contains(QByteArray(QByteArray("tEXtThumb::URI\0", 15) + QUrl::fromLocalFile(photo).toEncoded())));
    EXPECT_EQ(QFileInfo(entry).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QFileInfo(cache).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto garble = [&](qint64 mtime) { // the same size and date, other contents
        return TestEnv::writeFile(photo, QByteArray(QFileInfo(photo).size(), 'x')) && setMtime(mtime);
    };
    // A later shelf, in the next session, decodes nothing.
    ASSERT_TRUE(garble(1700000000));
    EXPECT_EQ(FreedesktopThumbnailer().makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(256, 256));
    // Written on within the same second (its writer had not finished), the
    // file is told apart by its size.
    TestEnv::writePng(photo, 400, 200);
    ASSERT_TRUE(setMtime(1700000000));
    EXPECT_EQ(FreedesktopThumbnailer().makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(256, 128));
    // A changed file gets a new thumbnail; a broken entry is passed over and
    // written again.
    TestEnv::writePng(photo, 400, 200);
    ASSERT_TRUE(setMtime(1700000100));
    EXPECT_EQ(made("photo.png"), QSize(256, 128));
    EXPECT_EQ(QImage(entry).size(), QSize(256, 128));
    TestEnv::writeFile(entry, "\x89PNG broken");
    EXPECT_EQ(FreedesktopThumbnailer().makeThumbnail(QFile::encodeName(photo), 256).size(), QSize(256, 128));
    EXPECT_EQ(QImage(entry).size(), QSize(256, 128));
    // In this session the picture comes from memory, even with the cache gone.
    ASSERT_TRUE(garble(1700000100) && QFile::remove(entry));
    EXPECT_EQ(made("photo.png"), QSize(256, 128));
    // Nothing is made of the cache's own files.
    TestEnv::writePng(cache + "/inside.png", 300, 300);
    EXPECT_EQ(t.makeThumbnail(QFile::encodeName(cache + "/inside.png"), 256).size(), QSize(256, 256));
    EXPECT_FALSE(QFileInfo::exists(entryFor(cache + "/inside.png")));
    EXPECT_TRUE(QDir(cache).entryList({".kavo-*"}, QDir::Files | QDir::Hidden).isEmpty()) << "no half-written files";
}

} // namespace
