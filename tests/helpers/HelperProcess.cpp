#include "HelperProcess.h"

#include "TestEnvironment.h"

#include <QCoreApplication>


HelperProcess::HelperProcess()
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                     [this] { readLines(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                     [this] { m_stderr += m_process.readAllStandardError(); });
}

HelperProcess::~HelperProcess()
{
    kill();
}

bool HelperProcess::start(const QString& program, const QStringList& arguments)
{
    m_process.start(program, arguments);
    return m_process.waitForStarted(10000);
}

std::optional<QString> HelperProcess::waitForLine(const QString& prefix, int timeoutMs)
{
    std::optional<QString> found;
    auto take = [&] {
        readLines();
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (!m_answered[i] && m_lines[i].startsWith(prefix)) {
                found = m_lines[i];
                m_answered[i] = true;
                return true;
            }
        }
        return false;
    };
    TestEnv::waitUntil(
        [&] {
            if (m_process.state() == QProcess::NotRunning) {
                take(); // what it printed before it ended
                return true;
            }
            return take();
        },
        timeoutMs);
    return found;
}

bool HelperProcess::waitForFinished(int timeoutMs)
{
    return TestEnv::waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

void HelperProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void HelperProcess::terminate(int graceMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(graceMs))
        kill();
}

int HelperProcess::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    HelperProcess process;
    if (!process.start(program, arguments) || !process.waitForFinished(timeoutMs))
        return -1;
    return process.m_process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString HelperProcess::dragSourcePath()
{
    return QStringLiteral(KAVO_TEST_DRAG_SOURCE);
}

QString HelperProcess::clipboardPath()
{
    return QStringLiteral(KAVO_TEST_CLIPBOARD);
}

void HelperProcess::readLines()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_pending.left(end)));
        m_answered.append(false);
        m_pending.remove(0, end + 1);
    }
}
