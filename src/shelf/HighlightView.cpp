#include "shelf/HighlightView.h"

#include "shelf/ShelfColors.h"

#include <QPainter>

#include <vector>

HighlightView::HighlightView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HighlightView::setRadius(qreal radius)
{
    m_radius = radius;
    update();
}

void HighlightView::setActive(bool active)
{
    if (m_isActive == active)
        return;
    m_isActive = active;
    update();
}

namespace {

// The hairline edge, drawn once per size, corner and scale for every shelf:
// stroking a rounded outline costs ten times what drawing its picture does.
QImage hairline(QSize size, qreal radius, qreal scale)
{
    struct Drawn
    {
        QSize size;
        qreal radius = 0, scale = 0;
        QImage image;
    };
    // Shelves come in a few heights; a handful covers them all.
    static std::vector<Drawn> drawn;
    for (const Drawn& d : drawn) {
        if (d.size == size && d.radius == radius && d.scale == scale)
            return d.image;
    }
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ShelfColors::withAlpha(Qt::white, 0.12), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.end();
    if (drawn.size() >= 8)
        drawn.erase(drawn.begin());
    drawn.push_back({size, radius, scale, image});
    return image;
}

} // namespace

void HighlightView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_isActive) {
        p.drawImage(QPointF(0, 0), hairline(size(), m_radius, devicePixelRatioF()));
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor accent = ShelfColors::accent(this);
    p.setPen(Qt::NoPen);
    p.setBrush(ShelfColors::withAlpha(accent, 0.1));
    p.drawRoundedRect(r, m_radius, m_radius);
    p.setPen(QPen(accent, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, m_radius, m_radius);
}
