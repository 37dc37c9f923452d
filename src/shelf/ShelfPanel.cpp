#include "shelf/ShelfPanel.h"

#include "shelf/ShelfContentView.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPainterPath>
#include <QRegion>

ShelfPanel::ShelfPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(tr("Kavo Shelf"));
}

void ShelfPanel::setContent(QWidget* content)
{
    m_content = content;
    content->setParent(this);
    content->setGeometry(rect());
    content->show();
}

bool ShelfPanel::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && onActivated)
        onActivated();
    return QWidget::event(e);
}

void ShelfPanel::closeEvent(QCloseEvent* e)
{
    // Only hiding the window would leave the shelf open but out of reach.
    if (!onCloseRequested)
        return QWidget::closeEvent(e);
    e->ignore();
    onCloseRequested();
}

void ShelfPanel::resizeEvent(QResizeEvent*)
{
    if (m_content)
        m_content->setGeometry(rect());
    updateMask();
}

void ShelfPanel::setClipsToShape(bool clips)
{
    m_clipsToShape = clips;
    updateMask();
}

void ShelfPanel::updateMask()
{
    if (!m_clipsToShape) {
        clearMask();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), ShelfContentView::radius, ShelfContentView::radius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}
