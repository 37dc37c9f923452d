// PNGs scaled while they are decoded, compared with what Qt makes of the
// whole picture.
#include "platform/freedesktop/PngScaler.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Colour and alpha that change across the picture in both directions, so
// that a pixel taken from the wrong place or weighed wrongly shows.
QImage gradient(int w, int h, QImage::Format format)
{
    QImage img(w, h, QImage::Format_RGBA64);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int alpha = format == QImage::Format_RGBA64 ? 255 - (x * 255 / w) : 255;
            img.setPixelColor(x, y, QColor(x * 255 / w, y * 255 / h, (x * y) % 256, alpha));
        }
    }
    return format == QImage::Format_RGBA64 ? img : img.convertToFormat(format);
}

QByteArray png(const QImage& img)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

// The picture as a 16-bit colour PNG stored interlaced (Adam7), which Qt's
// writer never makes.
QByteArray interlacedPng(const QImage& img)
{
    // First column and row, then the steps between them, of the 7 passes.
    static constexpr int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    QByteArray raw;
    for (const auto& p : passes) {
        for (int y = p[1]; p[0] < img.width() && y < img.height(); y += p[3]) {
            raw += '\0'; // no filter
            for (int x = p[0]; x < img.width(); x += p[2]) {
                const QRgba64 c = img.pixelColor(x, y).rgba64();
                for (quint16 v : {c.red(), c.green(), c.blue()}) {
                    raw += char(v >> 8);
                    raw += char(v & 0xff);
                }
            }
        }
    }
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray data(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(data.data()), &size, reinterpret_cast<const Bytef*>(raw.constData()),
              uLong(raw.size()), 6);
    data.truncate(qsizetype(size));
    QByteArray header(13, '\0');
    qToBigEndian(quint32(img.width()), header.data());
    qToBigEndian(quint32(img.height()), header.data() + 4);
    header[8] = 16; // bits a sample
    header[9] = 2;  // RGB
    header[12] = 1; // Adam7
    return QByteArrayLiteral("\x89PNG\r\n\x1A\n") + TestEnv::pngChunk("IHDR", header) +
           TestEnv::pngChunk("IDAT", data) + TestEnv::pngChunk("IEND", {});
}

// The largest difference of one channel between the two pictures, compared
// premultiplied (the colour of a transparent pixel is not seen).
int largestDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int most = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return most;
}

class PngScalerTest : public ::testing::Test
{
protected:
    std::optional<QImage> decode(const QByteArray& bytes, QSize target, qint64 maxBytes = qint64(1) << 30,
                                 qint64 maxPixels = qint64(1) << 30)
    {
        const QString path = dir.filePath(QStringLiteral("p.png"));
        if (!TestEnv::writeFile(path, bytes))
            return QImage();
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        std::optional<QImage> img = PngScaler::decode(fd, target, maxBytes, maxPixels);
        ::close(fd);
        return img;
    }

    QTemporaryDir dir;
};

// The kinds Qt decodes whole are scaled while decoded, to what Qt's smooth
// scaling of the whole picture shows; 8-bit colour (which Qt itself scales
// while decoding) and interlaced pictures are left to Qt.
TEST_F(PngScalerTest, ScalesTheKindsQtDecodesWholeLikeQtsSmoothScaling)
{
    struct Case
    {
        const char* name;
        QByteArray bytes;
        QSize target;
        bool taken;
    };
    const QList<Case> cases{
        {"16-bit colour", png(gradient(301, 157, QImage::Format_RGBX64)), {64, 33}, true},
        {"16-bit colour, alpha", png(gradient(301, 157, QImage::Format_RGBA64)), {64, 33}, true},
        {"16-bit grey", png(gradient(157, 301, QImage::Format_Grayscale16)), {33, 64}, true},
        {"8-bit grey", png(gradient(200, 100, QImage::Format_Grayscale8)), {64, 32}, true},
        {"palette", png(gradient(200, 100, QImage::Format_Indexed8)), {64, 32}, true},
        {"taller only", png(gradient(60, 300, QImage::Format_RGBX64)), {12, 60}, true},
        {"8-bit colour", png(gradient(200, 100, QImage::Format_ARGB32)), {64, 32}, false},
        {"interlaced", interlacedPng(gradient(200, 100, QImage::Format_RGBX64)), {64, 32}, false},
        {"not larger", png(gradient(64, 32, QImage::Format_RGBX64)), {64, 32}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QImage> img = decode(c.bytes, c.target);
        ASSERT_EQ(img.has_value(), c.taken);
        if (!c.taken)
            continue;
        // At 8 bits a channel: Qt 6.4 scales 16-bit pictures with alpha
        // wrongly (their alpha comes out squared), and keeps a palette
        // picture's palette, so that its scaled colours are the nearest
        // the palette has.
        const QImage whole = QImage::fromData(c.bytes, "PNG").convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(whole.isNull());
        ASSERT_EQ(img->size(), c.target);
        EXPECT_LE(largestDifference(*img, whole.scaled(c.target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                  4);
    }
}

// A damaged file, one longer than allowed or one declaring too many pixels
// gives no picture.
TEST_F(PngScalerTest, RefusesWhatIsDamagedOrTooLarge)
{
    const QByteArray whole = png(gradient(301, 157, QImage::Format_RGBX64));
    struct Case
    {
        const char* name;
        QByteArray bytes;
        qint64 maxBytes;
        qint64 maxPixels;
    };
    const QList<Case> cases{
        {"cut short", whole.left(whole.size() * 2 / 3), whole.size(), 301 * 157},
        {"image data garbled", whole.left(whole.size() / 2) + QByteArray(whole.size() / 2, 'x'), whole.size(),
         301 * 157},
        {"longer than allowed", whole, whole.size() / 2, 301 * 157},
        {"too many pixels", whole, whole.size(), 301 * 157 - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QImage> img = decode(c.bytes, {64, 33}, c.maxBytes, c.maxPixels);
        ASSERT_TRUE(img.has_value());
        EXPECT_TRUE(img->isNull());
    }
    // The limits as they stand pass it.
    const std::optional<QImage> img = decode(whole, {64, 33}, whole.size(), 301 * 157);
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->size(), QSize(64, 33));
}

} // namespace
