#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Sends mouse events with exact (fractional) positions straight to a widget,
// as the window system would deliver them.
namespace MouseEvents {

inline void send(QWidget* w, QEvent::Type type, const QPointF& local,
                 Qt::MouseButton button = Qt::LeftButton,
                 Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF scene = w->mapTo(w->window(), local);
    const QPointF global = w->mapToGlobal(local);
    QMouseEvent e(type, local, scene, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

inline void press(QWidget* w, const QPointF& p) { send(w, QEvent::MouseButtonPress, p); }
inline void move(QWidget* w, const QPointF& p)
{
    send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
}
inline void release(QWidget* w, const QPointF& p)
{
    send(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}
inline void doubleClick(QWidget* w, const QPointF& p)
{
    send(w, QEvent::MouseButtonDblClick, p);
}

} // namespace MouseEvents
