#include "shelf/SymbolButton.h"

#include "platform/Symbols.h"
#include "shelf/ShelfColors.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>

SymbolButton::SymbolButton(const QString& symbol, const QString& help, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol)
{
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
}

void SymbolButton::setSymbol(const QString& symbol)
{
    m_symbol = symbol;
    update();
}

bool SymbolButton::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTipChange)
        setAccessibleName(toolTip());
    return QAbstractButton::event(e);
}

bool SymbolButton::hasImage() const { return Symbols::exists(m_symbol); }

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ShelfColors::withAlpha(ShelfColors::label(this), m_hovering ? 0.12 : 0.06));
    p.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);

    const QColor tint = m_hovering ? ShelfColors::label(this) : ShelfColors::secondaryLabel(this);
    const QImage img = Symbols::image(m_symbol, symbolSize, tint, devicePixelRatioF());
    const QSizeF s = Symbols::naturalSize(m_symbol, symbolSize);
    const QRectF target(QPointF(width() / 2.0 - s.width() / 2, height() / 2.0 - s.height() / 2), s);
    if (!img.isNull())
        p.drawImage(target, img);
    if (showsFocusRing())
        ShelfColors::drawFocusRing(p, QRectF(rect()), cornerRadius, this);
}

void SymbolButton::enterEvent(QEnterEvent* e)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(e);
}

void SymbolButton::leaveEvent(QEvent* e)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void SymbolButton::mousePressEvent(QMouseEvent* e)
{
    // Taken here so that the press never reaches the shelf's background,
    // which would start moving the window.
    m_focusFromKeys = false;
    update();
    QAbstractButton::mousePressEvent(e);
    e->accept();
}

void SymbolButton::focusInEvent(QFocusEvent* e)
{
    m_focusFromKeys = e->reason() != Qt::MouseFocusReason;
    update();
    QAbstractButton::focusInEvent(e);
}

void SymbolButton::focusOutEvent(QFocusEvent* e)
{
    update();
    QAbstractButton::focusOutEvent(e);
}
