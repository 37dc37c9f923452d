#pragma once

#include <QPoint>
#include <QStringList>

// xdotool command lines that play real pointer and keyboard input on the
// test display. The pauses inside them pace the input the way a hand would
// (a drag source needs separate motion events to start and follow a drag);
// they never stand in for waiting on a result.
namespace PointerScript {

// Runs xdotool with these arguments to its end; answers whether it succeeded.
bool run(const QStringList& arguments);

// Puts the pointer at `p`.
QStringList moveTo(QPoint p);
// Puts the pointer at `p`, presses the primary button there and rests a
// moment, as a hand does before it moves.
QStringList pressAt(QPoint p);
// Moves from `from` to `to` in `steps` motions, `pauseSeconds` apart (the
// pointer is at `from` already; the first motion goes one step towards `to`).
QStringList glide(QPoint from, QPoint to, int steps, double pauseSeconds = 0.07);
// Horizontal strokes of `length` pixels, starting at `from` and going right
// first, one motion every 16 ms (60 Hz) in steps of `step` pixels.
QStringList strokes(QPoint from, int count, int length, int step = 10);
// A pause, then the primary button released where the pointer is.
QStringList release(double pauseSeconds = 0.3);

// Releases the primary button if a failed test left it down.
void resetInput();

} // namespace PointerScript
