#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QtConcurrent>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QString displayTag()
{
    QString d = qEnvironmentVariable("DISPLAY");
    if (d.isEmpty())
        d = qEnvironmentVariable("WAYLAND_DISPLAY");
    d.replace(u'/', u'_');
    d.replace(u':', u'_');
    return d.isEmpty() ? QStringLiteral("none") : d;
}

// Whether `path` is a folder (not a link) of this user's that nobody else
// may enter; `why` says what is wrong otherwise.
bool isPrivateFolder(const QByteArray& path, QString* why)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = QStringLiteral("it is not a folder");
        return false;
    }
    if (st.st_uid != ::getuid()) {
        *why = QStringLiteral("it belongs to another user (uid %1)").arg(st.st_uid);
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        *why = QStringLiteral("others may use it (mode %1)")
                   .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

bool waitFor(int fd, short events, int idleMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(idleMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, int(left.count()));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

// Tries the lock without waiting; a client that peeks at it holds it for a
// moment only, so a start that finds it held tries again briefly.
bool takeLock(int fd, int tries)
{
    for (int i = 0; i < tries; ++i) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        QThread::msleep(20);
    }
    return false;
}

int openLockFile(const QString& folder)
{
    return ::open(QFile::encodeName(SingleInstance::lockPath(folder)).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// Whether an instance holds the lock now.
bool instanceHoldsLock(const QString& folder)
{
    const int fd = openLockFile(folder);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

enum class Connect { Connected, Nobody, Failed };

Connect connectTo(int fd, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(addr.sun_path))
        return Connect::Failed;
    std::memcpy(addr.sun_path, native.constData(), size_t(native.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0)
        return Connect::Connected;
    return errno == ENOENT || errno == ECONNREFUSED ? Connect::Nobody : Connect::Failed;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::optional<QString> SingleInstance::folder(QString* error)
{
    QString why;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(QFile::encodeName(runtime), &why))
        return runtime;
    // The shared temporary folder: a folder of our own in it, which another
    // user must not have made first.
    const QString own = QDir::tempPath() + QStringLiteral("/kavo-%1").arg(::getuid());
    const QByteArray native = QFile::encodeName(own);
    ::mkdir(native.constData(), 0700);
    if (isPrivateFolder(native, &why))
        return own;
    if (error)
        *error = QStringLiteral("cannot use %1 for Kavo's socket: %2. Remove it, or set "
                                "XDG_RUNTIME_DIR to a private folder.")
                     .arg(own, why);
    return std::nullopt;
}

QString SingleInstance::socketPath(const QString& folder)
{
    return folder + QStringLiteral("/" KAVO_APP_ID "-%1.socket").arg(displayTag());
}

QString SingleInstance::lockPath(const QString& folder)
{
    return folder + QStringLiteral("/" KAVO_APP_ID "-%1.lock").arg(displayTag());
}

bool SingleInstance::claim(QString* error)
{
    const std::optional<QString> where = folder(error);
    if (!where)
        return false;
    m_folder = *where;
    const int fd = openLockFile(m_folder);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2")
                         .arg(lockPath(m_folder), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!takeLock(fd, 25)) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    return true;
}

bool SingleInstance::listen(Handler handler, QString* error)
{
    if (m_lockFd < 0)
        return false;
    m_handler = std::move(handler);
    const QString path = socketPath(m_folder);
    // Holding the lock, this is the only instance: whatever lies at the
    // socket was left by one that ended without cleaning up.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        if (error)
            *error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    return true;
}

SingleInstance::Reply SingleInstance::send(const QJsonObject& request, int idleMs)
{
    Reply reply;
    const std::optional<QString> where = folder(&reply.error);
    if (!where)
        return reply;
    const QString path = socketPath(*where);
    const auto deadline = Clock::now() + std::chrono::milliseconds(idleMs);

    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            reply.error = QString::fromLocal8Bit(std::strerror(errno));
            return reply;
        }
        const Connect c = connectTo(fd, path);
        if (c == Connect::Connected)
            break;
        ::close(fd);
        if (c == Connect::Failed) {
            reply.error = QStringLiteral("cannot reach %1: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return reply;
        }
        // Nobody listens: either no instance runs, or one is starting.
        if (!instanceHoldsLock(*where)) {
            reply.status = Reply::Status::NotRunning;
            return reply;
        }
        if (Clock::now() >= deadline) {
            reply.status = Reply::Status::NoAnswer;
            return reply;
        }
        QThread::msleep(50);
    }

    // Only an instance of this very user is told anything, or believed.
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
        ::close(fd);
        reply.error = QStringLiteral("%1 is held by another user (uid %2)").arg(path).arg(peer.uid);
        return reply;
    }

    const QByteArray out = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
    qsizetype sent = 0;
    while (sent < out.size() && waitFor(fd, POLLOUT, idleMs)) {
        const ssize_t n =
            ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += n;
    }
    QByteArray in;
    bool complete = false;
    while (sent == out.size() && in.size() <= maxMessageBytes && waitFor(fd, POLLIN, idleMs)) {
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        in.append(buf, n);
        if (std::memchr(buf, '\n', size_t(n))) {
            complete = true;
            break;
        }
    }
    ::close(fd);
    const QJsonDocument doc = QJsonDocument::fromJson(in.left(in.indexOf('\n')));
    if (!complete || !doc.isObject()) {
        reply.status = Reply::Status::NoAnswer;
        return reply;
    }
    reply.status = Reply::Status::Answered;
    reply.object = doc.object();
    return reply;
}

void SingleInstance::serve()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QPointer<QLocalSocket> guard(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guard] {
            if (!guard || guard->property("kavoRead").toBool())
                return;
            if (!guard->canReadLine()) {
                if (guard->bytesAvailable() > maxMessageBytes) {
                    guard->setProperty("kavoRead", true);
                    guard->write(QJsonDocument(QJsonObject{{QStringLiteral("error"),
                                                            QStringLiteral("request too large")}})
                                     .toJson(QJsonDocument::Compact) +
                                 '\n');
                    guard->disconnectFromServer();
                }
                return;
            }
            guard->setProperty("kavoRead", true);
            answer(guard, guard->readLine());
        });
    }
}

void SingleInstance::answer(QLocalSocket* socket, const QByteArray& line)
{
    // A request may be megabytes of paths: read it off the UI thread.
    QPointer<QLocalSocket> guard(socket);
    auto* parsing = new QFutureWatcher<QJsonDocument>(this);
    connect(parsing, &QFutureWatcher<QJsonDocument>::finished, this, [this, guard, parsing] {
        parsing->deleteLater();
        const QJsonDocument doc = parsing->result();
        QJsonObject reply;
        if (!doc.isObject())
            reply = {{QStringLiteral("error"), QStringLiteral("not a request")}};
        else
            reply = m_handler ? m_handler(doc.object()) : QJsonObject{};
        // The handler may have run a nested event loop (an alert).
        if (!guard)
            return;
        guard->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        guard->disconnectFromServer();
    });
    parsing->setFuture(QtConcurrent::run([line] { return QJsonDocument::fromJson(line.trimmed()); }));
}
