#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;

// One Kavo per user and display. The first instance holds a lock for its
// whole life and listens on a local socket beside it, in a folder private to
// the user; later `kavo` commands send it one JSON request and read its one
// JSON answer, each a line. A request is read within limits of size and time
// and from a bounded number of clients at once; an answer may be as long as
// a session makes it.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Takes the answer to a request, on the UI thread.
    using Answer = std::function<void(const QJsonObject& answer)>;
    // Answers one request line (its JSON, without the newline), now or
    // later, by calling `answer` once.
    using Handler = std::function<void(const QByteArray& line, Answer answer)>;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the instance lock; answers false when another instance holds it
    // (or it cannot be had: `error` says why then).
    bool claim(QString* error = nullptr);
    // Once claimed: replaces whatever a crashed instance left at the socket
    // and listens.
    bool listen(Handler handler, QString* error = nullptr);

    struct Reply
    {
        enum class Status {
            Answered,   // `object` holds the answer
            NotRunning, // no instance runs
            NoAnswer,   // an instance runs but did not answer in time
            Failed      // the request could not be made: `error` says why
                        // (also when Kavo stayed too busy to take it)
        };
        Status status = Status::Failed;
        QJsonObject object;
        QString error;
    };

    // Sends a request to the running instance and waits for its answer,
    // giving up after `idleMs` without progress. An instance too busy to
    // take it is asked again for `busyMs`. Needs no application object.
    static Reply send(const QJsonObject& request, int idleMs = 10000);

    // The folder of the socket and the lock: $XDG_RUNTIME_DIR when it is a
    // private folder of the user's, else "kavo-UID" in the temporary folder,
    // made private (0700) or checked to be; nothing, with `error` set, when
    // neither is safe to use.
    static std::optional<QString> folder(QString* error = nullptr);
    static QString socketPath(const QString& folder);
    static QString lockPath(const QString& folder);
    // The lock file in `folder`, opened (not locked), or -1.
    static int openLockFile(const QString& folder);
    // A request or an answer as it travels: compact JSON and a newline.
    static QByteArray lineOf(const QJsonObject& object);

    // The longest request line taken (the largest `--new-shelf` a shell
    // can pass), and all requests being read together.
    static constexpr qint64 maxRequestBytes = qint64(64) << 20;
    static constexpr qint64 maxBufferedBytes = 2 * maxRequestBytes;
    // The longest answer a client reads.
    static constexpr qint64 maxAnswerBytes = qint64(256) << 20;
    // Clients served at once. When all places are taken, a client still
    // sending its request after lingerMs gives way to a new one; if none
    // does, the new one is told that Kavo is busy.
    static constexpr int maxConnections = 32;
    static constexpr int lingerMs = 500;
    // A request must arrive whole within requestMs, with no pause longer
    // than idleMs; an answer that makes no way for answerIdleMs is dropped.
    static constexpr int requestMs = 10000;
    static constexpr int idleMs = 3000;
    static constexpr int answerIdleMs = 10000;
    // How long a client asks again while Kavo is too busy to take it.
    static constexpr int busyMs = 2500;

private:
    class Connection;
    void serve();

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    Handler m_handler;
    QList<Connection*> m_connections; // being served, oldest first
    qint64 m_buffered = 0;            // bytes of the requests being read or handled
};
