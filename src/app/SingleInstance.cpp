#include "app/SingleInstance.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>

namespace {

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

// The answer to a client that finds Kavo serving as many as it takes.
QJsonObject busyAnswer()
{
    return {{QStringLiteral("busy"), true},
            {QStringLiteral("error"), SingleInstance::tr("too many commands at once")}};
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
