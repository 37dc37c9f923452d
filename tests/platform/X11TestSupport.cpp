#include "X11TestSupport.h"

#include "HelperProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <cstring>

bool xdotool(const QStringList& arguments)
{
    return HelperProcess::run(QStringLiteral("xdotool"), arguments) == 0;
}

QStringList dragArguments(QPoint from, QPoint to, int steps)
{
    QStringList args{QStringLiteral("mousemove"), QString::number(from.x()),
                     QString::number(from.y()), QStringLiteral("mousedown"), QStringLiteral("1")};
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        args << QStringLiteral("sleep") << QStringLiteral("0.07") << QStringLiteral("mousemove")
             << QString::number(p.x()) << QString::number(p.y());
    }
    args << QStringLiteral("sleep") << QStringLiteral("0.5") << QStringLiteral("mouseup")
         << QStringLiteral("1");
    return args;
}

void resetInputState()
{
    RawConnection raw;
    if (!raw.isValid())
        return;
    const quint16 mask = raw.pointerMask();
    if (mask & XCB_KEY_BUT_MASK_BUTTON_1)
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    const quint16 numLock = raw.modifierBit(0xff7f); // Num_Lock
    if (numLock != 0 && (mask & numLock))
        xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
}
