#include "platform/x11/X11KeyGrabber.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcKeys, "kavo.keys", QtInfoMsg)

// Every grabber of the process, so that two of them cannot share one
// combination: the server would let the same client grab it twice, and the
// first ungrab would then silently end the other's.
std::vector<const X11KeyGrabber*>& grabbers()
{
    static std::vector<const X11KeyGrabber*> all;
    return all;
}

// The bits of the modifiers (Mod1..Mod5, by their position in the modifier
// map) that hold any keycode producing `keysym`.
quint16 modifierBitsOf(xcb_key_symbols_t* symbols, const xcb_get_modifier_mapping_reply_t* map,
                       xcb_keysym_t keysym)
{
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!codes)
        return 0;
    quint16 bits = 0;
    const int perModifier = map->keycodes_per_modifier;
    const xcb_keycode_t* mapped = xcb_get_modifier_mapping_keycodes(map);
    for (int mod = 0; mod < 8; ++mod) {
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = mapped[mod * perModifier + k];
            if (code == 0)
                continue;
            for (const xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c) {
                if (*c == code)
                    bits |= quint16(1u << mod);
            }
        }
    }
    std::free(codes);
    return bits;
}

constexpr quint16 modifierBits = 0xff; // Shift, Lock, Control, Mod1..Mod5

} // namespace

X11KeyGrabber::X11KeyGrabber(xcb_connection_t* connection, quint32 root)
    : m_connection(connection), m_root(root)
{
    grabbers().push_back(this);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabber::~X11KeyGrabber()
{
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    ungrab();
    std::erase(grabbers(), this);
}

bool X11KeyGrabber::grab(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    ungrab();
    m_key = key;
    m_modifiers = modifierMask(modifiers);
    m_wanted = true;
    return grabKeys();
}

void X11KeyGrabber::ungrab()
{
    m_wanted = false;
    releaseKeys();
}

bool X11KeyGrabber::grabKeys()
{
    const quint32 keysym = keysymFor(m_key);
    if (keysym == 0 || xcb_connection_has_error(m_connection))
        return false;

    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
    if (!symbols)
        return false;
    QList<quint8> keycodes;
    if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym)) {
        for (const xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c) {
            if (!keycodes.contains(*c))
                keycodes.append(*c);
        }
        std::free(codes);
    }
    quint16 numLock = 0;
    quint16 scrollLock = 0;
    if (xcb_get_modifier_mapping_reply_t* map = xcb_get_modifier_mapping_reply(
            m_connection, xcb_get_modifier_mapping(m_connection), nullptr)) {
        numLock = modifierBitsOf(symbols, map, XK_Num_Lock);
        scrollLock = modifierBitsOf(symbols, map, XK_Scroll_Lock);
        std::free(map);
    }
    xcb_key_symbols_free(symbols);
    if (keycodes.isEmpty())
        return false;

    const QList<quint16> variants =
        lockVariants(m_modifiers, XCB_MOD_MASK_LOCK, numLock, scrollLock);
    QList<Grab> planned;
    for (quint8 keycode : keycodes) {
        for (quint16 mods : variants)
            planned.append({keycode, mods});
    }
    if (heldElsewhere(planned)) {
        qCDebug(lcKeys) << "key combination already grabbed in this process";
        return false;
    }

    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(size_t(planned.size()));
    for (const Grab& g : planned) {
        cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, g.modifiers, g.keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    // The first check waits for one round trip; the later ones find their
    // answers already there.
    bool refused = false;
    for (size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookies[i])) {
            qCDebug(lcKeys) << "GrabKey refused, error" << error->error_code;
            std::free(error);
            refused = true;
        } else {
            m_grabs.append(planned[qsizetype(i)]);
        }
    }
    if (refused) {
        releaseKeys();
        return false;
    }
    m_keycodes = keycodes;
    m_ignoredModifiers = quint16((XCB_MOD_MASK_LOCK | numLock | scrollLock) & ~m_modifiers);
    m_held = false;
    return true;
}

void X11KeyGrabber::releaseKeys()
{
    if (!m_grabs.isEmpty() && !xcb_connection_has_error(m_connection)) {
        for (const Grab& g : std::as_const(m_grabs))
            xcb_ungrab_key(m_connection, g.keycode, m_root, g.modifiers);
        xcb_flush(m_connection);
    }
    m_grabs.clear();
    m_keycodes.clear();
    m_held = false;
}

bool X11KeyGrabber::heldElsewhere(const QList<Grab>& grabs) const
{
    for (const X11KeyGrabber* other : grabbers()) {
        if (other == this)
            continue;
        for (const Grab& g : grabs) {
            if (other->m_grabs.contains(g))
                return true;
        }
    }
    return false;
}

bool X11KeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;

    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        // A mapping change comes as a burst of notifications: grab again once,
        // after the burst, for the keycodes of the new mapping.
        if (m_wanted && mapping->request != XCB_MAPPING_POINTER && !m_regrabPending) {
            m_regrabPending = true;
            QTimer::singleShot(
                0, QCoreApplication::instance(), [this, alive = std::weak_ptr<int>(m_alive)] {
                    if (!alive.lock())
                        return;
                    m_regrabPending = false;
                    if (!m_wanted)
                        return;
                    qCDebug(lcKeys) << "grabbing again after a keyboard mapping change";
                    releaseKeys();
                    if (!grabKeys())
                        qCWarning(lcKeys) << "the global key could not be grabbed again after a "
                                             "keyboard mapping change";
                });
        }
        return false;
    }

    if ((type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) || m_grabs.isEmpty())
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (!m_keycodes.contains(key->detail))
        return false;

    if (type == XCB_KEY_RELEASE) {
        m_held = false;
        m_lastReleaseKeycode = key->detail;
        m_lastReleaseTime = key->time;
        return false;
    }
    if ((key->state & modifierBits & ~m_ignoredModifiers) != m_modifiers)
        return false;
    const bool repeat =
        m_held || (key->detail == m_lastReleaseKeycode && key->time == m_lastReleaseTime);
    m_held = true;
    if (!repeat) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive = std::weak_ptr<int>(m_alive), time = key->time] {
                if (alive.lock() && onPressed) {
                    // The callback may replace itself or destroy the grabber.
                    const std::function<void(quint32)> pressed = onPressed;
                    pressed(time);
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

quint16 X11KeyGrabber::modifierMask(Qt::KeyboardModifiers modifiers)
{
    quint16 mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

QList<quint16> X11KeyGrabber::lockVariants(quint16 modifiers, quint16 capsLock, quint16 numLock,
                                           quint16 scrollLock)
{
    const quint16 locks[] = {capsLock, numLock, scrollLock};
    QList<quint16> variants;
    for (unsigned subset = 0; subset < 8; ++subset) {
        quint16 mods = modifiers;
        for (unsigned i = 0; i < 3; ++i) {
            if (subset & (1u << i))
                mods |= locks[i];
        }
        if (!variants.contains(mods))
            variants.append(mods);
    }
    return variants;
}

quint32 X11KeyGrabber::keysymFor(Qt::Key key)
{
    const int code = int(key);
    if (code >= Qt::Key_A && code <= Qt::Key_Z)
        return quint32(code - Qt::Key_A + XK_a);
    // Latin-1 accented capitals have their lower-case keysym 0x20 higher.
    if (code >= Qt::Key_Agrave && code <= Qt::Key_THORN && code != Qt::Key_multiply)
        return quint32(code + 0x20);
    if ((code >= Qt::Key_Space && code <= Qt::Key_AsciiTilde) ||
        (code >= Qt::Key_nobreakspace && code <= Qt::Key_ydiaeresis))
        return quint32(code);
    if (code >= Qt::Key_F1 && code <= Qt::Key_F35)
        return quint32(code - Qt::Key_F1 + XK_F1);

    struct Pair
    {
        Qt::Key key;
        quint32 keysym;
    };
    static constexpr Pair table[] = {
        {Qt::Key_Escape, XK_Escape},
        {Qt::Key_Tab, XK_Tab},
        {Qt::Key_Backtab, XK_ISO_Left_Tab},
        {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},
        {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},
        {Qt::Key_Pause, XK_Pause},
        {Qt::Key_Print, XK_Print},
        {Qt::Key_SysReq, XK_Sys_Req},
        {Qt::Key_Clear, XK_Clear},
        {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End},
        {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},
        {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},
        {Qt::Key_PageUp, XK_Prior},
        {Qt::Key_PageDown, XK_Next},
        {Qt::Key_CapsLock, XK_Caps_Lock},
        {Qt::Key_NumLock, XK_Num_Lock},
        {Qt::Key_ScrollLock, XK_Scroll_Lock},
        {Qt::Key_Menu, XK_Menu},
        {Qt::Key_Help, XK_Help},
    };
    for (const Pair& p : table) {
        if (p.key == key)
            return p.keysym;
    }
    return 0;
}
