#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QMimeData;

// The desktop's FileTransfer portal (org.freedesktop.portal.FileTransfer,
// served by xdg-document-portal): how files cross into and out of sandboxed
// programs (Flatpak) by drag and drop or the clipboard, which cannot open
// another program's paths. The side that gives registers the files with the
// portal and offers the key it got under the portal's type; the side that
// takes trades the key for paths it can open. Used only while the portal is
// on the session bus (it is started for sandboxed programs; none is started
// here). Every call is asynchronous and bounded in time; the files are
// opened off the UI thread. Main thread.
class FileTransfer : public QObject
{
    Q_OBJECT
public:
    // The portal's type in drags and on the clipboard; its data is the key.
    static const QString mimeType;
    // The longest any call to the portal may take, and the most files
    // offered or taken in one transfer.
    static constexpr int callTimeoutMs = 5000;
    static constexpr int maxFiles = 4096;

    // The one instance, created on first use (which starts watching the bus).
    static FileTransfer* instance();

    // Whether the portal is on the session bus, as last heard.
    bool isAvailable() const { return m_available; }

    // Offers the local files among `urls` through the portal in `mime`, once
    // the portal has given a key for them. `listNow` puts the portal's type
    // into `mime` at once (first, its data empty until the key comes), for a
    // drag whose types are fixed when it starts; otherwise the type comes
    // with the key, first among the formats. `renew` registers the files
    // again whenever a program has taken them (a transfer serves one
    // taker), as the clipboard must for every paste; when `mime` is the
    // clipboard's, each key comes in a copy of it that the clipboard is
    // handed over to, so that programs read its formats again. The type goes
    // again if the portal refuses. Stops the transfer once `mime` is gone.
    void offer(QMimeData* mime, const QList<QUrl>& urls, bool listNow, bool renew);

    // Trades the data of the portal's type from a drop for the paths of the
    // files; `done` gets them (none when the data is not a key, the portal
    // refuses or does not answer in time), unless `context` is gone.
    void retrieve(const QByteArray& data, QObject* context,
                  std::function<void(const QList<QUrl>& files)> done);

    // The key in the data of the portal's type (up to a terminating NUL, as
    // GTK sends it), or nothing when the data cannot be one.
    static QByteArray keyOf(const QByteArray& data);

private:
    FileTransfer();
    void register_(QPointer<QMimeData> mime, const QList<QByteArray>& paths, bool renew);
    void stop(const QString& key);
    Q_SLOT void ownerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    Q_SLOT void transferClosed(const QString& key);

    // A transfer that is renewed once taken: the data that offers it and the
    // files it holds.
    struct Renewed
    {
        QPointer<QMimeData> mime;
        QList<QByteArray> paths;
    };

    bool m_available = false;
    QHash<QString, Renewed> m_renewed;
};
