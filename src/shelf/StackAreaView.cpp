#include "shelf/StackAreaView.h"

#include "platform/Symbols.h"
#include "shelf/DropShadow.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfColors.h"

#include <QCache>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include <cmath>

namespace {

constexpr qreal shadowBlur = 8;
constexpr qreal shadowOffsetY = 3; // downward
constexpr qreal shadowAlpha = 0.35;

// A picture's shadow at one size. Shadows are blurred once per picture and
// size and shared by every shelf in the process, so a shelf opened again on
// the same pictures (which the thumbnail cache hands out unchanged) blurs
// nothing; the oldest go first past 4 MB.
QImage shadowFor(const QImage& picture, const QSizeF& size, qreal devicePixelRatio)
{
    static QCache<QString, QImage> shadows(4 * 1024); // cost in KiB
    const QString key = QStringLiteral("%1:%2x%3@%4")
                            .arg(picture.cacheKey())
                            .arg(size.width())
                            .arg(size.height())
                            .arg(devicePixelRatio);
    if (const QImage* known = shadows.object(key))
        return *known;
    const QImage shadow = DropShadow::make(picture, size, shadowBlur,
                                           ShelfColors::withAlpha(Qt::black, shadowAlpha),
                                           devicePixelRatio);
    shadows.insert(key, new QImage(shadow), int(std::max<qsizetype>(1, shadow.sizeInBytes() / 1024)));
    return shadow;
}

} // namespace

StackAreaView::StackAreaView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void StackAreaView::setWiggleAngle(qreal radians)
{
    m_wiggleAngle = radians;
    update();
}

QList<qreal> StackAreaView::pileAngles(qsizetype n)
{
    switch (std::min<qsizetype>(n, 3)) {
    case 0:
        return {};
    case 1:
        return {0};
    case 2:
        return {-7, 5};
    default:
        return {-10, 7, 0};
    }
}

QSizeF StackAreaView::pictureSize(const QSize& size, qreal viewHeight)
{
    const qreal side = std::min(viewHeight - 22, 120.0);
    if (size.width() > 0 && size.height() > 0) {
        const qreal s = side / std::max(size.width(), size.height());
        return {size.width() * s, size.height() * s};
    }
    return {side, side};
}

void StackAreaView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_wiggleAngle != 0) {
        // Qt turns clockwise for positive angles: negate to rock the same way.
        const QPointF c = QRectF(rect()).center();
        p.translate(c);
        p.rotate(-m_wiggleAngle * 180 / M_PI);
        p.translate(-c);
    }
    if (items.isEmpty())
        paintEmpty(p);
    else
        paintPile(p);
    if (showsFocusRing()) {
        p.resetTransform();
        ShelfColors::drawFocusRing(p, QRectF(rect()).adjusted(12, 2, -12, -2), 16, this);
    }
}

void StackAreaView::paintEmpty(QPainter& p)
{
    const QRectF bounds = rect();
    const QPointF c = bounds.center();
    const QRectF r = bounds.adjusted(18, 8, -18, -8);

    QPen pen(isDropTarget ? ShelfColors::accent(this) : ShelfColors::tertiaryLabel(this), 1.5);
    pen.setDashPattern({6 / 1.5, 5 / 1.5}); // Qt measures dashes in pen widths
    pen.setDashOffset(0);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, 14, 14);

    const QString symbol = QStringLiteral("arrow.down.doc");
    const QColor symbolColor =
        isDropTarget ? ShelfColors::accent(this) : ShelfColors::secondaryLabel(this);
    const QImage img = Symbols::image(symbol, 30, symbolColor, devicePixelRatioF());
    if (!img.isNull()) {
        const QSizeF s = Symbols::naturalSize(symbol, 30);
        p.drawImage(QRectF(c.x() - s.width() / 2, c.y() - 8 - s.height() / 2, s.width(),
                           s.height()),
                    img);
    }

    p.setFont(ShelfColors::font(this, 11, QFont::Medium));
    p.setPen(ShelfColors::secondaryLabel(this));
    p.drawText(emptyTextRect(), Qt::AlignCenter, emptyText());
}

QRectF StackAreaView::emptyTextRect() const
{
    const QFontMetricsF fm(ShelfColors::font(this, 11, QFont::Medium));
    const QString text = emptyText();
    const QPointF c = QRectF(rect()).center();
    const QSizeF t(fm.horizontalAdvance(text), fm.height());
    // The text's box ends 30 points below the centre.
    return QRectF(c.x() - t.width() / 2, c.y() + 30 - t.height(), t.width(), t.height());
}

void StackAreaView::paintPile(QPainter& p)
{
    // The turned pictures and their shadows are drawn once into a picture of
    // the whole pile, kept for every view of this size showing the same
    // pictures: a shelf painted again (hovered, focused, rocking) or many
    // shelves of the same kinds of file turn nothing again. The oldest go
    // first past 2 MB.
    static QCache<QString, QImage> piles(2 * 1024); // cost in KiB
    const qsizetype n = items.size();
    const qsizetype shown = std::min<qsizetype>(n, 3);
    const qreal dpr = devicePixelRatioF();
    QList<QImage> pictures;
    QString key = QStringLiteral("%1x%2@%3:%4").arg(width()).arg(height()).arg(dpr).arg(shown);
    for (qsizetype i = 0; i < shown; ++i) {
        pictures << items[n - shown + i]->thumbnail();
        key += u':' + QString::number(pictures.last().cacheKey());
    }
    if (const QImage* known = piles.object(key)) {
        p.drawImage(QPointF(0, 0), *known);
        return;
    }
    QImage pile((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    pile.setDevicePixelRatio(dpr);
    pile.fill(Qt::transparent);
    {
        QPainter into(&pile);
        into.setRenderHint(QPainter::Antialiasing);
        into.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF c = QRectF(rect()).center();
        const QList<qreal> angles = pileAngles(n);
        for (qsizetype i = 0; i < shown; ++i) {
            const QImage& picture = pictures[i];
            const QSizeF size = pictureSize(picture.size(), height());
            const QRectF target(c.x() - size.width() / 2, c.y() - size.height() / 2, size.width(),
                                size.height());
            into.save();
            into.translate(c);
            into.rotate(-angles[i]);
            into.translate(-c);
            const QImage shadow = shadowFor(picture, size, dpr);
            into.drawImage(target.topLeft() + QPointF(-shadowBlur, -shadowBlur + shadowOffsetY), shadow);
            into.drawImage(target, picture);
            into.restore();
        }
    }
    p.drawImage(QPointF(0, 0), pile);
    piles.insert(key, new QImage(pile), int(std::max<qsizetype>(1, pile.sizeInBytes() / 1024)));
}

void StackAreaView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    // The shelf's keyboard commands follow the click, also where no window
    // manager activates windows that are clicked.
    m_focusFromKeys = false;
    setFocus(Qt::MouseFocusReason);
    update();
    if (!window()->isActiveWindow())
        window()->activateWindow();
    else
        PreviewPanel::raiseAboveShelves(); // raised for the click by the window manager
    if (items.isEmpty()) {
        // An empty zone is background: the shelf moves with the pointer.
        e->ignore();
        return;
    }
    m_mouseDownPoint = e->scenePosition();
    e->accept();
}

void StackAreaView::focusInEvent(QFocusEvent* e)
{
    m_focusFromKeys = e->reason() != Qt::MouseFocusReason;
    update();
    QWidget::focusInEvent(e);
}

void StackAreaView::focusOutEvent(QFocusEvent* e)
{
    update();
    QWidget::focusOutEvent(e);
}

void StackAreaView::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_mouseDownPoint) {
        e->ignore(); // a press on the empty zone moves the shelf
        return;
    }
    const QPointF d = e->scenePosition() - *m_mouseDownPoint;
    if (std::hypot(d.x(), d.y()) > dragThreshold) {
        m_mouseDownPoint.reset();
        if (onDragStart)
            onDragStart(e);
    }
}

void StackAreaView::mouseReleaseEvent(QMouseEvent* e)
{
    Q_UNUSED(e);
    const bool click = m_mouseDownPoint.has_value();
    m_mouseDownPoint.reset();
    if (click && onClick)
        onClick();
}
