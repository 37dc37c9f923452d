#pragma once

#include "platform/KeyGrabber.h"

#include <QAbstractNativeEventFilter>
#include <QList>

#include <memory>

struct xcb_connection_t;

// A passive key grab on the root window (GrabKey) for every keycode that
// produces the key's keysym, once with the bare modifiers and once with each
// combination of Caps Lock, Num Lock and Scroll Lock added; the lock
// modifiers' bits come from the server's modifier map. Presses arrive through
// Qt's native event filter. After a keyboard or modifier mapping change the
// grab is made again for the new keycodes.
class X11KeyGrabber final : public KeyGrabber, private QAbstractNativeEventFilter
{
public:
    X11KeyGrabber(xcb_connection_t* connection, quint32 root);
    ~X11KeyGrabber() override;

    // Fails when the key has no keysym or no keycode, when another client
    // (or another grabber in this process) holds any part of the
    // combination, or when the server refuses a grab; then nothing stays
    // grabbed.
    bool grab(Qt::Key key, Qt::KeyboardModifiers modifiers) override;
    void ungrab() override;

    // The X keysym of a Qt key (0 when there is none): the Latin-1 keys
    // (letters as their lower-case keysyms), function keys F1-F35 and the
    // usual editing, navigation and keypad keys.
    static quint32 keysymFor(Qt::Key key);
    // The X modifier mask: Shift 0x1, Control 0x4, Alt (Mod1) 0x8, Meta
    // (Mod4) 0x40; other Qt modifiers are ignored.
    static quint16 modifierMask(Qt::KeyboardModifiers modifiers);
    // Every combination of the given lock bits (each 0 when its modifier is
    // not mapped) added to `modifiers`, without repeats, `modifiers` first.
    static QList<quint16> lockVariants(quint16 modifiers, quint16 capsLock, quint16 numLock,
                                       quint16 scrollLock);

private:
    struct Grab
    {
        quint8 keycode;
        quint16 modifiers;
        bool operator==(const Grab&) const = default;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool grabKeys();
    void releaseKeys();
    bool heldElsewhere(const QList<Grab>& grabs) const;

    xcb_connection_t* m_connection;
    quint32 m_root;
    // Queued presses and mapping updates hold this weakly and do nothing
    // once the grabber is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>();

    bool m_wanted = false;
    Qt::Key m_key = Qt::Key_unknown;
    quint16 m_modifiers = 0;
    quint16 m_ignoredModifiers = 0; // lock bits, not part of m_modifiers
    QList<quint8> m_keycodes;
    QList<Grab> m_grabs;
    bool m_regrabPending = false;

    // Auto-repeat: a press while the key is held (detectable auto-repeat), or
    // one with the same time as the release just before it, is a repeat.
    bool m_held = false;
    quint8 m_lastReleaseKeycode = 0;
    quint32 m_lastReleaseTime = 0;
};
