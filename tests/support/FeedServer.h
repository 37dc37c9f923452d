#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// A tiny HTTP/1.1 server on 127.0.0.1 that answers every request with the
// configured response and records the request lines, on the test's event loop.
class FeedServer : public QObject
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        bool declareLength = true; // else the body ends when the connection closes
        bool silent = false;       // reads the request and never answers
        int trickleMs = 0;         // else sends the body a byte at a time, this often
        QByteArray type = "application/json";
    };
    Response response;
    QHash<QByteArray, Response> pages; // answers for these paths instead of `response`
    QStringList requests; // e.g. "GET /version.json?t=1 HTTP/1.1"

    FeedServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/version.json").arg(m_server.serverPort())); }
    // A 200 answer with a feed of this version and address.
    void serveRelease(const QString& version, const QString& url = "https://example.org/kavo")
    {
        response = {200, QStringLiteral(R"({"version": "%1", "url": "%2"})").arg(version, url).toUtf8()};
    }
    // Stops listening; later connections are refused.
    void close() { m_server.close(); }

private:
    void answer(QTcpSocket* socket)
    {
        const QByteArray received = socket->property("received").toByteArray() + socket->readAll();
        socket->setProperty("received", received);
        if (!received.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        requests << QString::fromLatin1(received.left(received.indexOf("\r\n")));
        const Response reply = pages.value(received.split(' ').value(1), response);
        if (reply.silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                          " Status\r\nContent-Type: " + reply.type + "\r\nConnection: close\r\n";
        if (reply.declareLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (reply.trickleMs > 0) {
            socket->write(head + "\r\n");
            auto* drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket, body = reply.body, sent = qsizetype(0)]() mutable {
                if (sent < body.size())
                    socket->write(body.mid(sent++, 1));
            });
            drip->start(reply.trickleMs);
            return;
        }
        socket->write(head + "\r\n" + reply.body);
        socket->disconnectFromHost();
    }
    QTcpServer m_server;
};
