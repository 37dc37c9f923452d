#pragma once

#include "model/ShelfItem.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QWidget>

#include <functional>
#include <optional>

class QMouseEvent;

// The middle of a shelf in stack mode: a dashed drop zone when the shelf is
// empty, otherwise the newest three pictures fanned out and shadowed. A press
// that moves more than 4 points starts a drag of the whole shelf; a press
// released without such a move is a click. It takes the focus (by Tab or a
// click) and shows the focus ring while it has it from the keyboard; keys it
// does not use go on to the shelf.
class StackAreaView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal wiggleAngle READ wiggleAngle WRITE setWiggleAngle)
public:
    explicit StackAreaView(QWidget* parent = nullptr);

    // What to draw; whoever sets these repaints the view.
    QList<ShelfItemPtr> items;
    bool isDropTarget = false;

    // Whether the focus ring is drawn: it has the focus, not from a click.
    bool showsFocusRing() const { return hasFocus() && m_focusFromKeys; }

    std::function<void(QMouseEvent*)> onDragStart;
    std::function<void()> onClick;

    // The attention animation's angle, in radians (counter-clockwise).
    qreal wiggleAngle() const { return m_wiggleAngle; }
    void setWiggleAngle(qreal radians);

    // Angles, in degrees counter-clockwise, of the drawn pictures (oldest
    // first) for a pile of n items.
    static QList<qreal> pileAngles(qsizetype n);
    // The size a picture of `pictureSize` pixels is drawn at in a view of the
    // given height.
    static QSizeF pictureSize(const QSize& pictureSize, qreal viewHeight);

    static constexpr qreal dragThreshold = 4;
    static QString emptyText() { return tr("Drop files here"); }
    // Where the empty shelf's hint is drawn, in the view's coordinates (unturned).
    QRectF emptyTextRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void paintEmpty(QPainter& p);
    void paintPile(QPainter& p);

    std::optional<QPointF> m_mouseDownPoint;
    qreal m_wiggleAngle = 0;
    bool m_focusFromKeys = false;
};
