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

// Colour and alpha that change across the picture in both directions, in
// all 16 bits, so that a pixel taken from the wrong place or weighed
// wrongly shows.
QImage gradient(int w, int h, QImage::Format format)
{
    QImage img(w, h, QImage::Format_RGBA64);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint16 alpha = format == QImage::Format_RGBA64 ? quint16(65535 - x * 65535 / w) : 65535;
            line[x] = QRgba64::fromRgba64(quint16(x * 65535 / w), quint16(y * 65535 / h),
                                          quint16((x * y * 37) % 65536), alpha);
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

// A 16-bit colour PNG of the picture with a block of one colour at its
// top left, and a tRNS chunk that makes that colour transparent; with the
// picture it shows.
std::pair<QImage, QByteArray> withTransparentBlock(QImage img)
{
    const QRgba64 key = QRgba64::fromRgba64(1234, 40000, 777, 65535);
    for (int y = 0; y < 40; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(img.scanLine(y));
        std::fill(line, line + 40, key);
    }
    QByteArray colour(6, '\0');
    qToBigEndian(key.red(), colour.data());
    qToBigEndian(key.green(), colour.data() + 2);
    qToBigEndian(key.blue(), colour.data() + 4);
    const QByteArray plain = png(img);
    constexpr qsizetype afterHeader = 8 + 25;
    const QByteArray keyed = plain.left(afterHeader) + TestEnv::pngChunk("tRNS", colour) + plain.mid(afterHeader);
    img = img.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < 40; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(img.scanLine(y));
        std::fill(line, line + 40, QRgba64::fromRgba64(0, 0, 0, 0));
    }
    return {img, keyed};
}

// The picture as a 16-bit PNG (RGBA when `alpha`) written the ways Qt's
// writer never writes one: interlaced (Adam7), or with its rows filtered
// in turn by each of the five filters (others' writers choose among them
// row by row; Qt's uses one).
QByteArray handWrittenPng(const QImage& img, bool interlaced, bool alpha)
{
    const int channels = alpha ? 4 : 3;
    const auto samples = [&](int x, int y, QByteArray& into) {
        const QRgba64 c = reinterpret_cast<const QRgba64*>(img.constScanLine(y))[x];
        const quint16 all[4] = {c.red(), c.green(), c.blue(), c.alpha()};
        for (int i = 0; i < channels; ++i) {
            into += char(all[i] >> 8);
            into += char(all[i] & 0xff);
        }
    };
    QByteArray raw;
    if (interlaced) {
        // First column and row, then the steps between them, of the 7 passes.
        static constexpr int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (const auto& p : passes) {
            for (int y = p[1]; p[0] < img.width() && y < img.height(); y += p[3]) {
                raw += '\0'; // no filter
                for (int x = p[0]; x < img.width(); x += p[2])
                    samples(x, y, raw);
            }
        }
    } else {
        const int bpp = channels * 2;
        QByteArray above(img.width() * bpp, '\0');
        for (int y = 0; y < img.height(); ++y) {
            QByteArray row;
            for (int x = 0; x < img.width(); ++x)
                samples(x, y, row);
            const int filter = y % 5;
            raw += char(filter);
            for (qsizetype i = 0; i < row.size(); ++i) {
                const int a = i >= bpp ? quint8(row[i - bpp]) : 0;
                const int b = quint8(above[i]);
                const int c = i >= bpp ? quint8(above[i - bpp]) : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int predicted[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
                raw += char(quint8(row[i]) - predicted[filter]);
            }
            above = row;
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
    header[8] = 16;                // bits a sample
    header[9] = alpha ? 6 : 2;     // RGBA or RGB
    header[12] = interlaced ? 1 : 0;
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
        QImage reference = {}; // what the picture is, when Qt cannot decode `bytes`
    };
    const QByteArray deep = png(gradient(301, 157, QImage::Format_RGBX64));
    const auto [keyed, keyedPng] = withTransparentBlock(gradient(301, 157, QImage::Format_RGBX64));
    const QList<Case> cases{
        {"16-bit colour", deep, {64, 33}, true},
        {"16-bit colour, alpha", png(gradient(301, 157, QImage::Format_RGBA64)), {64, 33}, true},
        {"16-bit colour, every filter", handWrittenPng(gradient(301, 157, QImage::Format_RGBX64), false, false),
         {64, 33}, true},
        {"16-bit colour, alpha, every filter",
         handWrittenPng(gradient(301, 157, QImage::Format_RGBA64), false, true), {64, 33}, true},
        // Qt 6.4 decodes this one wrongly.
        {"16-bit colour, tRNS", keyedPng, {64, 33}, true, keyed},
        {"16-bit grey", png(gradient(157, 301, QImage::Format_Grayscale16)), {33, 64}, true},
        {"8-bit grey", png(gradient(200, 100, QImage::Format_Grayscale8)), {64, 32}, true},
        {"palette", png(gradient(200, 100, QImage::Format_Indexed8)), {64, 32}, true},
        {"taller only", png(gradient(60, 300, QImage::Format_RGBX64)), {12, 60}, true},
        {"8-bit colour", png(gradient(200, 100, QImage::Format_ARGB32)), {64, 32}, false},
        {"interlaced", handWrittenPng(gradient(200, 100, QImage::Format_RGBX64), true, false), {64, 32}, false},
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
        const QImage whole =
            (c.reference.isNull() ? QImage::fromData(c.bytes, "PNG") : c.reference).convertToFormat(QImage::Format_ARGB32);
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
