#pragma once

#include "HelperOutput.h"

#include <QColor>
#include <QPainter>
#include <QWidget>

// A helper's window: a coloured card with a label. The first paint (the
// window is on screen) announces "ready X Y WIDTH HEIGHT" in screen
// coordinates.
inline void paintHelperWindow(QWidget* window, const QColor& colour, const QString& label,
                              bool* announced)
{
    QPainter p(window);
    p.fillRect(window->rect(), colour);
    p.setPen(Qt::white);
    p.drawText(window->rect(), Qt::AlignCenter, label);
    if (*announced)
        return;
    *announced = true;
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    say(QStringLiteral("ready %1 %2 %3 %4")
            .arg(origin.x())
            .arg(origin.y())
            .arg(window->width())
            .arg(window->height()));
}
