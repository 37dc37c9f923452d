#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
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
        *why = SingleInstance::tr("it is not a folder");
        return false;
    }
    if (st.st_uid != ::getuid()) {
        *why = SingleInstance::tr("it belongs to another user (uid %1)").arg(st.st_uid);
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        *why = SingleInstance::tr("others may use it (mode %1)")
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

QByteArray lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// The answer to a client that finds Kavo serving as many as it takes.
QJsonObject busyAnswer()
{
    return {{QStringLiteral("busy"), true},
            {QStringLiteral("error"), SingleInstance::tr("too many commands at once")}};
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
            *busy = SingleInstance::tr("too many other commands are waiting for it");
            return reply;
        }
        if (c == Connect::Failed) {
            reply.error = SingleInstance::tr("cannot reach %1: %2")
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
            SingleInstance::tr("%1 is held by another user (uid %2)").arg(path).arg(peer.uid);
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

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    // The connections go while the counts they keep still exist.
    delete m_server; // removes the socket file
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
        *error = tr("cannot use %1 for Kavo's socket: %2. Remove it, or set XDG_RUNTIME_DIR to "
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

bool SingleInstance::claim(QString* error)
{
    const std::optional<QString> where = folder(error);
    if (!where)
        return false;
    m_folder = *where;
    const int fd = openLockFile(m_folder);
    if (fd < 0) {
        if (error)
            *error = tr("cannot open %1: %2")
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
    // A burst of clients waits in the queue rather than being turned away.
    m_server->setListenBacklogSize(512);
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
            reply.error = tr("Kavo is too busy to answer: %1").arg(busy);
            return reply;
        }
        QThread::msleep(pause.count());
        pause = std::min(pause * 2, std::chrono::milliseconds(200));
    }
}

// One client: its request read up to the newline within the limits of size
// and time, handed to the handler, and the answer written back. A client
// that overstays is cut.
class SingleInstance::Connection : public QObject
{
public:
    Connection(QLocalSocket* socket, SingleInstance& owner)
        : QObject(socket), m_socket(socket), m_owner(owner)
    {
        m_owner.m_connections.append(this);
        // What Qt reads ahead for us, so that a flood waits in the kernel.
        socket->setReadBufferSize(qint64(1) << 20);
        m_since.start();
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &Connection::overstayed);
        connect(socket, &QLocalSocket::readyRead, this, &Connection::read);
        m_timer.start(idleMs);
        read(); // what came with the connection
    }
    ~Connection() override
    {
        release();
        m_owner.m_connections.removeOne(this);
    }

    // Whether the client is still sending its request well after a real
    // client would have sent it all.
    bool isLingering() const { return m_state == State::Reading && m_since.elapsed() >= lingerMs; }
    // Closes the connection at once, without an answer, and frees its place.
    void cut()
    {
        release();
        m_owner.m_connections.removeOne(this);
        m_socket->abort();
        m_socket->deleteLater();
    }

private:
    void read()
    {
        if (m_state != State::Reading)
            return;
        const QByteArray chunk = m_socket->readAll();
        const qsizetype end = chunk.indexOf('\n');
        const qsizetype taken = end < 0 ? chunk.size() : end;
        if (m_line.size() + taken > maxRequestBytes) {
            finish({{QStringLiteral("error"), SingleInstance::tr("request too large")}});
            return;
        }
        if (m_owner.m_buffered + taken > maxBufferedBytes) {
            finish(busyAnswer());
            return;
        }
        m_line.append(chunk.constData(), taken);
        m_owner.m_buffered += taken;
        m_counted += taken;
        if (end < 0) {
            if (taken > 0)
                m_timer.start(int(std::clamp<qint64>(requestMs - m_since.elapsed(), 0, idleMs)));
            return;
        }
        m_state = State::Handling;
        m_timer.stop();
        const QPointer<Connection> guard(this);
        m_owner.m_handler(std::exchange(m_line, {}), [guard](const QJsonObject& answer) {
            if (guard)
                guard->finish(answer);
        });
    }

    // Writes the answer and closes once it is out; the request's bytes are
    // no longer counted.
    void finish(const QJsonObject& answer)
    {
        if (m_state == State::Answering)
            return;
        m_state = State::Answering;
        m_line = {};
        release();
        connect(m_socket, &QLocalSocket::bytesWritten, this,
                [this] { m_timer.start(answerIdleMs); });
        m_socket->write(lineOf(answer));
        m_timer.start(answerIdleMs);
        m_socket->disconnectFromServer();
    }

    void overstayed()
    {
        if (m_state == State::Reading)
            finish({{QStringLiteral("error"),
                     SingleInstance::tr("the request did not arrive in time")}});
        else if (m_state == State::Answering) {
            m_socket->abort(); // the client does not read its answer
            m_socket->deleteLater();
        }
    }

    void release()
    {
        m_owner.m_buffered -= m_counted;
        m_counted = 0;
    }

    enum class State { Reading, Handling, Answering };
    QLocalSocket* m_socket;
    SingleInstance& m_owner;
    State m_state = State::Reading;
    QByteArray m_line;
    qint64 m_counted = 0;
    QElapsedTimer m_since;
    QTimer m_timer;
};

void SingleInstance::serve()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // All places taken: one that idles or trickles gives way.
        if (m_connections.size() >= maxConnections) {
            const auto idle = std::find_if(m_connections.cbegin(), m_connections.cend(),
                                           [](const Connection* c) { return c->isLingering(); });
            if (idle != m_connections.cend())
                (*idle)->cut();
        }
        if (m_connections.size() < maxConnections) {
            new Connection(socket, *this);
            continue;
        }
        // Told at once, without reading what it sent.
        socket->write(lineOf(busyAnswer()));
        socket->disconnectFromServer();
        QTimer::singleShot(answerIdleMs, socket, &QLocalSocket::abort);
    }
}
