#include "platform/freedesktop/FileManager.h"

#include "core/NativePath.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QStringList>

namespace FileManager {
namespace {

// Where no file manager shows items, the folder holding the first one
// opens instead (worked out from the path alone: a file on a stalled mount
// must not hold up the UI thread).
void openFolderOf(const QUrl& file)
{
    const QByteArray path = NativePath::fromUrl(file);
    if (!path.isEmpty())
        QDesktopServices::openUrl(NativePath::toUrl(NativePath::folder(path)));
}

} // namespace

void reveal(const QList<QUrl>& files)
{
    if (files.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolderOf(files.first());
        return;
    }
    QStringList uris;
    for (const QUrl& f : files)
        uris << QString::fromUtf8(f.toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // A file manager may take a while to start (D-Bus activation); wait for it
    // without blocking, and fall back when none answers.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    const QUrl first = files.first();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [first](QDBusPendingCallWatcher* w) {
                         if (w->isError())
                             openFolderOf(first);
                         w->deleteLater();
                     });
}

void open(const QUrl& url) { QDesktopServices::openUrl(url); }

} // namespace FileManager
