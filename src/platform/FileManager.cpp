#include "platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace FileManager {
namespace {

void openFolderOf(const QUrl& file)
{
    const QString path = file.toLocalFile();
    const QFileInfo info(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(info.isDir() && !info.isSymLink()
                                                      ? info.absoluteFilePath()
                                                      : info.absolutePath()));
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
