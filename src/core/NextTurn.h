#pragma once

#include <QObject>
#include <QTimer>

#include <utility>

// Runs `step` in a later turn of the event loop, as long as `context` lives.
// A zero-interval timer, not a posted call: Qt holds timers back while posted
// calls keep coming, so a chain of posted steps keeps every timer (an
// animation's frame, a time-out) waiting until the whole chain has run; timer
// turns let each timer that falls due meanwhile run between two steps.
template <typename Step>
void inNextTurn(QObject* context, Step&& step)
{
    auto* timer = new QTimer(context);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, context,
                     [timer, step = std::forward<Step>(step)]() mutable {
                         timer->deleteLater();
                         step();
                     });
    timer->start(0);
}
