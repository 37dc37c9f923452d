#include "shelf/PopEffect.h"

#include <QPainter>

#include <cmath>

PopEffect::PopEffect(QObject* parent) : QGraphicsEffect(parent) {}

void PopEffect::setScale(qreal scale)
{
    m_scale = scale;
    update();
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
    // The content is pictured once, on the first frame; the frames after
    // only scale that picture, never lay out or render the content again.
    if (m_picture.isNull())
        m_picture = sourcePixmap(Qt::LogicalCoordinates, &m_offset, PadToEffectiveBoundingRect);
    const QPixmap& pixmap = m_picture;
    const QPoint offset = m_offset;
    const QRectF bounds = boundingRectFor(sourceBoundingRect(Qt::LogicalCoordinates));
    const QPointF c = bounds.center();
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(c);
    painter->scale(m_scale, m_scale);
    painter->translate(-c);
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}
