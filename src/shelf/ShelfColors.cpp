#include "shelf/ShelfColors.h"

#include <algorithm>
#include <cmath>

namespace ShelfColors {

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

} // namespace

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& top, const QColor& bottom)
{
    const double a = top.alphaF();
    const auto mix = [a](double t, double b) { return t * a + b * (1 - a); };
    return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())),
                            float(mix(top.greenF(), bottom.greenF())),
                            float(mix(top.blueF(), bottom.blueF())));
}

double contrastOnShelf(const QColor& ink, const QColor& window)
{
    double lowest = 21;
    for (const QColor behind : {QColor(Qt::black), QColor(Qt::white)}) {
        const QColor shelf = over(withAlpha(window, backgroundAlpha), behind);
        lowest = std::min(lowest, contrast(over(ink, shelf), shelf));
    }
    return lowest;
}

QColor readableOnShelf(const QColor& ink, qreal alpha, const QColor& window, double minimum)
{
    // Opaque ink is the most contrast it can have: stop there.
    for (; alpha < 1; alpha += 0.01) {
        if (contrastOnShelf(withAlpha(ink, alpha), window) >= minimum)
            return withAlpha(ink, alpha);
    }
    return withAlpha(ink, 1);
}

QColor focusColor(const QWidget* w)
{
    const QColor window = w->palette().color(QPalette::Window);
    const QColor from = accent(w), to = label(w);
    for (int step = 0; step <= 20; ++step) {
        const float t = float(step) / 20;
        const QColor c = QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * t,
                                          from.greenF() + (to.greenF() - from.greenF()) * t,
                                          from.blueF() + (to.blueF() - from.blueF()) * t);
        if (contrastOnShelf(c, window) >= 3)
            return c;
    }
    return to;
}

} // namespace ShelfColors
