#pragma once

#include <QJsonObject>
#include <QPointF>

#include <functional>

class ShelfRegistry;

// Answers the commands that other `kavo` processes send: "list" (the open
// shelves as JSON), "new-shelf" (a shelf at the pointer holding files given
// as file URLs or absolute paths; anything else is refused), "ping" and
// "start".
class CommandServer
{
public:
    explicit CommandServer(ShelfRegistry& shelves);

    QJsonObject answer(const QJsonObject& request);
    // The open shelves, as `kavo --list` prints them.
    QJsonObject list() const;

    // Where the pointer is (tests give their own).
    std::function<QPointF()> pointerLocation;

private:
    ShelfRegistry& m_shelves;
};
