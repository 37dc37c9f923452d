#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <functional>
#include <optional>

// The session's accessibility bus, as a screen reader turns it on: it sets
// org.a11y.Status.IsEnabled on org.a11y.Bus (which D-Bus activates as
// at-spi-bus-launcher) and asks it for the bus's address, which it gives
// once the bus runs. Programs started afterwards (Qt reads the flag when it
// starts) expose their accessible tree on it. The flag is cleared again when
// the object goes, so later programs of the same session run as usual. A bus
// that does not start fails the test.
struct AccessibilityBus
{
    AccessibilityBus();
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;
    bool isRunning() const { return !address.isEmpty(); }
    QString address; // the accessibility bus's D-Bus address; empty: it did not start
};

// The accessible tree of the application with this process id, read through
// libatspi (tests/e2e/atspi_tree.py): every node a JSON object {"role" (AT-SPI's
// role name: "frame", "push button", "list item"…), "name", "description",
// "states" (["focusable", "showing"…]), "actions" (["Press"…]), "children"}.
// Nothing when the application is not on the bus or does not answer in time.
std::optional<QJsonObject> accessibleTree(qint64 pid);
// Does the named action of the node at `path` (child indices from the
// application node); answers whether it was done.
bool doAccessibleAction(qint64 pid, const QJsonArray& path, const QString& action);

// A node of a tree and where it is (child indices from the tree's root).
struct AccessibleNode
{
    QJsonObject node;
    QJsonArray path;
    QString name() const { return node["name"].toString(); }
    QString description() const { return node["description"].toString(); }
    QStringList states() const;
    QStringList actions() const;
    QJsonArray children() const { return node["children"].toArray(); }
    bool hasState(const QString& state) const { return states().contains(state); }
};
// The first node, depth first, with this role and, unless `name` is empty, this name.
std::optional<AccessibleNode> findAccessible(const QJsonObject& tree, const QString& role, const QString& name = {});
// Every node that `match` accepts, depth first.
QList<AccessibleNode> findAllAccessible(const QJsonObject& tree,
                                        const std::function<bool(const QJsonObject&)>& match);
// Reads the tree again until `done` accepts it (`last` gets the last tree read);
// answers whether it did before the time was up.
bool waitForAccessibleTree(qint64 pid, const std::function<bool(const QJsonObject&)>& done,
                           QJsonObject* last = nullptr, int timeoutMs = 10000);
// The tree, indented, for a failure's message.
std::string describe(const QJsonObject& tree);

// The accessibility events of one application as a screen reader hears them
// (names changed, children added or removed), from the moment listen()
// answers until the object goes: each {"type" ("object:property-change:
// accessible-name", "object:children-changed:add"…), "role", "name"} of the
// node that changed, read when the event came, and "child", the name of the
// child added or removed.
class AccessibleEvents
{
public:
    ~AccessibleEvents();
    // Starts listening; answers whether the listener is registered.
    bool listen(qint64 pid);
    // Waits until an event that `match` accepts has come.
    bool waitFor(const std::function<bool(const QJsonObject&)>& match, int timeoutMs = 10000);
    // The events so far, one a line, for a failure's message.
    std::string describe();

private:
    void read();
    QProcess* m_reader = nullptr;
    QByteArray m_pending;
    QList<QJsonObject> m_events;
};
