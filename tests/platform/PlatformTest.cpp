// Previews from pictures and from the freedesktop thumbnail cache.
#include "platform/FreedesktopThumbnailer.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// A PNG chunk, written by hand: Qt's PNG writer mangles text keys with ':'.
QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    const auto be32 = [](quint32 v) -> QByteArray { return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v); };
    const QByteArray body = type + data;
    quint32 crc = 0xffffffffu;
    for (char ch : body) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return be32(quint32(data.size())) + body + be32(~crc);
}

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
    TestEnv::writeFile(dir.filePath("a.txt"), "hello");
    TestEnv::writeFile(dir.filePath("corrupt.png"), "\x89PNG\r\n\x1a\n garbage");
    const QList<std::pair<QString, QSize>> cases{
        {"big.png", {256, 128}}, {"small.png", {40, 30}}, // never enlarged
        {"rotated.jpg", {128, 256}}, {"a.txt", {0, 0}}, {"corrupt.png", {0, 0}},
        {"missing.png", {0, 0}}, {"", {0, 0}}}; // a folder has none
    for (const auto& [name, size] : cases)
        EXPECT_EQ(made(name), size) << name.toStdString();
}

TEST_F(ThumbnailerTest, FreshCacheEntriesAreUsedAndStaleOnesIgnored)
{
    TestEnv::writePng(dir.filePath("photo.png"), 800, 800);
    const QByteArray uri = QUrl::fromLocalFile(dir.filePath("photo.png")).toEncoded();
    const QString cacheFile = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                              "/thumbnails/large/" +
                              QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
    const qint64 mtime = QFileInfo(dir.filePath("photo.png")).lastModified().toSecsSinceEpoch();
    for (const auto& [stored, size] : {std::pair{mtime, QSize(200, 100)}, {mtime - 60, QSize(256, 256)}}) {
        // Text chunks go right after the 8-byte signature and the IHDR chunk.
        const QByteArray png = encoded(200, 100, "PNG");
        TestEnv::writeFile(cacheFile, png.left(33) + pngChunk("tEXt", QByteArray("Thumb::URI\0", 11) + uri) +
                                          pngChunk("tEXt", QByteArray("Thumb::MTime\0", 13) + QByteArray::number(stored)) +
                                          png.mid(33));
        EXPECT_EQ(made("photo.png"), size) << stored;
    }
}

} // namespace
