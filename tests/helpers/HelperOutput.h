#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <Qt>

#include <cstdio>
#include <cstring>
#include <optional>

// The helper programs talk to the tests through stdout, one line per event,
// flushed at once so that a test waiting for a line sees it immediately.
inline void say(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

inline QString actionName(Qt::DropAction action)
{
    switch (action) {
    case Qt::CopyAction:
        return QStringLiteral("copy");
    case Qt::MoveAction:
        return QStringLiteral("move");
    case Qt::LinkAction:
        return QStringLiteral("link");
    default:
        return QStringLiteral("ignore");
    }
}

inline QString actionNames(Qt::DropActions actions)
{
    QStringList names;
    for (Qt::DropAction a : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
        if (actions & a)
            names.append(actionName(a));
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(QLatin1Char(','));
}

// Takes "--geometry X,Y" (or "--geometry=X,Y") out of the command line before
// the application object sees it: Qt's X11 platform would otherwise read it as
// its own -geometry option. Answers the position, nothing when absent, and
// sets `valid` to false when the value is not X,Y.
inline std::optional<QPoint> takeGeometry(int& argc, char** argv, bool& valid)
{
    valid = true;
    std::optional<QPoint> position;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        QByteArray value;
        if (std::strcmp(argv[i], "--geometry") == 0) {
            if (i + 1 == argc) {
                valid = false;
                continue;
            }
            value = argv[++i];
        } else if (std::strncmp(argv[i], "--geometry=", 11) == 0)
            value = argv[i] + 11;
        else {
            argv[out++] = argv[i];
            continue;
        }
        const QList<QByteArray> xy = value.split(',');
        bool okX = false;
        bool okY = false;
        if (xy.size() == 2)
            position = QPoint(xy[0].toInt(&okX), xy[1].toInt(&okY));
        valid = valid && okX && okY;
    }
    argc = out;
    argv[argc] = nullptr;
    return position;
}
