#include "platform/freedesktop/PngScaler.h"

#include <QSysInfo>
#include <QtEndian>

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files, and image data once inflated, up to this size are decoded whole
// in memory, where libdeflate inflates them twice as fast as zlib can a
// stream; larger ones stream through libpng.
constexpr qint64 maxWholeBytes = qint64(64) << 20;

// QImage's 32-bit formats are 0xAARRGGBB words: the byte of each channel.
constexpr bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
constexpr int blueByte = littleEndian ? 0 : 3;
constexpr int greenByte = littleEndian ? 1 : 2;
constexpr int redByte = littleEndian ? 2 : 1;
constexpr int alphaByte = littleEndian ? 3 : 0;

// Averages rows of 8-bit BGRA (as QImage words) into a smaller picture as
// they come. Input column x covers [x·outWidth, (x+1)·outWidth) and output
// column o covers [o·width, (o+1)·width), so that an input column lies in
// one output column or straddles two; rows likewise.
class RowScaler
{
public:
    // False when the picture cannot be made.
    bool begin(quint32 width, quint32 height, QSize target, bool alpha)
    {
        m_width = width;
        m_height = height;
        m_alpha = alpha;
        m_out = QImage(target, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (m_out.isNull())
            return false;
        m_row.resize(size_t(width) * 4);
        m_column.assign(size_t(width) * 4, 0);
        m_sums.assign(size_t(target.width()) * 4, 0);
        m_firstOut.resize(width);
        m_firstPart.resize(width);
        const quint64 outWidth = quint64(target.width());
        for (quint32 x = 0; x < width; ++x) {
            const quint64 start = x * outWidth;
            const quint64 o = start / width;
            m_firstOut[x] = quint32(o);
            m_firstPart[x] = quint32(std::min(start + outWidth, (o + 1) * width) - start);
        }
        m_y = 0;
        m_outY = 0;
        m_rowEnd = height;
        return true;
    }

    // The next input row, to be filled before add().
    quint8* row() { return m_row.data(); }

    void add()
    {
        if (m_alpha)
            premultiply();
        const quint64 outHeight = quint64(m_out.height());
        const quint64 start = m_y++ * outHeight;
        const quint64 end = start + outHeight;
        if (end <= m_rowEnd) {
            addRow(quint32(outHeight));
        } else {
            addRow(quint32(m_rowEnd - start));
            emitRow();
            addRow(quint32(end - m_rowEnd));
            m_rowEnd += m_height;
        }
        if (end == m_rowEnd) {
            emitRow();
            m_rowEnd += m_height;
        }
    }

    QImage image() const { return m_out; }

private:
    // Alpha-weighted colour: a transparent pixel adds nothing of its colour.
    void premultiply()
    {
        for (size_t i = 0; i < m_row.size(); i += 4) {
            const quint32 a = m_row[i + alphaByte];
            for (int c : {blueByte, greenByte, redByte})
                m_row[i + size_t(c)] = quint8((m_row[i + size_t(c)] * a + 127) / 255);
        }
    }

    void addRow(quint32 weight)
    {
        for (size_t i = 0; i < m_row.size(); ++i)
            m_column[i] += weight * m_row[i];
    }

    // Sums the columns' totals into the next output row and starts the one
    // after it.
    void emitRow()
    {
        const quint32 outWidth = quint32(m_out.width());
        std::fill(m_sums.begin(), m_sums.end(), 0);
        for (quint32 x = 0; x < m_width; ++x) {
            const quint32 o = m_firstOut[x] * 4;
            const quint32 part = m_firstPart[x];
            const quint32* in = &m_column[size_t(x) * 4];
            for (int c = 0; c < 4; ++c)
                m_sums[o + c] += quint64(part) * in[c];
            if (part < outWidth) {
                for (int c = 0; c < 4; ++c)
                    m_sums[o + 4 + c] += quint64(outWidth - part) * in[c];
            }
        }
        // Each output pixel covers width × height units of weight.
        const quint64 whole = quint64(m_width) * m_height;
        uchar* line = m_out.scanLine(m_outY++);
        for (size_t i = 0; i < m_sums.size(); ++i)
            line[i] = uchar((m_sums[i] + whole / 2) / whole);
        std::fill(m_column.begin(), m_column.end(), 0);
    }

    quint32 m_width = 0;
    quint32 m_height = 0;
    bool m_alpha = false;
    QImage m_out;
    std::vector<quint8> m_row;        // one input row, 4 bytes a pixel
    std::vector<quint32> m_column;    // per input pixel and channel: the output row's sums so far
    std::vector<quint64> m_sums;      // per output pixel and channel
    std::vector<quint32> m_firstOut;  // per input column: the output column it starts in
    std::vector<quint32> m_firstPart; // and its weight there; the rest goes to the next
    quint64 m_y = 0;
    int m_outY = 0;
    quint64 m_rowEnd = 0;
};

// Whether the picture is scaled down to the target: the target is smaller
// on one side at least and larger on neither.
bool scalesDown(quint32 width, quint32 height, QSize target)
{
    return target.width() > 0 && target.height() > 0 && quint32(target.width()) <= width &&
           quint32(target.height()) <= height &&
           (quint32(target.width()) < width || quint32(target.height()) < height);
}

// ---- Whole in memory: 16-bit colour photos ----

bool readAll(int fd, unsigned char* into, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, into + got, size_t(size - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

// Undoes the row's filter, given the row above it (zeros for the first):
// each byte was stored as its difference from a prediction made of the
// bytes to its left (bpp before it), above it, and above-left.
bool unfilter(quint8 type, quint8* row, const quint8* above, size_t bytes, size_t bpp)
{
    switch (type) {
    case 0:
        return true;
    case 1:
        for (size_t i = bpp; i < bytes; ++i)
            row[i] = quint8(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (size_t i = 0; i < bytes; ++i)
            row[i] = quint8(row[i] + above[i]);
        return true;
    case 3:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = quint8(row[i] + (above[i] >> 1));
        for (size_t i = bpp; i < bytes; ++i)
            row[i] = quint8(row[i] + ((row[i - bpp] + above[i]) >> 1));
        return true;
    case 4:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = quint8(row[i] + above[i]);
        for (size_t i = bpp; i < bytes; ++i) {
            const int a = row[i - bpp];
            const int b = above[i];
            const int c = above[i - bpp];
            const int pa = std::abs(b - c);
            const int pb = std::abs(a - c);
            const int pc = std::abs(a + b - 2 * c);
            row[i] = quint8(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        return true;
    default:
        return false;
    }
}

// A 16-bit sample to 8 bits, rounded as libpng's png_set_scale_16 does.
quint8 to8(const quint8* sample)
{
    return quint8((quint32(sample[0] << 8 | sample[1]) * 255 + 32895) >> 16);
}

// Decodes a 16-bit RGB or RGBA PNG that is not interlaced and has no tRNS
// chunk: the kind a camera or photo editor writes, and the one whose
// decoding costs most. Nothing for any other file, or when anything about
// this one is amiss: libpng then decides what it makes of it.
std::optional<QImage> decodeWhole(int fd, QSize target, qint64 maxBytes, qint64 maxPixels)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > std::min(maxBytes, maxWholeBytes) ||
        st.st_size < 8 + 25)
        return std::nullopt;
    const qint64 fileSize = st.st_size;
    // The signature and the header come first: the rest of the file is
    // read only for a PNG decoded here.
    quint8 head[8 + 25];
    if (!readAll(fd, head, sizeof head) || png_sig_cmp(head, 0, 8) != 0)
        return std::nullopt;
    const quint8* ihdr = head + 8;
    if (qFromBigEndian<quint32>(ihdr) != 13 || std::memcmp(ihdr + 4, "IHDR", 4) != 0)
        return std::nullopt;
    const quint32 width = qFromBigEndian<quint32>(ihdr + 8);
    const quint32 height = qFromBigEndian<quint32>(ihdr + 12);
    const int depth = ihdr[16];
    const int type = ihdr[17];
    if (depth != 16 || (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGB_ALPHA) || ihdr[18] != 0 ||
        ihdr[19] != 0 || ihdr[20] != PNG_INTERLACE_NONE || width == 0 || height == 0 ||
        !PngScaler::takes(depth, type, ihdr[20], std::max(width, height)) ||
        qint64(width) * height > maxPixels || !scalesDown(width, height, target))
        return std::nullopt;
    const bool alpha = type == PNG_COLOR_TYPE_RGB_ALPHA;
    const size_t bpp = alpha ? 8 : 6;
    const size_t rowBytes = size_t(width) * bpp;
    const qint64 inflatedSize = qint64(height) * qint64(rowBytes + 1);
    if (inflatedSize > maxWholeBytes)
        return std::nullopt;
    const auto file = std::make_unique_for_overwrite<quint8[]>(size_t(fileSize));
    if (!readAll(fd, file.get(), fileSize))
        return std::nullopt;

    // The image data chunks, which follow one another, moved together at
    // the front of the buffer.
    size_t compressed = 0;
    bool inData = false;
    for (qint64 at = 8 + 25; at + 12 <= fileSize;) {
        const quint32 length = qFromBigEndian<quint32>(file.get() + at);
        const quint8* name = file.get() + at + 4;
        if (length > 0x7fffffffu || at + 12 + qint64(length) > fileSize)
            return std::nullopt;
        if (std::memcmp(name, "IDAT", 4) == 0) {
            std::memmove(file.get() + compressed, file.get() + at + 8, length);
            compressed += length;
            inData = true;
        } else if (inData || std::memcmp(name, "IEND", 4) == 0) {
            break;
        } else if (std::memcmp(name, "tRNS", 4) == 0) {
            return std::nullopt;
        }
        at += 12 + qint64(length);
    }
    if (!inData)
        return std::nullopt;

    const auto inflated = std::make_unique_for_overwrite<quint8[]>(size_t(inflatedSize));
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (!inflater)
        return std::nullopt;
    const libdeflate_result result = libdeflate_zlib_decompress(
        inflater, file.get(), compressed, inflated.get(), size_t(inflatedSize), nullptr);
    libdeflate_free_decompressor(inflater);
    if (result != LIBDEFLATE_SUCCESS)
        return std::nullopt;

    RowScaler scaler;
    if (!scaler.begin(width, height, target, alpha))
        return std::nullopt;
    const std::vector<quint8> zeros(rowBytes, 0);
    const quint8* above = zeros.data();
    for (quint32 y = 0; y < height; ++y) {
        quint8* line = inflated.get() + size_t(y) * (rowBytes + 1);
        if (!unfilter(line[0], line + 1, above, rowBytes, bpp))
            return std::nullopt;
        above = line + 1;
        quint8* out = scaler.row();
        const quint8* in = line + 1;
        for (quint32 x = 0; x < width; ++x, in += bpp, out += 4) {
            out[redByte] = to8(in);
            out[greenByte] = to8(in + 2);
            out[blueByte] = to8(in + 4);
            out[alphaByte] = alpha ? to8(in + 6) : 0xff;
        }
        scaler.add();
    }
    return scaler.image();
}

// ---- Streamed through libpng: every other kind taken ----

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

// The scaler lives outside this function, which calls setjmp, so that
// nothing of it is left in registers when libpng jumps back on an error.
Outcome run(png_structp png, png_infop info, RowScaler& scaler, QSize target, qint64 maxPixels)
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
    if (!scalesDown(width, height, target))
        return Outcome::NotTaken;

    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png); // palettes, grey below 8 bits and tRNS to 8-bit channels
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    if (littleEndian) {
        png_set_bgr(png);
        if (!alpha)
            png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    } else if (alpha) {
        png_set_swap_alpha(png);
    } else {
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4 || !scaler.begin(width, height, target, alpha))
        return Outcome::Refused;
    for (quint32 y = 0; y < height; ++y) {
        png_read_row(png, scaler.row(), nullptr);
        scaler.add();
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
    if (std::optional<QImage> img = decodeWhole(fd, target, maxBytes, maxPixels))
        return img;
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
    RowScaler scaler;
    const Outcome outcome = run(png, info, scaler, target, maxPixels);
    png_destroy_read_struct(&png, &info, nullptr);
    switch (outcome) {
    case Outcome::Decoded:
        return scaler.image();
    case Outcome::NotTaken:
        return std::nullopt;
    case Outcome::Refused:
        break;
    }
    return QImage();
}
