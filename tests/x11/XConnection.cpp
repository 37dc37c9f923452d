#include "XConnection.h"

#include "TestEnvironment.h"

#include "platform/x11/X11Util.h"

#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

namespace {

// A reply of xcb, freed when it goes.
template <class T> std::unique_ptr<T, decltype(&std::free)> owned(T* reply)
{
    return {reply, &std::free};
}

} // namespace

// Kavo's own X11 helpers reach the display through the test's Qt connection.
XConnection::XConnection() : m_c(X11Util::connection()), m_root(X11Util::rootWindow()) {}

// The connection is the process's: keys taken through this object go with it.
XConnection::~XConnection()
{
    if (m_grabbedKeys) {
        xcb_ungrab_key(m_c, XCB_GRAB_ANY, m_root, XCB_MOD_MASK_ANY);
        xcb_flush(m_c);
    }
}

xcb_atom_t XConnection::atom(const char* name) const
{
    return X11Util::atom(name);
}

xcb_window_t XConnection::inputFocus() const
{
    const auto reply = owned(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    return reply ? reply->focus : XCB_NONE;
}

xcb_window_t XConnection::selectionOwner(const char* selection) const
{
    const auto reply = owned(xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, atom(selection)), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

QByteArray XConnection::property(xcb_window_t window, xcb_atom_t property) const
{
    const auto reply = owned(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get())); // in bytes
}

std::optional<quint32> XConnection::property32(xcb_window_t window, xcb_atom_t name) const
{
    const QByteArray value = property(window, name);
    if (value.size() < 4)
        return std::nullopt;
    return *reinterpret_cast<const quint32*>(value.constData());
}

std::optional<ProbedWindow> XConnection::describe(xcb_window_t window) const
{
    const auto attributes =
        owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
    const auto geometry = owned(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
    const auto origin = owned(xcb_translate_coordinates_reply(
        m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
    // A window may be gone by the time it is asked about.
    if (!attributes || !geometry || !origin)
        return std::nullopt;
    QByteArray title = property(window, atom("_NET_WM_NAME"));
    if (title.isEmpty())
        title = property(window, XCB_ATOM_WM_NAME);
    const QList<QByteArray> wmClass = property(window, XCB_ATOM_WM_CLASS).split('\0');
    return ProbedWindow{window,
                        QString::fromUtf8(title),
                        QString::fromLocal8Bit(wmClass.value(0)),
                        QString::fromLocal8Bit(wmClass.value(1)),
                        QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height),
                        attributes->map_state == XCB_MAP_STATE_VIEWABLE,
                        bool(attributes->override_redirect)};
}

QList<ProbedWindow> XConnection::descendants(xcb_window_t window) const
{
    const auto tree = owned(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
    QList<ProbedWindow> out;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
        if (const auto info = describe(child))
            out << *info;
        if (window != m_root)
            out << descendants(child);
    }
    return out;
}

std::optional<ProbedWindow>
XConnection::waitForWindow(const std::function<bool(const ProbedWindow&)>& match, int timeoutMs) const
{
    std::optional<ProbedWindow> found;
    TestEnv::waitUntil(
        [&] {
            for (const ProbedWindow& w : topLevels()) {
                if (match(w))
                    found = w;
            }
            return found.has_value();
        },
        timeoutMs);
    return found;
}

QImage XConnection::image(const ProbedWindow& window) const
{
    const QSize size = window.geometry.size();
    const auto reply = owned(xcb_get_image_reply(
        m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, 0, 0, uint16_t(size.width()),
                           uint16_t(size.height()), ~0u),
        nullptr));
    if (!reply || xcb_get_image_data_length(reply.get()) < size.width() * size.height() * 4)
        return {};
    // 32 bits a pixel, BGRX in memory: Qt's RGB32 on a little-endian host.
    return QImage(xcb_get_image_data(reply.get()), size.width(), size.height(), size.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

QPoint XConnection::pointer() const
{
    const auto reply = owned(xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr));
    return reply ? QPoint(reply->root_x, reply->root_y) : QPoint();
}

quint16 XConnection::pointerMask() const
{
    const auto reply = owned(xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr));
    return reply ? reply->mask : 0;
}

bool XConnection::grabKey(quint32 keysym, quint16 modifiers) const
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_c);
    xcb_keycode_t* codes = symbols ? xcb_key_symbols_get_keycode(symbols, keysym) : nullptr;
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    if (code == 0) // 0 would grab every key
        return false;
    const auto error = owned(xcb_request_check(
        m_c, xcb_grab_key_checked(m_c, 1, m_root, modifiers, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    m_grabbedKeys = m_grabbedKeys || !error;
    return !error;
}
