#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class ShelfRegistry;

// Answers the commands that other `kavo` processes send: "list" (the open
// shelves as JSON), "new-shelf" (a shelf at the pointer holding files given
// as file URLs or absolute paths; anything else is refused), "ping" and
// "start". A request of any other shape is refused whole, and nothing opens.
class CommandServer
{
    Q_DECLARE_TR_FUNCTIONS(CommandServer)

public:
    explicit CommandServer(ShelfRegistry& shelves);
    ~CommandServer();

    // A request that has passed every check, its files made URLs.
    struct Request
    {
        QString command;
        QList<QUrl> files; // new-shelf: local file URLs, as given
        // new-shelf, parsed off the UI thread: the shelf's items, made there
        // too (then `files` is empty).
        QList<std::shared_ptr<class ShelfItem>> items;
    };
    // A request line read: the request, or why it is refused.
    struct Parsed
    {
        std::optional<Request> request;
        QString error;
    };
    // Checks a request's shape and makes its files URLs. Safe on any thread
    // (a request of many megabytes is read off the UI thread).
    static Parsed parse(const QJsonObject& request);
    static Parsed parse(const QByteArray& line);

    // Answers one line from the command socket: a long one parsed (and its
    // shelf's items made) off the UI thread, carried out on it, the answer
    // given to `reply` on the UI thread.
    void answer(const QByteArray& line, std::function<void(const QJsonObject&)> reply);
    // The same at once, for a request made in this process.
    QJsonObject answer(const QJsonObject& request);
    // The open shelves, as `kavo --list` prints them.
    QJsonObject list() const;

    // Where the pointer is (tests give their own).
    std::function<QPointF()> pointerLocation;

    // The most files one request may name, and the longest name.
    static constexpr qsizetype maxFiles = qsizetype(1) << 20;
    static constexpr qsizetype maxFileChars = 16384;
    // A line no longer than this is parsed at once, on the UI thread.
    static constexpr qsizetype parseHereBytes = 65536;

private:
    QJsonObject carryOut(const Request& request);
    void carryOut(const Parsed& parsed, const std::function<void(const QJsonObject&)>& reply);

    ShelfRegistry& m_shelves;
    // Lives as long as this object: work that finishes later finds it gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
