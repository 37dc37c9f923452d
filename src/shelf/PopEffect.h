#pragma once

#include <QGraphicsEffect>
#include <QPixmap>

#include <limits>

// Draws a picture of a widget scaled about its centre; the shelf's pop
// animation runs it from 0.85 to 1 with a damped spring and then removes it.
// The picture is taken when the effect first draws and again whenever the
// widget or anything in it has asked to be repainted since, so what changes
// during the pop (the pile rocking, a drag's highlight, a drop) shows in it.
class PopEffect : public QGraphicsEffect
{
    Q_OBJECT
    Q_PROPERTY(qreal scale READ scale WRITE setScale)
public:
    explicit PopEffect(QObject* parent = nullptr);

    qreal scale() const { return m_scale; }
    void setScale(qreal scale);

    // The spring: mass 1, stiffness 260, damping 14, released at 0.85.
    static constexpr qreal from = 0.85, stiffness = 260, damping = 14;
    // The spring's position t seconds after release.
    static qreal springValue(qreal t);
    // How long the spring takes to come to rest (within 0.1 % of the way).
    static qreal settlingDuration();
    // Whether a picture of the given size, drawn at drawnScale, would move
    // by half a device pixel or more at scale. The spring's tail moves less
    // than that from one frame to the next; those frames are not repainted,
    // since repainting a translucent window for no visible change is most of
    // the animation's CPU.
    static bool movesVisibly(qreal drawnScale, qreal scale, const QSizeF& devicePixels);

protected:
    void draw(QPainter* painter) override;

private:
    // Whether the content changed since it was pictured (or never was).
    bool isStale() const;

    qreal m_scale = 1;
    qreal m_drawnScale = std::numeric_limits<qreal>::quiet_NaN(); // none drawn yet
    QPixmap m_picture;
    QPoint m_offset;
};
