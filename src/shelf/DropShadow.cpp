#include "shelf/DropShadow.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace DropShadow {
namespace {

// One horizontal and one vertical box blur of the alpha channel; three
// rounds approximate a Gaussian.
void boxBlurAlpha(QImage& img, int r)
{
    if (r < 1)
        return;
    const int w = img.width(), h = img.height();
    std::vector<int> line(size_t(std::max(w, h)));
    auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[size_t(j)] = qAlpha(*at(i, j));
            int sum = 0;
            for (int j = -r; j <= r; ++j)
                sum += line[size_t(std::clamp(j, 0, length - 1))];
            for (int j = 0; j < length; ++j) {
                const int a = sum / (2 * r + 1);
                *at(i, j) = qRgba(0, 0, 0, a);
                sum += line[size_t(std::min(j + r + 1, length - 1))] -
                       line[size_t(std::max(j - r, 0))];
            }
        }
    };
    // The rows are reached through one pointer: QImage::scanLine() checks
    // for sharing on every call, which costs more than the blur's own sums.
    uchar* const bits = img.bits();
    const qsizetype stride = img.bytesPerLine();
    auto pixel = [&](int x, int y) { return reinterpret_cast<QRgb*>(bits + y * stride) + x; };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return pixel(x, y); });
        pass(w, h, [&](int x, int y) { return pixel(x, y); });
    }
}

} // namespace

QImage make(const QImage& source, const QSizeF& size, qreal radius, const QColor& color,
            qreal devicePixelRatio)
{
    const int pad = int(std::ceil(radius * devicePixelRatio));
    const QSize inner(int(std::ceil(size.width() * devicePixelRatio)),
                      int(std::ceil(size.height() * devicePixelRatio)));
    QImage mask(inner + QSize(2 * pad, 2 * pad), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(QPoint(pad, pad), inner), source);
    }
    // Three box blurs of radius r spread about as far as a blur of 3r/√3.
    boxBlurAlpha(mask, std::max(1, int(std::lround(pad / 2.0))));
    QImage shadow(mask.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter p(&shadow);
        p.drawImage(0, 0, mask);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow.rect(), color);
    }
    shadow.setDevicePixelRatio(devicePixelRatio);
    return shadow;
}

} // namespace DropShadow
