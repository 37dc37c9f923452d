#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

// A tiny HTTP/1.1 server on 127.0.0.1 that answers every request with the
// configured response and records what was asked. Runs on the test's event
// loop.
class FeedServer : public QObject
{
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        // Without a Content-Length the body ends when the connection closes.
        bool declareLength = true;
        // Reads the request and never answers.
        bool silent = false;
    };

    FeedServer();

    // The address of `path` on this server.
    QUrl url(const QString& path = QStringLiteral("/version.json")) const;
    // Sets a 200 answer with a feed document of this version and url.
    void serveRelease(const QString& version,
                      const QString& url = QStringLiteral("https://example.org/kavo"));
    // Stops listening; later connections are refused.
    void close() { m_server.close(); }

    Response response;
    // Request lines as received, e.g. "GET /version.json?t=1 HTTP/1.1".
    QStringList requests;

private:
    void accept();

    QTcpServer m_server;
};
