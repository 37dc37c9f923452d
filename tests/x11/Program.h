#pragma once

#include "TestEnvironment.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// A program a test runs beside the one under test (a file manager, a tray,
// xdotool): started with extra environment variables, and ended when the
// object goes away.
class Program
{
public:
    ~Program() { stop(); }

    // `environment` holds NAME=VALUE pairs added to the test's own.
    bool start(const QString& program, const QStringList& arguments,
               const QStringList& environment = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& pair : environment)
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        m_process.setProcessEnvironment(env);
        m_process.start(program, arguments);
        return m_process.waitForStarted(10000);
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    // Asks the program to end, and kills it when it has not within a second
    // (a modal question keeps a file manager from ending politely).
    void stop()
    {
        m_process.terminate();
        if (isRunning() && !m_process.waitForFinished(1000))
            m_process.kill(), m_process.waitForFinished(5000);
    }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

    // Runs a program to its end while processing events (so that windows of
    // the test process keep answering); answers its exit code, or -1 when it
    // did not start, crashed or did not end in time.
    static int run(const QString& program, const QStringList& arguments, int timeoutMs = 20000)
    {
        Program p;
        if (!p.start(program, arguments) ||
            !TestEnv::waitUntil([&] { return !p.isRunning(); }, timeoutMs))
            return -1;
        return p.m_process.exitStatus() == QProcess::NormalExit ? p.m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
};
