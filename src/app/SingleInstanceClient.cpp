// The client's half of the single instance: finding the running Kavo's
// socket and exchanging one request with it. It needs nothing but Qt Core, so
// that the `kavo` command can hand a command over without loading the rest of
// the program.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

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

int SingleInstance::openLockFile(const QString& folder)
{
    return ::open(QFile::encodeName(SingleInstance::lockPath(folder)).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

QByteArray SingleInstance::lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

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
        *why = QCoreApplication::translate("SingleInstance", "it is not a folder");
        return false;
    }
    if (st.st_uid != ::getuid()) {
        *why = QCoreApplication::translate("SingleInstance", "it belongs to another user (uid %1)").arg(st.st_uid);
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        *why = QCoreApplication::translate("SingleInstance", "others may use it (mode %1)")
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

// Whether an instance holds the lock now.
bool instanceHoldsLock(const QString& folder)
{
    const int fd = SingleInstance::openLockFile(folder);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

enum class Connect { Connected, Nobody, Busy, Failed };

// Connects the non-blocking socket `fd`: a full listen queue answers at once
// rather than blocking.
Connect connectTo(int fd, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(addr.sun_path)) {
        errno = ENAMETOOLONG;
        return Connect::Failed;
    }
    std::memcpy(addr.sun_path, native.constData(), size_t(native.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0)
        return Connect::Connected;
    if (errno == EAGAIN)
        return Connect::Busy;
    return errno == ENOENT || errno == ECONNREFUSED ? Connect::Nobody : Connect::Failed;
}

// One request sent and its answer read. `busy`, when Kavo cannot take the
// request now, says why; the caller may ask again.
SingleInstance::Reply exchange(const QString& folder, const QByteArray& out, int idleMs,
                               QString* busy)
{
    using Reply = SingleInstance::Reply;
    Reply reply;
    const QString path = SingleInstance::socketPath(folder);
    const auto deadline = Clock::now() + std::chrono::milliseconds(idleMs);

    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            reply.error = QString::fromLocal8Bit(std::strerror(errno));
            return reply;
        }
        const Connect c = connectTo(fd, path);
        const int why = errno;
        if (c == Connect::Connected)
            break;
        ::close(fd);
        if (c == Connect::Busy) {
            *busy = QCoreApplication::translate("SingleInstance", "too many other commands are waiting for it");
            return reply;
        }
        if (c == Connect::Failed) {
            reply.error = QCoreApplication::translate("SingleInstance", "cannot reach %1: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(why)));
            return reply;
        }
        // Nobody listens: either no instance runs, or one is starting.
        if (!instanceHoldsLock(folder)) {
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
        reply.error =
            QCoreApplication::translate("SingleInstance", "%1 is held by another user (uid %2)").arg(path).arg(peer.uid);
        return reply;
    }

    // A Kavo that refuses the request (too large, too busy) answers why and
    // closes before reading it all: its answer is read even then.
    qsizetype sent = 0;
    bool refused = false;
    while (sent < out.size()) {
        if (!waitFor(fd, POLLOUT, idleMs))
            break;
        const ssize_t n =
            ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            refused = true;
            break;
        }
        sent += n;
    }
    QByteArray in;
    bool complete = false;
    while ((sent == out.size() || refused) && in.size() <= SingleInstance::maxAnswerBytes &&
           waitFor(fd, POLLIN, idleMs)) {
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
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
    if (doc.object().value(QStringLiteral("busy")).toBool()) {
        *busy = doc.object().value(QStringLiteral("error")).toString();
        return reply;
    }
    reply.status = Reply::Status::Answered;
    reply.object = doc.object();
    return reply;
}

} // namespace

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
        *error = QCoreApplication::translate("SingleInstance", "cannot use %1 for Kavo's socket: %2. Remove it, or set XDG_RUNTIME_DIR to "
                    "a private folder.")
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

SingleInstance::Reply SingleInstance::send(const QJsonObject& request, int idleMs)
{
    Reply reply;
    const std::optional<QString> where = folder(&reply.error);
    if (!where)
        return reply;
    const QByteArray out = lineOf(request);
    const auto giveUp = Clock::now() + std::chrono::milliseconds(busyMs);
    auto pause = std::chrono::milliseconds(10);
    for (;;) {
        QString busy;
        reply = exchange(*where, out, idleMs, &busy);
        if (busy.isEmpty())
            return reply;
        if (Clock::now() + pause >= giveUp) {
            reply.status = Reply::Status::Failed;
            reply.error = QCoreApplication::translate("SingleInstance", "Kavo is too busy to answer: %1").arg(busy);
            return reply;
        }
        QThread::msleep(pause.count());
        pause = std::min(pause * 2, std::chrono::milliseconds(200));
    }
}
