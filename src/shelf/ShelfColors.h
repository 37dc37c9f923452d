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
inline QColor secondaryLabel(const QWidget* w) { return withAlpha(label(w), 0.55); }
inline QColor tertiaryLabel(const QWidget* w) { return withAlpha(label(w), 0.26); }
// The shelf's translucent, rounded background.
inline QColor background(const QWidget* w)
{
    return withAlpha(w->palette().color(QPalette::Window), 0.94);
}

// The ring around the control that has the keyboard focus: two pixels of
// the accent colour just inside `r`, with the given corner radius.
inline void drawFocusRing(QPainter& p, const QRectF& r, qreal cornerRadius, const QWidget* w)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(accent(w), 2));
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
