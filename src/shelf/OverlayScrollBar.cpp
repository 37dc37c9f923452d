#include "shelf/OverlayScrollBar.h"

#include <QAbstractScrollArea>
#include <QEvent>

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea* area)
    : QScrollBar(Qt::Vertical, area), m_area(area)
{
    QScrollBar* inner = area->verticalScrollBar();
    setRange(inner->minimum(), inner->maximum());
    setPageStep(inner->pageStep());
    setSingleStep(inner->singleStep());
    connect(inner, &QScrollBar::rangeChanged, this, [this](int min, int max) {
        setRange(min, max);
        setPageStep(m_area->verticalScrollBar()->pageStep());
        settle();
    });
    connect(inner, &QScrollBar::valueChanged, this, [this](int v) {
        setValue(v);
        reveal();
    });
    connect(this, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);

    m_linger.setSingleShot(true);
    m_linger.setInterval(lingerMs);
    connect(&m_linger, &QTimer::timeout, this, &OverlayScrollBar::settle);
    area->installEventFilter(this);
    area->viewport()->installEventFilter(this);
    installEventFilter(this);
    hide();
    place();
}

bool OverlayScrollBar::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter:
        m_hovered = true;
        reveal();
        break;
    case QEvent::Leave:
        // Moving from the list onto the bar leaves one and enters the other.
        m_hovered = m_area->underMouse() || underMouse();
        m_linger.start();
        break;
    case QEvent::Resize:
        if (watched == m_area)
            place();
        break;
    default:
        break;
    }
    return QScrollBar::eventFilter(watched, event);
}

void OverlayScrollBar::reveal()
{
    if (maximum() <= minimum()) {
        hide();
        return;
    }
    styleOnce();
    show();
    raise();
    m_linger.start();
}

void OverlayScrollBar::styleOnce()
{
    // Styled when first shown: most shelves never scroll, and setting a
    // style sheet is slow.
    if (m_styled)
        return;
    m_styled = true;
    // A faint rounded thumb on no track, in the colour of the text around it.
    const QColor ink = palette().color(QPalette::WindowText);
    setStyleSheet(QStringLiteral(
                      "QScrollBar:vertical { background: transparent; width: %1px; margin: 2px 1px 2px 0; }"
                      "QScrollBar::handle:vertical { background: rgba(%2, %3, %4, 110);"
                      " border-radius: 3px; min-height: 24px; }"
                      "QScrollBar::add-line, QScrollBar::sub-line { height: 0; border: none; }"
                      "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
                      .arg(thickness)
                      .arg(ink.red())
                      .arg(ink.green())
                      .arg(ink.blue()));
}

void OverlayScrollBar::settle()
{
    if (maximum() <= minimum() || (!m_hovered && !isSliderDown() && !m_linger.isActive()))
        hide();
}

void OverlayScrollBar::place()
{
    setGeometry(m_area->width() - thickness, 0, thickness, m_area->height());
}
