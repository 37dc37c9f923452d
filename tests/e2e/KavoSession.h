#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <optional>

// One item of a shelf as `kavo --list` reports it.
struct ListedItem
{
    QString path;
    QByteArray uri; // the exact bytes of the path, percent-encoded
    bool temporary = false;
};

// One open shelf as `kavo --list` reports it.
struct ListedShelf
{
    QRect frame;
    bool visible = false;
    QString mode;
    QList<ListedItem> items;

    QStringList paths() const;
};

// The real `kavo` program, run in a home of its own: private HOME, XDG config,
// cache, data, state and runtime folders (so its single-instance socket and
// its drop folders are private too), on the xcb platform of the test display.
// The program is killed when the session goes away.
class KavoSession
{
public:
    // The program built with the tests.
    KavoSession();
    // Another build of the program, such as one installed from the package.
    explicit KavoSession(const QString& program);
    ~KavoSession();
    KavoSession(const KavoSession&) = delete;
    KavoSession& operator=(const KavoSession&) = delete;

    // Whether the private folders could be made.
    bool isValid() const { return m_valid; }

    QString root() const { return m_root.path(); }
    QString configHome() const { return root() + QStringLiteral("/config"); }
    QString cacheHome() const { return root() + QStringLiteral("/cache"); }
    QString stateHome() const { return root() + QStringLiteral("/state"); }
    QString runtimeDir() const { return root() + QStringLiteral("/runtime"); }
    // Where the program writes what arrives without a file of its own.
    QString droppedRoot() const;
    QString shakeLogPath() const { return stateHome() + QStringLiteral("/Kavo/shake.log"); }

    // Writes one preference into the program's settings file (before start).
    void setPreference(const QString& key, const QVariant& value);
    // Sets (or, with an empty value, removes) a variable of the program's
    // environment, before start and for later runs.
    void setEnvironment(const QString& name, const QString& value);

    // Starts the program and waits until `kavo --list` answers; answers
    // whether it did within the time.
    bool start(int timeoutMs = 20000);
    bool isRunning() const { return m_program.state() == QProcess::Running; }
    qint64 processId() const { return m_program.processId(); }
    // Ends the program (it is gone when this returns).
    void stop();
    bool wasStarted() const { return m_started; }
    // Waits for the started program to end by itself; answers its exit
    // status, nothing when it is still running at the deadline or crashed.
    std::optional<int> waitForExit(int timeoutMs = 10000);
    // What the running program wrote to stderr so far (for failure messages).
    QString programErrors();

    struct Result
    {
        int exitCode = -1; // -1: did not start, did not end in time, or crashed
        QString out;
        QString err;
    };
    // Runs `kavo ARGUMENTS` to its end in this session's environment. With
    // "--shell SCRIPT ARGS…" it runs the shell script instead, with $KAVO
    // naming the program (for arguments that must reach it as bytes).
    Result run(const QStringList& arguments, int timeoutMs = 15000) const;

    // The running program's shelves; nothing when `kavo --list` fails or
    // prints something that is not the expected JSON.
    std::optional<QList<ListedShelf>> list() const;
    // Polls `kavo --list` until `done` accepts the shelves; answers the last
    // shelves seen (empty when the program never answered) and whether
    // `done` accepted them.
    bool waitForShelves(const std::function<bool(const QList<ListedShelf>&)>& done,
                        QList<ListedShelf>* last = nullptr, int timeoutMs = 10000) const;
    // Waits for exactly `count` shelves and answers them (empty on time-out).
    QList<ListedShelf> waitForShelfCount(qsizetype count, int timeoutMs = 10000) const;

    // Parses the JSON that `kavo --list` prints.
    static std::optional<QList<ListedShelf>> parseList(const QByteArray& json);

private:
    QTemporaryDir m_root;
    bool m_valid = false;
    bool m_started = false;
    QProcessEnvironment m_env;
    QProcess m_program;
    QByteArray m_errors;
};

// Readable forms for failure messages.
QString describe(const QList<ListedShelf>& shelves);
