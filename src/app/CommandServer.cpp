#include "app/CommandServer.h"

#include "app/ShelfRegistry.h"
#include "core/NativePath.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include <QCursor>
#include <QJsonArray>

CommandServer::CommandServer(ShelfRegistry& shelves)
    : pointerLocation([] { return QPointF(QCursor::pos()); }), m_shelves(shelves)
{
}

QJsonObject CommandServer::list() const
{
    QJsonArray shelves;
    for (const auto& shelf : m_shelves.shelves()) {
        QJsonArray items;
        for (const ShelfItemPtr& item : shelf->store()->items)
            // The path as text, and the exact bytes in the URL's escapes (a
            // name that is not UTF-8 has no exact text).
            items.append(QJsonObject{{QStringLiteral("path"), item->path()},
                                     {QStringLiteral("uri"),
                                      QString::fromUtf8(item->url().toEncoded())},
                                     {QStringLiteral("temporary"), item->isTemporary()}});
        const QRect frame = shelf->window() ? shelf->window()->geometry() : QRect();
        shelves.append(QJsonObject{
            {QStringLiteral("frame"),
             QJsonArray{frame.x(), frame.y(), frame.width(), frame.height()}},
            {QStringLiteral("visible"), shelf->window() && shelf->window()->isVisible()},
            {QStringLiteral("mode"), shelf->content()->isListMode() ? QStringLiteral("list")
                                                                     : QStringLiteral("stack")},
            {QStringLiteral("items"), items}});
    }
    return {{QStringLiteral("shelves"), shelves}};
}

QJsonObject CommandServer::answer(const QJsonObject& request)
{
    const QString command = request.value(QStringLiteral("command")).toString();
    if (command == u"ping" || command == u"start")
        return {{QStringLiteral("ok"), true}};
    if (command == u"list")
        return list();
    if (command == u"new-shelf") {
        // Files as file URLs (which keep any bytes of their names) or as
        // absolute paths; anything else is refused, and nothing opens.
        QList<QUrl> urls;
        for (const QJsonValue& v : request.value(QStringLiteral("files")).toArray()) {
            const QString text = v.toString();
            const QUrl url = text.startsWith(u'/') ? QUrl::fromLocalFile(text)
                                                   : QUrl(text, QUrl::StrictMode);
            if (!NativePath::isLocalFile(url))
                return {{QStringLiteral("error"),
                         QStringLiteral("not a local file: %1").arg(text.left(200))}};
            urls << url;
        }
        m_shelves.openShelf(pointerLocation(), ShelfOrigin::CommandLine)->store()->add(urls, false);
        return {{QStringLiteral("ok"), true}};
    }
    return {{QStringLiteral("error"), QStringLiteral("unknown command: %1").arg(command)}};
}
