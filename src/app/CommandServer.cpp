#include "app/CommandServer.h"

#include "app/ShelfRegistry.h"
#include "core/NativePath.h"
#include "model/ShelfStore.h"
#include "platform/Screens.h"
#include "shelf/ElidedLabel.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include <QCursor>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

namespace {

using Reply = std::function<void(const QJsonObject&)>;

const QJsonObject ok{{QStringLiteral("ok"), true}};

QJsonObject error(const QString& why)
{
    return {{QStringLiteral("error"), why}};
}

CommandServer::Parsed refuse(const QString& why)
{
    return {std::nullopt, why};
}

} // namespace

CommandServer::CommandServer(ShelfRegistry& shelves)
    : pointerLocation([] { return QPointF(QCursor::pos()); }), m_shelves(shelves)
{}

CommandServer::~CommandServer() = default;

QJsonObject CommandServer::list() const
{
    QJsonArray shelves;
    for (const auto& shelf : m_shelves.shelves()) {
        QJsonArray items;
        for (const ShelfItemPtr& item : shelf->store()->items)
            // The path as text, and the exact bytes in the URL's escapes (a
            // name that is not UTF-8 has no exact text).
            items.append(
                QJsonObject{{QStringLiteral("path"), item->path()},
                            {QStringLiteral("uri"), QString::fromUtf8(item->url().toEncoded())},
                            {QStringLiteral("temporary"), item->isTemporary()}});
        // In screen pixels, as xdotool and wmctrl give them, also where Qt
        // scales its windows.
        const QRect frame = shelf->window() ? Screens::screenPixelFrame(shelf->window()) : QRect();
        shelves.append(QJsonObject{
            {QStringLiteral("frame"),
             QJsonArray{frame.x(), frame.y(), frame.width(), frame.height()}},
            {QStringLiteral("visible"), shelf->window() && shelf->window()->isVisible()},
            {QStringLiteral("mode"),
             shelf->content()->isListMode() ? QStringLiteral("list") : QStringLiteral("stack")},
            // The footer's two lines, as the shelf shows them now.
            {QStringLiteral("title"), shelf->content()->titleLabel()->text()},
            {QStringLiteral("detail"), shelf->content()->detailLabel()->text()},
            {QStringLiteral("items"), items}});
    }
    return {{QStringLiteral("shelves"), shelves}};
}

CommandServer::Parsed CommandServer::parse(const QByteArray& line)
{
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (!doc.isObject())
        return refuse(tr("not a request"));
    return parse(doc.object());
}

CommandServer::Parsed CommandServer::parse(const QJsonObject& request)
{
    const QJsonValue command = request.value(QStringLiteral("command"));
    if (!command.isString())
        return refuse(tr("the request names no command"));
    Request r{command.toString(), {}, {}};
    const bool takesFiles = r.command == u"new-shelf";
    if (!takesFiles && r.command != u"ping" && r.command != u"start" && r.command != u"list")
        return refuse(tr("unknown command: %1").arg(r.command.left(100)));
    for (auto it = request.begin(); it != request.end(); ++it) {
        if (it.key() != u"command" && !(takesFiles && it.key() == u"files"))
            return refuse(tr("%1 takes no \"%2\"").arg(r.command, it.key().left(100)));
    }
    if (!takesFiles)
        return {r, {}};

    // Files as file URLs (which keep any bytes of their names) or as
    // absolute paths; anything else refuses the whole request.
    const QJsonValue files = request.value(QStringLiteral("files"));
    if (!files.isArray())
        return refuse(tr("\"files\" must be a list of file names"));
    const QJsonArray list = files.toArray();
    if (list.size() > maxFiles)
        return refuse(tr("too many files: %1, at most %2").arg(list.size()).arg(maxFiles));
    r.files.reserve(list.size());
    for (const QJsonValue& v : list) {
        if (!v.isString())
            return refuse(tr("\"files\" must be a list of file names"));
        const QString text = v.toString();
        if (text.isEmpty())
            return refuse(tr("a file name is empty"));
        if (text.size() > maxFileChars)
            return refuse(tr("a file name is longer than %1 characters").arg(maxFileChars));
        const QUrl url =
            text.startsWith(u'/') ? QUrl::fromLocalFile(text) : QUrl(text, QUrl::StrictMode);
        // No file's name holds a NUL byte.
        if (!NativePath::isLocalFile(url) || NativePath::fromUrl(url).contains('\0'))
            return refuse(tr("not a local file: %1").arg(text.left(200)));
        r.files << url;
    }
    return {r, {}};
}

QJsonObject CommandServer::carryOut(const Request& request)
{
    if (request.command == u"list")
        return list();
    if (request.command == u"new-shelf") {
        const ShelfStorePtr& store =
            m_shelves.openShelf(pointerLocation(), ShelfOrigin::CommandLine)->store();
        store->add(request.files, false);
        store->add(request.items);
    }
    return ok;
}

void CommandServer::carryOut(const Parsed& parsed, const Reply& reply)
{
    if (!parsed.request) {
        reply(error(parsed.error));
        return;
    }
    if (parsed.request->items.isEmpty()) {
        reply(carryOut(*parsed.request));
        return;
    }
    // Many files: the shelf opens (and is drawn) in one turn of the event
    // loop, they go onto it in the next.
    const std::weak_ptr<ShelfStore> shelf =
        m_shelves.openShelf(pointerLocation(), ShelfOrigin::CommandLine)->store();
    QTimer::singleShot(0, QCoreApplication::instance(), [shelf, items = parsed.request->items, reply] {
        if (const ShelfStorePtr store = shelf.lock()) {
            store->add(items);
            reply(ok);
        } else {
            reply(error(tr("the shelf was closed before its files were on it")));
        }
    });
}

QJsonObject CommandServer::answer(const QJsonObject& request)
{
    const Parsed parsed = parse(request);
    return parsed.request ? carryOut(*parsed.request) : error(parsed.error);
}

void CommandServer::answer(const QByteArray& line, std::function<void(const QJsonObject&)> reply)
{
    if (line.size() <= parseHereBytes) {
        carryOut(parse(line), reply);
        return;
    }
    // A request may be megabytes of paths: read it off the UI thread.
    const std::weak_ptr<bool> alive = m_alive;
    auto* parsing = new QFutureWatcher<Parsed>(QCoreApplication::instance());
    QObject::connect(parsing, &QFutureWatcher<Parsed>::finished, parsing,
                     [this, alive, parsing, reply = std::move(reply)] {
                         parsing->deleteLater();
                         if (!alive.expired())
                             carryOut(parsing->result(), reply);
                     });
    parsing->setFuture(QtConcurrent::run([line] {
        Parsed parsed = parse(line);
        // The URLs are let go here too: a hundred thousand of them take
        // a while to free.
        if (parsed.request) {
            parsed.request->items = ShelfStore::makeItems(parsed.request->files, false);
            parsed.request->files.clear();
        }
        return parsed;
    }));
}
