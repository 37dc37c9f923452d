#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QStringList>

#include "RawConnection.h"

#include <xcb/xcb.h>

#include <functional>
#include <optional>

// Runs xdotool with these arguments while the test keeps processing events;
// answers whether it succeeded.
bool xdotool(const QStringList& arguments);

// xdotool arguments for a drag with the primary button: press at `from`, move
// to `to` in `steps` moves 70 ms apart (a drag source needs separate motion
// events to start and follow the drag), wait half a second, release.
QStringList dragArguments(QPoint from, QPoint to, int steps = 8);

// Releases the primary button and turns Num Lock off if a failed test left
// them so.
void resetInputState();
