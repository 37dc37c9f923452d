#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QDBusMessage;

// Global shortcuts through the desktop's org.freedesktop.portal.GlobalShortcuts
// (xdg-desktop-portal: KDE Plasma 6, GNOME 48 and later, Hyprland, …), the
// way a Wayland session lets a program hear a key pressed in any window.
// Every call is asynchronous and follows the portal's request pattern: the
// answer comes as a Response signal on a request object whose path is known
// before the call (handle_token), so it is listened for first. Main thread.
class PortalShortcuts : public QObject
{
    Q_OBJECT
public:
    explicit PortalShortcuts(QObject* parent = nullptr);
    ~PortalShortcuts() override; // closes the session

    // Whether this is a Wayland session (WAYLAND_DISPLAY or
    // XDG_SESSION_TYPE=wayland).
    static bool waylandSession();
    // The portal's name for a key combination ("CTRL+ALT+space", after the
    // freedesktop shortcuts format); empty for keys it has no name for.
    static QString triggerFor(Qt::KeyboardModifiers modifiers, Qt::Key key);

    // Asks whether the desktop serves the interface: `answer` gets its
    // version, 0 when there is no portal or no GlobalShortcuts in it.
    void probe(std::function<void(uint version)> answer);
    // How the desktop answered a bind().
    enum class Answer {
        Bound,   // with a trigger
        Refused, // by the desktop or the user, or the call failed
        Ignored, // success, yet the shortcut came back without keys, or not at all
    };
    // Binds one shortcut in a new session (an earlier session is closed
    // first; a portal binds once per session). The shortcut goes with
    // CreateSession too: KDE Plasma 5.27 registers only the shortcuts named
    // there and binds nothing in BindShortcuts, later Plasma binds them in
    // BindShortcuts, and frontends that know no such option drop it.
    // `bound` gets the answer and the trigger the desktop gave the shortcut,
    // as the desktop describes it. A later bind() or close() makes an earlier
    // answer void: it is never delivered.
    void bind(const QString& id, const QString& description, const QString& preferredTrigger,
              std::function<void(Answer answer, const QString& trigger)> bound);
    // Ends the session: the desktop forgets the shortcut until the next bind.
    void close();
    // Shows the desktop's own settings for the session's shortcuts (version
    // 2 of the interface).
    void configure();

    // A bound shortcut was pressed.
    std::function<void(const QString& id)> onActivated;
    // The user gave a bound shortcut other keys in the desktop's settings.
    std::function<void(const QString& id, const QString& trigger)> onTriggerChanged;

private Q_SLOTS:
    void signalled(const QDBusMessage& message);

private:
    // Calls `method` of the interface with `arguments` and a fresh
    // handle_token added to the options that come last; `done` gets the
    // Response's code (0 granted, 1 refused, 2 otherwise) and results.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 std::function<void(uint code, const QVariantMap& results)> done);

    QString m_session;        // the session's object path, once created
    quint64 m_generation = 0; // bumped by bind() and close()
    // What waits for a Response, by request path.
    QHash<QString, std::function<void(uint, const QVariantMap&)>> m_pending;
};
