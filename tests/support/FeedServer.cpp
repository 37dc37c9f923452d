#include "FeedServer.h"

#include <QTcpSocket>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

FeedServer::FeedServer()
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, &FeedServer::accept);
}

QUrl FeedServer::url(const QString& path) const
{
    QUrl u;
    u.setScheme(QStringLiteral("http"));
    u.setHost(QStringLiteral("127.0.0.1"));
    u.setPort(m_server.serverPort());
    u.setPath(path);
    return u;
}

void FeedServer::serveRelease(const QString& version, const QString& url)
{
    response = Response{};
    response.body = QStringLiteral(R"({"version": "%1", "url": "%2"})").arg(version, url).toUtf8();
}

void FeedServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray received =
                socket->property("received").toByteArray() + socket->readAll();
            socket->setProperty("received", received);
            const qsizetype end = received.indexOf("\r\n\r\n");
            if (end < 0 || socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            requests.append(QString::fromLatin1(received.left(received.indexOf("\r\n"))));
            const Response r = response;
            if (r.silent)
                return;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reason(r.status) +
                              "\r\nContent-Type: application/json\r\nConnection: close\r\n";
            if (r.declareLength)
                head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
            socket->write(head + "\r\n" + r.body);
            socket->disconnectFromHost();
        });
    }
}
