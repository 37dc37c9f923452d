#include "KavoSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QThread>

QStringList ListedShelf::paths() const
{
    QStringList out;
    for (const ListedItem& item : items)
        out << item.path;
    return out;
}

KavoSession::KavoSession() : KavoSession(QStringLiteral(KAVO_BINARY)) {}

KavoSession::KavoSession(const QString& program)
    : m_root(QDir::tempPath() + QStringLiteral("/kavo-e2e-XXXXXX"))
{
    if (!m_root.isValid())
        return;
    const QDir dir(m_root.path());
    for (const char* sub : {"home", "config", "cache", "data", "state", "runtime"}) {
        if (!dir.mkpath(QLatin1String(sub)))
            return;
    }
    // The runtime folder must be private to the user, as the XDG rules say.
    if (!QFile::setPermissions(runtimeDir(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return;

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("HOME"), root() + QStringLiteral("/home"));
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    m_env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome());
    m_env.insert(QStringLiteral("XDG_DATA_HOME"), root() + QStringLiteral("/data"));
    m_env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome());
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_program.setProcessEnvironment(m_env);
    m_program.setProgram(program);
    QObject::connect(&m_program, &QProcess::readyReadStandardError, &m_program,
                     [this] { m_errors += m_program.readAllStandardError(); });
    m_valid = true;
}

KavoSession::~KavoSession()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
}

QString KavoSession::droppedRoot() const
{
    return cacheHome() + QStringLiteral("/io.github.kavo.Kavo/Dropped");
}

void KavoSession::setPreference(const QString& key, const QVariant& value)
{
    QSettings settings(configHome() + QStringLiteral("/Kavo/Kavo.conf"), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

void KavoSession::setEnvironment(const QString& name, const QString& value)
{
    if (value.isEmpty())
        m_env.remove(name);
    else
        m_env.insert(name, value);
    m_program.setProcessEnvironment(m_env);
}

void KavoSession::stop()
{
    if (m_program.state() == QProcess::NotRunning)
        return;
    m_program.kill();
    m_program.waitForFinished(5000);
    m_started = false;
}

bool KavoSession::start(int timeoutMs)
{
    if (!m_valid)
        return false;
    m_program.start();
    if (!m_program.waitForStarted(10000))
        return false;
    m_started = true;
    QDeadlineTimer deadline(timeoutMs);
    while (!list()) {
        // A program that ended will never answer.
        if (deadline.hasExpired() || !isRunning())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

std::optional<int> KavoSession::waitForExit(int timeoutMs)
{
    if (!m_started)
        return std::nullopt;
    if (m_program.state() != QProcess::NotRunning && !m_program.waitForFinished(timeoutMs))
        return std::nullopt;
    if (m_program.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_program.exitCode();
}

QString KavoSession::programErrors()
{
    m_errors += m_program.readAllStandardError();
    return QString::fromLocal8Bit(m_errors);
}

KavoSession::Result KavoSession::run(const QStringList& arguments, int timeoutMs) const
{
    Result result;
    QProcess process;
    QProcessEnvironment env = m_env;
    if (arguments.value(0) == u"--shell") {
        env.insert(QStringLiteral("KAVO"), m_program.program());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"), arguments.value(1), QStringLiteral("sh")} +
                          arguments.mid(2));
    } else {
        process.setProcessEnvironment(env);
        process.start(m_program.program(), arguments);
    }
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

std::optional<QList<ListedShelf>> KavoSession::list() const
{
    const Result r = run({QStringLiteral("--list")});
    if (r.exitCode != 0)
        return std::nullopt;
    return parseList(r.out.toUtf8());
}

bool KavoSession::waitForShelves(const std::function<bool(const QList<ListedShelf>&)>& done,
                                 QList<ListedShelf>* last, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (const auto shelves = list()) {
            if (last)
                *last = *shelves;
            if (done(*shelves))
                return true;
        }
        if (deadline.hasExpired())
            return false;
        // Let the test's own helpers deliver their output meanwhile.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

QList<ListedShelf> KavoSession::waitForShelfCount(qsizetype count, int timeoutMs) const
{
    QList<ListedShelf> shelves;
    if (!waitForShelves([count](const QList<ListedShelf>& s) { return s.size() == count; },
                        &shelves, timeoutMs))
        return {};
    return shelves;
}

std::optional<QList<ListedShelf>> KavoSession::parseList(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue shelvesValue = doc.object().value(QStringLiteral("shelves"));
    if (!shelvesValue.isArray())
        return std::nullopt;
    QList<ListedShelf> shelves;
    for (const QJsonValue& s : shelvesValue.toArray()) {
        const QJsonObject o = s.toObject();
        const QJsonArray frame = o.value(QStringLiteral("frame")).toArray();
        const QJsonValue items = o.value(QStringLiteral("items"));
        if (frame.size() != 4 || !items.isArray() || !o.value(QStringLiteral("visible")).isBool())
            return std::nullopt;
        ListedShelf shelf;
        shelf.frame = QRect(frame[0].toInt(), frame[1].toInt(), frame[2].toInt(), frame[3].toInt());
        shelf.visible = o.value(QStringLiteral("visible")).toBool();
        shelf.mode = o.value(QStringLiteral("mode")).toString();
        for (const QJsonValue& i : items.toArray()) {
            const QJsonObject item = i.toObject();
            if (!item.value(QStringLiteral("path")).isString() ||
                !item.value(QStringLiteral("temporary")).isBool())
                return std::nullopt;
            shelf.items.append({item.value(QStringLiteral("path")).toString(),
                                item.value(QStringLiteral("uri")).toString().toUtf8(),
                                item.value(QStringLiteral("temporary")).toBool()});
        }
        shelves.append(shelf);
    }
    return shelves;
}

QString describe(const QList<ListedShelf>& shelves)
{
    QStringList out;
    for (const ListedShelf& s : shelves) {
        QStringList items;
        for (const ListedItem& i : s.items)
            items << i.path + (i.temporary ? QStringLiteral(" (temporary)") : QString());
        out << QStringLiteral("[%1,%2 %3x%4 %5 %6: %7]")
                   .arg(s.frame.x())
                   .arg(s.frame.y())
                   .arg(s.frame.width())
                   .arg(s.frame.height())
                   .arg(s.visible ? QStringLiteral("visible") : QStringLiteral("hidden"), s.mode,
                        items.join(QStringLiteral(", ")));
    }
    return out.isEmpty() ? QStringLiteral("no shelves") : out.join(u' ');
}
