#pragma once

#include <QImage>
#include <QSize>

#include <optional>

// Decodes a PNG straight to a thumbnail's size: each output pixel is the
// area average of the input pixels it covers (weighted by their alpha),
// made as the rows come. Qt's reader does this for 8-bit colour PNGs only;
// the others (16 bits a sample, grey, palette) it decodes whole first, at
// 8 bytes a pixel for a 16-bit photo, which costs more than the decoding
// itself. 16-bit colour photos up to 64 MB are inflated whole (the file and
// its image data, not the decoded picture); every other kind streams
// through libpng and never holds more than a few rows.
class PngScaler
{
public:
    // The longest side taken: it bounds the memory of a decode to a few
    // megabytes and keeps its 32-bit sums from overflowing.
    static constexpr quint32 maxSide = 1 << 16;

    // Whether a PNG of this header is taken: not interlaced, no side longer
    // than maxSide, and of a kind Qt's reader decodes whole.
    static bool takes(int bitDepth, int colorType, int interlace, quint32 longestSide);

    // The PNG read from the start of `fd` (a regular file, read with pread,
    // at most `maxBytes` of it), scaled to `target` while it is decoded.
    // Nothing when the file is not one `takes()` accepts, or is larger
    // than `target` on neither side; a null picture when it declares more
    // than `maxPixels`, turns out damaged, or is longer than `maxBytes`.
    static std::optional<QImage> decode(int fd, QSize target, qint64 maxBytes, qint64 maxPixels);
};
