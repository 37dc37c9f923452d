#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;

// One Kavo per user and display. The first instance listens on a local socket
// named after the application id, the user and the display; later `kavo`
// commands send it one JSON request and print its one JSON answer.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Answers a request ({"command": …, …}) in the running instance.
    using Handler = std::function<QJsonObject(const QJsonObject& request)>;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Starts listening; answers false when another instance already does.
    bool listen(Handler handler);

    // Sends a request to the running instance and answers its reply; nothing
    // when no instance runs (or it does not answer within the time limit).
    // Needs no application object.
    static std::optional<QJsonObject> send(const QJsonObject& request, int timeoutMs = 5000);

    // The socket: in $XDG_RUNTIME_DIR when there is one, else in the
    // temporary folder, with the user id and display in its name.
    static QString socketPath();

private:
    void serve();

    QLocalServer* m_server = nullptr;
    Handler m_handler;
};
