#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;

// One Kavo per user and display. The first instance holds a lock for its
// whole life and listens on a local socket beside it, in a folder private to
// the user; later `kavo` commands send it one JSON request and read its one
// JSON answer, each a line of any length a session can produce.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Answers a request ({"command": …, …}) in the running instance.
    using Handler = std::function<QJsonObject(const QJsonObject& request)>;

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
        };
        Status status = Status::Failed;
        QJsonObject object;
        QString error;
    };

    // Sends a request to the running instance and waits for its answer,
    // giving up after `idleMs` without progress. Needs no application object.
    static Reply send(const QJsonObject& request, int idleMs = 10000);

    // The folder of the socket and the lock: $XDG_RUNTIME_DIR when it is a
    // private folder of the user's, else "kavo-UID" in the temporary folder,
    // made private (0700) or checked to be; nothing, with `error` set, when
    // neither is safe to use.
    static std::optional<QString> folder(QString* error = nullptr);
    static QString socketPath(const QString& folder);
    static QString lockPath(const QString& folder);

    // The largest request or answer taken.
    static constexpr qint64 maxMessageBytes = qint64(256) << 20;

private:
    void serve();
    void answer(class QLocalSocket* socket, const QByteArray& line);

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    Handler m_handler;
};
