#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Requests and replies are single lines of JSON; nothing sensible is larger.
constexpr qint64 maxMessageBytes = 1 << 20;

QString displayTag()
{
    QString d = qEnvironmentVariable("DISPLAY");
    if (d.isEmpty())
        d = qEnvironmentVariable("WAYLAND_DISPLAY");
    d.replace(u'/', u'_');
    d.replace(u':', u'_');
    return d.isEmpty() ? QStringLiteral("none") : d;
}

bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
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

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
}

QString SingleInstance::socketPath()
{
    const QString name =
        QStringLiteral(KAVO_APP_ID "-%1-%2.socket").arg(::getuid()).arg(displayTag());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + u'/' + name;
    return QDir::tempPath() + u'/' + name;
}

std::optional<QJsonObject> SingleInstance::send(const QJsonObject& request, int timeoutMs)
{
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(addr.sun_path))
        return std::nullopt;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<QJsonObject> reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0) {
        const QByteArray out = QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
        qsizetype sent = 0;
        while (sent < out.size() && waitFor(fd, POLLOUT, deadline)) {
            const ssize_t n = ::send(fd, out.constData() + sent, size_t(out.size() - sent),
                                     MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        QByteArray in;
        while (sent == out.size() && !in.contains('\n') && in.size() < maxMessageBytes &&
               waitFor(fd, POLLIN, deadline)) {
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            in.append(buf, n);
        }
        const QJsonDocument doc = QJsonDocument::fromJson(in.left(in.indexOf('\n')));
        if (doc.isObject())
            reply = doc.object();
    }
    ::close(fd);
    return reply;
}

bool SingleInstance::listen(Handler handler)
{
    m_handler = std::move(handler);
    const QString path = socketPath();
    // A socket file that nobody answers on is left over from a crash.
    if (QFile::exists(path)) {
        if (send(QJsonObject{{QStringLiteral("command"), QStringLiteral("ping")}}, 2000))
            return false;
        QLocalServer::removeServer(path);
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
    return true;
}

void SingleInstance::serve()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QPointer<QLocalSocket> guard(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, guard] {
            if (!guard || !guard->canReadLine()) {
                if (guard && guard->bytesAvailable() > maxMessageBytes)
                    guard->abort();
                return;
            }
            const QJsonDocument doc = QJsonDocument::fromJson(guard->readLine().trimmed());
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
    }
}
