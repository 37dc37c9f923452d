#include "platform/freedesktop/PngScaler.h"

#include <QSysInfo>

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <errno.h>
#include <unistd.h>

namespace {

// The file, read ahead in blocks: libpng asks for a few bytes at a time.
struct Source
{
    int fd = -1;
    qint64 limit = 0;  // bytes that may be read from the file's start
    qint64 offset = 0; // of the block's first byte in the file
    std::vector<unsigned char> block = std::vector<unsigned char>(64 * 1024);
    size_t pos = 0;
    size_t end = 0;
};

// What a decode needs besides libpng's own state. It lives outside the
// function that calls setjmp, so that nothing of it is left in registers
// when libpng jumps back on an error.
struct Work
{
    std::vector<quint8> row;        // one decoded row, 4 bytes a pixel
    std::vector<quint32> column;    // per input pixel and channel: the output row's sums so far
    std::vector<quint64> sums;      // per output pixel and channel
    std::vector<quint32> firstOut;  // per input column: the output column it starts in
    std::vector<quint32> firstPart; // and its weight there; the rest goes to the next
    QImage out;
};

enum class Outcome { Decoded, NotTaken, Refused };

// Called by libpng, which jumps out of it on an error: nothing here needs
// destroying.
void readFromSource(png_structp png, png_bytep data, size_t length)
{
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    while (length > 0) {
        if (src->pos == src->end) {
            const qint64 at = src->offset + qint64(src->end);
            const qint64 left = src->limit - at;
            if (left <= 0)
                png_error(png, "longer than allowed");
            ssize_t n;
            do {
                n = ::pread(src->fd, src->block.data(),
                            size_t(std::min<qint64>(left, qint64(src->block.size()))), at);
            } while (n < 0 && errno == EINTR);
            if (n <= 0)
                png_error(png, "cut short");
            src->offset = at;
            src->pos = 0;
            src->end = size_t(n);
        }
        const size_t take = std::min(length, src->end - src->pos);
        std::memcpy(data, src->block.data() + src->pos, take);
        src->pos += take;
        data += take;
        length -= take;
    }
}

// Damaged files are common enough among downloads: nothing is printed.
void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Alpha-weighted colour: a transparent pixel adds nothing of its colour.
void premultiply(std::vector<quint8>& row)
{
    const int alpha = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 3 : 0;
    const int first = alpha == 3 ? 0 : 1;
    for (size_t i = 0; i < row.size(); i += 4) {
        const quint32 a = row[i + alpha];
        for (int c = first; c < first + 3; ++c)
            row[i + c] = quint8((row[i + c] * a + 127) / 255);
    }
}

void addRow(std::vector<quint32>& column, const std::vector<quint8>& row, quint32 weight)
{
    for (size_t i = 0; i < row.size(); ++i)
        column[i] += weight * row[i];
}

// Sums the columns' totals into output row `y` and starts the next row.
void emitRow(Work& w, int y, quint32 inWidth, quint32 inHeight)
{
    const quint32 outWidth = quint32(w.out.width());
    std::fill(w.sums.begin(), w.sums.end(), 0);
    for (quint32 x = 0; x < inWidth; ++x) {
        const quint32 o = w.firstOut[x] * 4;
        const quint32 part = w.firstPart[x];
        const quint32* in = &w.column[size_t(x) * 4];
        for (int c = 0; c < 4; ++c)
            w.sums[o + c] += quint64(part) * in[c];
        if (part < outWidth) {
            for (int c = 0; c < 4; ++c)
                w.sums[o + 4 + c] += quint64(outWidth - part) * in[c];
        }
    }
    // Each output pixel covers inWidth × inHeight units of weight.
    const quint64 whole = quint64(inWidth) * inHeight;
    uchar* line = w.out.scanLine(y);
    for (size_t i = 0; i < w.sums.size(); ++i)
        line[i] = uchar((w.sums[i] + whole / 2) / whole);
    std::fill(w.column.begin(), w.column.end(), 0);
}

Outcome run(png_structp png, png_infop info, Work& w, QSize target, qint64 maxPixels)
{
    if (setjmp(png_jmpbuf(png)))
        return Outcome::Refused;
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // As Qt's reader does: some writers mark a smaller window than they use.
    png_set_option(png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    // The image data's checksums are not computed, as web browsers do not:
    // they cost a tenth of a photo's decoding and guard only against
    // damage in storage, which would at worst show in the thumbnail. A
    // damaged structure (a chunk cut short, data that does not inflate)
    // still fails.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_IGNORE_ADLER32)
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    if (!PngScaler::takes(depth, type, interlace, std::max(width, height)))
        return Outcome::NotTaken;
    if (qint64(width) * height > maxPixels)
        return Outcome::Refused;
    const quint32 outWidth = quint32(std::max(0, target.width()));
    const quint32 outHeight = quint32(std::max(0, target.height()));
    if (outWidth == 0 || outHeight == 0 || outWidth > width || outHeight > height ||
        (outWidth == width && outHeight == height))
        return Outcome::NotTaken;

    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png); // palettes, grey below 8 bits and tRNS to 8-bit channels
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    // QImage's 32-bit formats are 0xAARRGGBB words.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        png_set_bgr(png);
        if (!alpha)
            png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    } else if (alpha) {
        png_set_swap_alpha(png);
    } else {
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4)
        return Outcome::Refused;

    w.out = QImage(int(outWidth), int(outHeight),
                   alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (w.out.isNull())
        return Outcome::Refused;
    w.row.resize(size_t(width) * 4);
    w.column.assign(size_t(width) * 4, 0);
    w.sums.assign(size_t(outWidth) * 4, 0);
    // Input column x covers [x·outWidth, (x+1)·outWidth) and output column
    // o covers [o·width, (o+1)·width): an input column lies in one output
    // column or straddles two.
    w.firstOut.resize(width);
    w.firstPart.resize(width);
    for (quint32 x = 0; x < width; ++x) {
        const quint64 start = quint64(x) * outWidth;
        const quint64 o = start / width;
        w.firstOut[x] = quint32(o);
        w.firstPart[x] = quint32(std::min(start + outWidth, (o + 1) * width) - start);
    }
    // The same for rows, as they come: input row y covers
    // [y·outHeight, (y+1)·outHeight), output row o [o·height, (o+1)·height).
    int outY = 0;
    quint64 rowEnd = height;
    for (quint32 y = 0; y < height; ++y) {
        png_read_row(png, w.row.data(), nullptr);
        if (alpha)
            premultiply(w.row);
        const quint64 start = quint64(y) * outHeight;
        const quint64 end = start + outHeight;
        if (end <= rowEnd) {
            addRow(w.column, w.row, outHeight);
        } else {
            addRow(w.column, w.row, quint32(rowEnd - start));
            emitRow(w, outY++, width, height);
            addRow(w.column, w.row, quint32(end - rowEnd));
            rowEnd += height;
        }
        if (end == rowEnd) {
            emitRow(w, outY++, width, height);
            rowEnd += height;
        }
    }
    return Outcome::Decoded;
}

} // namespace

bool PngScaler::takes(int bitDepth, int colorType, int interlace, quint32 longestSide)
{
    if (interlace != PNG_INTERLACE_NONE || longestSide > maxSide)
        return false;
    return bitDepth == 16 || colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE;
}

std::optional<QImage> PngScaler::decode(int fd, QSize target, qint64 maxBytes, qint64 maxPixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return QImage();
    }
    Source src;
    src.fd = fd;
    src.limit = maxBytes;
    png_set_read_fn(png, &src, readFromSource);
    Work work;
    const Outcome outcome = run(png, info, work, target, maxPixels);
    png_destroy_read_struct(&png, &info, nullptr);
    switch (outcome) {
    case Outcome::Decoded:
        return work.out;
    case Outcome::NotTaken:
        return std::nullopt;
    case Outcome::Refused:
        break;
    }
    return QImage();
}
