#include "Atspi.h"

#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

const QString busService = "org.a11y.Bus", busPath = "/org/a11y/bus";

// Calls the launcher (plain messages: an interface object would introspect it).
QDBusMessage callBus(const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

bool setEnabled(bool on)
{
    const QVariantList arguments = {"org.a11y.Status", "IsEnabled", QVariant::fromValue(QDBusVariant(on))};
    return callBus("org.freedesktop.DBus.Properties", "Set", arguments).type() == QDBusMessage::ReplyMessage;
}

// Runs the libatspi reader to its end; its output, or nothing when it failed.
std::optional<QByteArray> runReader(const QStringList& arguments)
{
    QProcess reader;
    reader.start("/usr/bin/python3", QStringList{KAVO_SOURCE_DIR "/tests/e2e/atspi_tree.py"} + arguments);
    // The reader gives up by itself after 20 s; this is the bound if even that fails.
    if (!reader.waitForStarted(10000) ||
        !TestEnv::waitUntil([&] { return reader.state() == QProcess::NotRunning; }, 30000)) {
        reader.kill();
        reader.waitForFinished(5000);
        return std::nullopt;
    }
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return std::nullopt;
    return reader.readAllStandardOutput();
}

void collect(const QJsonObject& node, const QJsonArray& path, const std::function<bool(const QJsonObject&)>& match,
             QList<AccessibleNode>& out, bool firstOnly)
{
    if (match(node)) {
        out << AccessibleNode{node, path};
        if (firstOnly)
            return;
    }
    const QJsonArray children = node["children"].toArray();
    for (qsizetype i = 0; i < children.size() && !(firstOnly && !out.isEmpty()); ++i) {
        QJsonArray childPath = path;
        childPath.append(int(i));
        collect(children[i].toObject(), childPath, match, out, firstOnly);
    }
}

QStringList strings(const QJsonValue& array)
{
    QStringList out;
    for (const QJsonValue& v : array.toArray())
        out << v.toString();
    return out;
}

} // namespace

AccessibilityBus::AccessibilityBus()
{
    if (!setEnabled(true)) {
        ADD_FAILURE() << "the accessibility bus (at-spi-bus-launcher, org.a11y.Bus) did not start";
        return;
    }
    const QDBusReply<QString> reply = callBus("org.a11y.Bus", "GetAddress");
    // The launcher answers once the bus runs.
    address = reply.isValid() ? reply.value() : QString();
    if (!isRunning())
        ADD_FAILURE() << "the accessibility bus did not start: " << reply.error().message().toStdString();
}

AccessibilityBus::~AccessibilityBus()
{
    if (isRunning())
        setEnabled(false);
}

std::optional<QJsonObject> accessibleTree(qint64 pid)
{
    const std::optional<QByteArray> out = runReader({"tree", QString::number(pid)});
    if (!out)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(*out);
    return doc.isObject() ? std::optional(doc.object()) : std::nullopt;
}

bool doAccessibleAction(qint64 pid, const QJsonArray& path, const QString& action)
{
    const QString p = QString::fromUtf8(QJsonDocument(path).toJson(QJsonDocument::Compact));
    return runReader({"action", QString::number(pid), p, action}).has_value();
}

QStringList AccessibleNode::states() const
{
    return strings(node["states"]);
}

QStringList AccessibleNode::actions() const
{
    return strings(node["actions"]);
}

std::optional<AccessibleNode> findAccessible(const QJsonObject& tree, const QString& role, const QString& name)
{
    QList<AccessibleNode> found;
    collect(tree, {}, [&](const QJsonObject& n) { return n["role"] == role && (name.isEmpty() || n["name"] == name); },
            found, true);
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

QList<AccessibleNode> findAllAccessible(const QJsonObject& tree, const std::function<bool(const QJsonObject&)>& match)
{
    QList<AccessibleNode> found;
    collect(tree, {}, match, found, false);
    return found;
}

bool waitForAccessibleTree(qint64 pid, const std::function<bool(const QJsonObject&)>& done, QJsonObject* last,
                           int timeoutMs)
{
    return TestEnv::waitUntil(
        [&] {
            const std::optional<QJsonObject> tree = accessibleTree(pid);
            if (tree && last)
                *last = *tree;
            return tree && done(*tree);
        },
        timeoutMs);
}

std::string describe(const QJsonObject& tree)
{
    std::string out;
    const std::function<void(const QJsonObject&, int)> walk = [&](const QJsonObject& n, int depth) {
        out += std::string(size_t(depth) * 2, ' ') + n["role"].toString().toStdString() + " \"" +
               n["name"].toString().toStdString() + "\"";
        if (!n["description"].toString().isEmpty())
            out += " (" + n["description"].toString().toStdString() + ")";
        const QStringList actions = strings(n["actions"]);
        if (!actions.isEmpty())
            out += " [" + actions.join(", ").toStdString() + "]";
        out += "\n";
        for (const QJsonValue& c : n["children"].toArray())
            walk(c.toObject(), depth + 1);
    };
    walk(tree, 0);
    return out;
}

AccessibleEvents::~AccessibleEvents()
{
    if (!m_reader)
        return;
    m_reader->closeWriteChannel(); // the reader stops listening
    if (!m_reader->waitForFinished(5000))
        m_reader->kill(), m_reader->waitForFinished(5000);
    delete m_reader;
}

bool AccessibleEvents::listen(qint64 pid)
{
    m_reader = new QProcess;
    m_reader->start("/usr/bin/python3", {KAVO_SOURCE_DIR "/tests/e2e/atspi_tree.py", "events", QString::number(pid),
                                         "120"});
    if (!m_reader->waitForStarted(10000))
        return false;
    // The first line says the listener is registered.
    TestEnv::waitUntil(
        [&] {
            m_pending += m_reader->readAllStandardOutput();
            return m_pending.contains('\n') || m_reader->state() == QProcess::NotRunning;
        },
        20000);
    if (!m_pending.startsWith("ready\n"))
        return false;
    m_pending.remove(0, 6);
    return true;
}

void AccessibleEvents::read()
{
    m_pending += m_reader->readAllStandardOutput();
    for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
        const QJsonDocument doc = QJsonDocument::fromJson(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (doc.isObject())
            m_events << doc.object();
    }
}

bool AccessibleEvents::waitFor(const std::function<bool(const QJsonObject&)>& match, int timeoutMs)
{
    return m_reader && TestEnv::waitUntil(
                           [&] {
                               read();
                               return std::any_of(m_events.begin(), m_events.end(), match);
                           },
                           timeoutMs);
}

std::string AccessibleEvents::describe()
{
    if (m_reader)
        read();
    std::string out;
    for (const QJsonObject& e : m_events)
        out += QJsonDocument(e).toJson(QJsonDocument::Compact).toStdString() + "\n";
    return out.empty() ? "no events\n" : out;
}
