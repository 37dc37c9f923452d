#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// A helper program (kavo-test-drag-source, kavo-test-clipboard, a real
// program like pcmanfm, a tool like xdotool) run by a test: its stdout is
// collected line by line while the test processes events, and it is killed
// when the object goes away.
class HelperProcess
{
public:
    HelperProcess();
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts the program; answers whether it started.
    bool start(const QString& program, const QStringList& arguments = {});

    // Processes events until the program has printed a line that begins with
    // `prefix` and that no earlier wait answered, and answers the first such
    // line; nothing when the time runs out or the program ends first. Lines
    // are matched in the order printed, whatever the order of the waits.
    std::optional<QString> waitForLine(const QString& prefix, int timeoutMs = 10000);

    // Processes events until the program has ended; answers whether it did.
    bool waitForFinished(int timeoutMs = 10000);
    int exitCode() const { return m_process.exitCode(); }

    // Every line printed so far, and what the program wrote to stderr.
    QStringList lines() const { return m_lines; }
    QString errorOutput() const { return QString::fromUtf8(m_stderr); }

    void kill();
    // Asks the program to end (SIGTERM), and kills it when it has not within
    // `graceMs`.
    void terminate(int graceMs);

    // Runs a program to its end while processing events (so that windows of
    // the test process keep answering); answers its exit code, or -1 when it
    // did not start or did not end in time.
    static int run(const QString& program, const QStringList& arguments, int timeoutMs = 20000);

    // The helper programs built with the tests.
    static QString dragSourcePath();
    static QString clipboardPath();

private:
    void readLines();

    QProcess m_process;
    QByteArray m_pending;
    QByteArray m_stderr;
    QStringList m_lines;
    QList<bool> m_answered; // per line
};
