#include "shelf/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), m_mode(mode), m_alignment(alignment)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    update();
}

void ElidedLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void ElidedLabel::setMinimumPixelSize(int pixels)
{
    m_minimumPixelSize = pixels;
    update();
}

QFont ElidedLabel::shownFont() const
{
    QFont f = font();
    if (m_minimumPixelSize <= 0 || f.pixelSize() <= 0)
        return f;
    while (f.pixelSize() > m_minimumPixelSize &&
           QFontMetrics(f).horizontalAdvance(m_text) > width())
        f.setPixelSize(f.pixelSize() - 1);
    return f;
}

QString ElidedLabel::shownText() const
{
    return QFontMetrics(shownFont()).elidedText(m_text, m_mode, width());
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
    p.setFont(shownFont());
    p.drawText(rect(), int(m_alignment | Qt::AlignVCenter), shownText());
}
