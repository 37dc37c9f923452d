#include "platform/freedesktop/FileTransfer.h"

#include "core/Background.h"
#include "core/NativePath.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>

#include <memory>

#include <fcntl.h>

namespace {

Q_LOGGING_CATEGORY(lcTransfer, "kavo.filetransfer", QtInfoMsg)

const QString service = QStringLiteral("org.freedesktop.portal.Documents");
const QString objectPath = QStringLiteral("/org/freedesktop/portal/documents");
const QString interface = QStringLiteral("org.freedesktop.portal.FileTransfer");
// Descriptors go to the portal in groups, below the bus's limit on the
// descriptors of one message.
constexpr qsizetype filesPerCall = 16;

QDBusMessage portalCall(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, objectPath, interface, method);
    // Only a portal that runs already: a sandboxed program brings one along.
    call.setAutoStartService(false);
    return call;
}

// Makes a call on the session bus and hands the reply to `answer` on the
// main thread.
void callBus(const QDBusMessage& call, QObject* context,
                std::function<void(const QDBusPendingCallWatcher&)> answer)
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, FileTransfer::callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         answer(*w);
                     });
}

// Puts the key into `mime` as the first of its formats: targets that take
// several of them choose the first they know.
void offerFirst(QMimeData* mime, const QByteArray& key)
{
    const QStringList formats = mime->formats();
    if (formats.value(0) == FileTransfer::mimeType) {
        mime->setData(FileTransfer::mimeType, key);
        return;
    }
    QList<std::pair<QString, QByteArray>> rest;
    for (const QString& format : formats) {
        if (format != FileTransfer::mimeType)
            rest.append({format, mime->data(format)});
    }
    mime->clear();
    mime->setData(FileTransfer::mimeType, key);
    for (const auto& [format, data] : std::as_const(rest))
        mime->setData(format, data);
}

// Programs read the clipboard's formats once, when it changes hands (GTK and
// Qt do): one that looked before the key came would never see it and would
// paste by path, which a sandbox cannot open. So the clipboard is handed over
// again, to a copy of `mime` that carries the key; answers what now holds it.
QMimeData* announced(QMimeData* mime)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->ownsClipboard() || clipboard->mimeData() != mime)
        return mime;
    auto* copy = new QMimeData;
    for (const QString& format : mime->formats())
        copy->setData(format, mime->data(format));
    // Frees `mime`, whose old key (if any) is stopped as it goes.
    clipboard->setMimeData(copy);
    return copy;
}

} // namespace

const QString FileTransfer::mimeType = QStringLiteral("application/vnd.portal.filetransfer");

FileTransfer* FileTransfer::instance()
{
    // Lives as long as the program: transfers end with its bus connection.
    static FileTransfer* const one = new FileTransfer;
    return one;
}

FileTransfer::FileTransfer()
{
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return;
    auto* watcher =
        new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &FileTransfer::ownerChanged);
    bus.connect(service, objectPath, interface, QStringLiteral("TransferClosed"), this,
                SLOT(transferClosed(QString)));
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << service;
    callBus(ask, this, [this](const QDBusPendingCallWatcher& w) {
        const QDBusPendingReply<bool> reply = w;
        if (!reply.isError())
            m_available = m_available || reply.value();
    });
}

void FileTransfer::ownerChanged(const QString&, const QString&, const QString& newOwner)
{
    m_available = !newOwner.isEmpty();
}

QByteArray FileTransfer::keyOf(const QByteArray& data)
{
    const qsizetype end = data.indexOf('\0');
    const QByteArray key = (end < 0 ? data : data.first(end)).trimmed();
    if (key.isEmpty() || key.size() > 256)
        return {};
    for (const char c : key) {
        if (c < 0x21 || c > 0x7e)
            return {};
    }
    return key;
}

void FileTransfer::offer(QMimeData* mime, const QList<QUrl>& urls, bool listNow, bool renew)
{
    if (!mime || !m_available)
        return;
    QList<QByteArray> paths;
    for (const QUrl& url : urls) {
        if (NativePath::isLocalFile(url) && paths.size() < maxFiles)
            paths << NativePath::fromUrl(url);
    }
    if (paths.isEmpty())
        return;
    if (listNow)
        offerFirst(mime, {});
    register_(mime, paths, renew);
}

void FileTransfer::register_(QPointer<QMimeData> mime, const QList<QByteArray>& paths, bool renew)
{
    // What one registration carries from call to call.
    struct Registration
    {
        QPointer<QMimeData> mime;
        QList<QByteArray> paths;
        bool renew = false;
        QList<QDBusUnixFileDescriptor> fds;
        QString key;
        qsizetype sent = 0;
    };
    auto job = std::make_shared<Registration>(Registration{mime, paths, renew, {}, {}, 0});
    QPointer<FileTransfer> self(this);

    const auto fail = [self, job](const QString& why) {
        qCWarning(lcTransfer) << "the files could not be offered to sandboxed programs:" << why;
        if (job->mime)
            job->mime->removeFormat(mimeType);
        if (self)
            self->stop(job->key);
    };
    const auto ready = [self, job] {
        if (!self)
            return;
        if (!job->mime) {
            self->stop(job->key);
            return;
        }
        offerFirst(job->mime, job->key.toLatin1());
        if (job->renew)
            job->mime = announced(job->mime);
        const QString key = job->key;
        connect(job->mime, &QObject::destroyed, self, [self, key] {
            if (self) {
                self->m_renewed.remove(key);
                self->stop(key);
            }
        });
        if (job->renew)
            self->m_renewed.insert(key, {job->mime, job->paths});
    };
    // Sends the next group of descriptors, or ends.
    auto addNext = std::make_shared<std::function<void()>>();
    *addNext = [self, job, fail, ready, weakNext = std::weak_ptr(addNext)] {
        if (!self)
            return;
        if (job->sent >= job->fds.size()) {
            ready();
            return;
        }
        const QList<QDBusUnixFileDescriptor> group = job->fds.mid(job->sent, filesPerCall);
        job->sent += group.size();
        QDBusMessage call = portalCall(QStringLiteral("AddFiles"));
        call << job->key << QVariant::fromValue(group) << QVariantMap();
        callBus(call, self, [fail, next = weakNext.lock()](const QDBusPendingCallWatcher& w) {
            if (w.isError())
                fail(w.error().message());
            else if (next)
                (*next)();
        });
    };

    // Opening a path may wait on a stalled mount: off the UI thread. The
    // descriptors name the files without opening their contents.
    Background::run([self, job, fail, addNext] {
        for (const QByteArray& path : std::as_const(job->paths)) {
            const int fd = ::open(path.constData(), O_PATH | O_CLOEXEC);
            if (fd < 0)
                continue;
            QDBusUnixFileDescriptor descriptor;
            descriptor.giveFileDescriptor(fd);
            job->fds << descriptor;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, job, fail, addNext] {
                if (!self)
                    return;
                if (job->fds.isEmpty()) {
                    fail(QStringLiteral("none of them could be opened"));
                    return;
                }
                QDBusMessage call = portalCall(QStringLiteral("StartTransfer"));
                call << QVariantMap{{QStringLiteral("writable"), false},
                                    {QStringLiteral("autostop"), true}};
                callBus(call, self, [job, fail, addNext](const QDBusPendingCallWatcher& w) {
                    const QDBusPendingReply<QString> reply = w;
                    if (reply.isError() || reply.value().isEmpty()) {
                        fail(reply.error().message());
                        return;
                    }
                    job->key = reply.value();
                    (*addNext)();
                });
            },
            Qt::QueuedConnection);
    });
}

void FileTransfer::stop(const QString& key)
{
    if (key.isEmpty())
        return;
    QDBusMessage call = portalCall(QStringLiteral("StopTransfer"));
    call << key;
    // A transfer that a program took has stopped already; no answer matters.
    QDBusConnection::sessionBus().send(call);
}

void FileTransfer::transferClosed(const QString& key)
{
    const Renewed renewed = m_renewed.take(key);
    if (!renewed.mime || FileTransfer::keyOf(renewed.mime->data(mimeType)) != key.toLatin1())
        return;
    // Until the new key comes, targets take the files by their paths.
    renewed.mime->removeFormat(mimeType);
    register_(renewed.mime, renewed.paths, true);
}

void FileTransfer::retrieve(const QByteArray& data, QObject* context,
                            std::function<void(const QList<QUrl>& files)> done)
{
    const QByteArray key = keyOf(data);
    if (key.isEmpty() || !m_available) {
        done({});
        return;
    }
    QDBusMessage call = portalCall(QStringLiteral("RetrieveFiles"));
    call << QString::fromLatin1(key) << QVariantMap();
    QPointer<QObject> guard(context);
    callBus(call, this, [guard, done = std::move(done)](const QDBusPendingCallWatcher& w) {
        if (!guard)
            return;
        const QDBusPendingReply<QStringList> reply = w;
        if (reply.isError())
            qCWarning(lcTransfer) << "the portal did not hand over dropped files:"
                                  << reply.error().message();
        QList<QUrl> files;
        for (const QString& path : reply.isError() ? QStringList{} : reply.value()) {
            if (files.size() == maxFiles)
                break;
            if (path.startsWith(u'/'))
                files << NativePath::toUrl(NativePath::fromString(path));
        }
        done(files);
    });
}
