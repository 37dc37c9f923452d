#include "PointerScript.h"

#include "DisplayProbe.h"
#include "HelperProcess.h"

namespace PointerScript {
namespace {

QString number(double v)
{
    return QString::number(v, 'f', 3);
}

QStringList motion(QPoint p)
{
    return {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())};
}

QStringList pause(double seconds)
{
    return {QStringLiteral("sleep"), number(seconds)};
}

} // namespace

bool run(const QStringList& arguments)
{
    return HelperProcess::run(QStringLiteral("xdotool"), arguments) == 0;
}

QStringList moveTo(QPoint p)
{
    return motion(p);
}

QStringList pressAt(QPoint p)
{
    // A hand rests a moment between pressing and moving.
    return motion(p) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")} + pause(0.1);
}

QStringList glide(QPoint from, QPoint to, int steps, double pauseSeconds)
{
    QStringList args;
    for (int i = 1; i <= steps; ++i)
        args << pause(pauseSeconds) << motion(from + (to - from) * i / steps);
    return args;
}

QStringList strokes(QPoint from, int count, int length, int step)
{
    constexpr double tick = 0.016;
    QStringList args;
    int x = from.x();
    for (int s = 0; s < count; ++s) {
        const int direction = s % 2 == 0 ? 1 : -1;
        for (int moved = step; moved <= length; moved += step) {
            x += direction * step;
            args << pause(tick) << motion(QPoint(x, from.y()));
        }
    }
    return args;
}

QStringList release(double pauseSeconds)
{
    return pause(pauseSeconds) + QStringList{QStringLiteral("mouseup"), QStringLiteral("1")};
}

void resetInput()
{
    DisplayProbe probe;
    if (probe.isValid() && probe.primaryButtonDown())
        run({QStringLiteral("mouseup"), QStringLiteral("1")});
}

} // namespace PointerScript
