#pragma once

#include <QColor>
#include <QPainter>
#include <QPalette>
#include <QWidget>

// The named colours a shelf is drawn with, taken from the widget's palette so
// that they follow light and dark themes.
namespace ShelfColors {

inline QColor accent(const QWidget* w) { return w->palette().color(QPalette::Highlight); }
inline QColor label(const QWidget* w) { return w->palette().color(QPalette::WindowText); }
inline QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}
inline QColor tertiaryLabel(const QWidget* w) { return withAlpha(label(w), 0.26); }
// How opaque the shelf's background is.
constexpr qreal backgroundAlpha = 0.94;
// The shelf's translucent, rounded background.
inline QColor background(const QWidget* w)
{
    return withAlpha(w->palette().color(QPalette::Window), backgroundAlpha);
}

// The contrast ratio of two opaque colours, 1 to 21, as WCAG 2 defines it.
double contrast(const QColor& a, const QColor& b);
// `top` (with its alpha) painted over the opaque `bottom`.
QColor over(const QColor& top, const QColor& bottom);
// The lowest contrast of `ink` against the shelf's background of `window`
// colour, whatever shows through the background (black or white behind it).
double contrastOnShelf(const QColor& ink, const QColor& window);
// `ink` at `alpha`, or as much more opaque as it takes to reach `minimum`
// contrast on the shelf (fully opaque ink if even that falls short).
QColor readableOnShelf(const QColor& ink, qreal alpha, const QColor& window, double minimum);

// Small text drawn softer than the label colour (the empty shelf's hint, the
// summary), still readable: 4.5:1 at least, as small text needs.
inline QColor secondaryLabel(const QWidget* w)
{
    return readableOnShelf(label(w), 0.55, w->palette().color(QPalette::Window), 4.5);
}
// What marks the focused control and the selection: the accent colour,
// drawn towards the label colour as far as it takes to stand out from the
// shelf by 3:1 (what a control's outline needs).
QColor focusColor(const QWidget* w);

// The ring around the control that has the keyboard focus: two pixels of
// the accent colour just inside `r`, with the given corner radius.
inline void drawFocusRing(QPainter& p, const QRectF& r, qreal cornerRadius, const QWidget* w)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(focusColor(w), 2));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
    p.restore();
}

// A UI font of `pixels` pixel size and the given weight.
inline QFont font(const QWidget* w, int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont f = w->font();
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

} // namespace ShelfColors
