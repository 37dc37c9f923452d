#pragma once

#include <QGraphicsEffect>
#include <QPixmap>

// Draws a picture of a widget, taken once when the effect first draws,
// scaled about its centre; the shelf's pop animation runs it from 0.85 to 1
// with a damped spring and then removes it, and the widget shows itself
// again (with whatever changed meanwhile).
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

protected:
    void draw(QPainter* painter) override;

private:
    qreal m_scale = 1;
    QPixmap m_picture;
    QPoint m_offset;
};
