#pragma once

#include <QKeyCombination>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class KeyGrabber;
class PortalShortcuts;

// The key combination that opens a new shelf from any application. On a
// Wayland session it is bound through the desktop's GlobalShortcuts portal,
// which hears it in every window; elsewhere, and where the desktop has no
// such portal, it is grabbed from the X server (under XWayland that serves
// X11 windows only). Actions run on the main thread, in a later turn of the
// event loop. Destruction releases the combination.
class HotKey
{
public:
    HotKey();
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    static constexpr QKeyCombination defaultKey{Qt::ControlModifier | Qt::AltModifier,
                                                Qt::Key_Space};
    // A combination usable for the whole desktop: one key that is not a
    // modifier itself, held with Ctrl, Alt or Super (a plain key would be
    // taken from every program's typing).
    static std::optional<QKeyCombination> parse(const QString& portableText);
    // The key a "hotKey" preference names: nothing when it is empty (the hot
    // key is off), else the key, else (garbage, a key without modifiers, a
    // modifier alone) the default, with a line in the log.
    static std::optional<QKeyCombination> fromPreference(const QString& text);
    // As the user reads it ("Ctrl+Alt+Space") and as it is stored.
    static QString displayText(QKeyCombination key);
    static QString portableText(QKeyCombination key);

    // Uses `key` from now on, or none. Where the answer comes later (the
    // portal asks the desktop, which may ask the user), onUnavailable is told
    // then.
    void apply(std::optional<QKeyCombination> key);
    // The shortcut that works now, as the user reads it; empty when none does.
    QString workingText() const { return m_working; }
    // Whether the desktop can show its own settings for the shortcut.
    bool canConfigure() const;
    void configure();

    // A press; `pointerKnown` is false where the pointer may be over a
    // window Kavo cannot see (a native Wayland window). `userTime` is the
    // window system's time of the key press, 0 where it is not known (the
    // portal's presses).
    std::function<void(bool pointerKnown, quint32 userTime)> onPressed;
    // Why a key could not be had.
    enum class Refusal {
        Taken,   // another program holds it (X)
        Refused, // the desktop or the user refused it (portal)
        Ignored, // the desktop answered yes but bound nothing (portal)
    };
    // The key could not be had.
    std::function<void(QKeyCombination key, Refusal why)> onUnavailable;

private:
    enum class Path { Undecided, Probing, Portal, X11 };
    void grab();
    void bind();
    void unavailable(QKeyCombination key, Refusal why);

    Path m_path = Path::Undecided;
    std::optional<QKeyCombination> m_wanted;
    QString m_working;
    uint m_portalVersion = 0;
    std::unique_ptr<KeyGrabber> m_grabber;
    std::unique_ptr<PortalShortcuts> m_portal;
};
