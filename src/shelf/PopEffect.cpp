#include "shelf/PopEffect.h"

#include <QPainter>
#include <QWidget>

#include <cmath>

PopEffect::PopEffect(QObject* parent) : QGraphicsEffect(parent) {}

void PopEffect::setScale(qreal scale)
{
    m_scale = scale;
    const auto* widget = qobject_cast<const QWidget*>(parent());
    const QSizeF size = sourceBoundingRect(Qt::LogicalCoordinates).size() *
                        (widget ? widget->devicePixelRatioF() : 1.0);
    if (std::isnan(m_drawnScale) || movesVisibly(m_drawnScale, scale, size))
        update();
}

bool PopEffect::isStale() const
{
    // Qt keeps a copy of every picture it makes of a widget for its effect
    // (in QPixmapCache) and drops that copy as soon as anything in the
    // widget asks to be repainted: an update() of the widget or of any
    // widget in it, a child moved, resized, shown or hidden. Once ours is
    // the only copy left, the content has changed since it was pictured.
    // (Were Qt to keep no copy, every frame would be pictured anew: still
    // right, only dearer.) The repaint the content asked for draws the new
    // picture where it changed, at the spring's current scale.
    return m_picture.isNull() || m_picture.isDetached();
}

bool PopEffect::movesVisibly(qreal drawnScale, qreal scale, const QSizeF& devicePixels)
{
    // Scaled about the centre, the farthest edge moves the most.
    const qreal reach = std::max(devicePixels.width(), devicePixels.height()) / 2;
    return std::abs(scale - drawnScale) * reach >= 0.5;
}

qreal PopEffect::springValue(qreal t)
{
    // Under-damped spring x'' = -k (x - 1) - c x', x(0) = from, x'(0) = 0.
    const qreal w0 = std::sqrt(stiffness);
    const qreal zeta = damping / (2 * w0);
    const qreal wd = w0 * std::sqrt(1 - zeta * zeta);
    const qreal a = from - 1;
    return 1 +
           a * std::exp(-zeta * w0 * t) * (std::cos(wd * t) + zeta * w0 / wd * std::sin(wd * t));
}

qreal PopEffect::settlingDuration()
{
    // The envelope |from - 1| e^(-ζ ω0 t) falls below 0.001.
    const qreal decay = damping / 2;
    return std::log(std::abs(from - 1) / 0.001) / decay;
}

void PopEffect::draw(QPainter* painter)
{
    // The content is pictured on the first frame and again only once it has
    // changed; the frames between only scale the picture.
    if (isStale())
        m_picture = sourcePixmap(Qt::LogicalCoordinates, &m_offset, PadToEffectiveBoundingRect);
    const QPixmap& pixmap = m_picture;
    const QPoint offset = m_offset;
    m_drawnScale = m_scale;
    const QRectF bounds = boundingRectFor(sourceBoundingRect(Qt::LogicalCoordinates));
    const QPointF c = bounds.center();
    QTransform pop;
    pop.translate(c.x(), c.y());
    pop.scale(m_scale, m_scale);
    pop.translate(-c.x(), -c.y());
    const QRect drawn = pop.mapRect(QRectF(offset, pixmap.deviceIndependentSize())).toAlignedRect();
    // The raster engine hands a draw of more than 95 rows to its thread pool
    // in 64-row pieces, and for a picture this size waking those threads
    // costs more CPU than the scaling itself. Drawn in bands that end on
    // device rows, the work stays on this thread and the picture is the same.
    const QTransform device = painter->deviceTransform();
    const qreal unit = device.m22();
    const bool wholeRows = device.type() <= QTransform::TxScale && unit >= 1 &&
                           unit == std::round(unit) && device.dy() == std::round(device.dy());
    const int band = wholeRows ? std::max(1, int(64 / unit)) : drawn.height();
    for (int top = drawn.top(); top <= drawn.bottom(); top += band) {
        painter->save();
        painter->setClipRect(QRect(drawn.left(), top, drawn.width(), band), Qt::IntersectClip);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->setTransform(pop, true);
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }
}
