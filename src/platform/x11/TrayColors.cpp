#include "platform/x11/TrayColors.h"

#include "platform/x11/X11Util.h"

#include <QApplication>
#include <QByteArray>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace TrayColors {
namespace {

// The tray's manager window: the owner of _NET_SYSTEM_TRAY_S<screen>.
xcb_window_t trayManager(xcb_connection_t* c)
{
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(X11Util::screenNumber());
    const quint32 selection = X11Util::atom(name.constData());
    if (selection == 0)
        return XCB_NONE;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

// _NET_SYSTEM_TRAY_COLORS: 12 cardinals, the first three the normal
// foreground's red, green and blue in 16 bits each.
std::optional<QColor> announced(xcb_connection_t* c, xcb_window_t tray)
{
    const quint32 property = X11Util::atom("_NET_SYSTEM_TRAY_COLORS");
    if (property == 0)
        return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, tray, property, XCB_ATOM_CARDINAL, 0, 12), nullptr);
    std::optional<QColor> color;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 12) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        color = QColor::fromRgb(int(v[0] >> 8), int(v[1] >> 8), int(v[2] >> 8));
    }
    std::free(reply);
    return color;
}

// The panel's colour around the icon: pixels of the top-level window that
// holds the icon, just beside the icon (its own pixels are ours).
std::optional<QColor> panelBehind(xcb_connection_t* c, xcb_window_t icon)
{
    xcb_window_t panel = icon;
    for (;;) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, panel), nullptr);
        if (!tree)
            return std::nullopt;
        const xcb_window_t parent = tree->parent, root = tree->root;
        std::free(tree);
        if (parent == root || parent == XCB_NONE)
            break;
        panel = parent;
    }
    if (panel == icon)
        return std::nullopt; // not embedded
    xcb_get_geometry_reply_t* iconGeometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, icon), nullptr);
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, icon, panel, 0, 0), nullptr);
    xcb_get_geometry_reply_t* panelGeometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, panel), nullptr);
    std::optional<QColor> color;
    if (iconGeometry && at && panelGeometry) {
        const int w = iconGeometry->width, h = iconGeometry->height;
        const int pw = panelGeometry->width, ph = panelGeometry->height;
        // A column just left of the icon, else just right of it.
        int x = at->dst_x - 1;
        if (x < 0)
            x = at->dst_x + w;
        const int y = std::clamp(at->dst_y + h / 2, 0, ph - 1);
        if (x >= 0 && x < pw) {
            xcb_get_image_reply_t* image = xcb_get_image_reply(
                c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, panel, int16_t(x), int16_t(y), 1, 1,
                                 ~0u),
                nullptr);
            if (image && (image->depth == 24 || image->depth == 32) &&
                xcb_get_image_data_length(image) >= 4) {
                const uint8_t* p = xcb_get_image_data(image); // BGRX
                color = inkFor(QColor(p[2], p[1], p[0]));
            }
            std::free(image);
        }
    }
    std::free(iconGeometry);
    std::free(at);
    std::free(panelGeometry);
    return color;
}

} // namespace

QColor inkFor(const QColor& background)
{
    return background.lightness() < 128 ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x2e, 0x34, 0x36);
}

std::optional<QColor> foreground(const QWidget* icon)
{
    xcb_connection_t* c = X11Util::connection();
    if (!c)
        return std::nullopt;
    const xcb_window_t tray = trayManager(c);
    if (tray == XCB_NONE)
        return std::nullopt;
    if (const std::optional<QColor> color = announced(c, tray))
        return color;
    if (!icon || !icon->windowHandle())
        return std::nullopt;
    return panelBehind(c, xcb_window_t(icon->winId()));
}

QWidget* trayIconWindow()
{
    // Qt's own window class for a tray icon on X11.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") == 0)
            return w;
    }
    return nullptr;
}

} // namespace TrayColors
