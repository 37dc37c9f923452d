#include "platform/TrayColors.h"

#include "platform/X11Util.h"

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>

namespace TrayColors {
namespace {

// The tray's manager window: the owner of _NET_SYSTEM_TRAY_S<screen>.
xcb_window_t trayManager(xcb_connection_t* c)
{
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
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

// The average colour of a few pixels near the tray's top-left corner, where
// its background shows.
std::optional<QColor> background(xcb_connection_t* c, xcb_window_t tray)
{
    constexpr uint16_t side = 4;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, tray, 1, 1, side, side, ~0u), nullptr);
    std::optional<QColor> color;
    if (image && (image->depth == 24 || image->depth == 32) &&
        xcb_get_image_data_length(image) >= int(side * side * 4)) {
        const uint8_t* p = xcb_get_image_data(image);
        int r = 0, g = 0, b = 0;
        for (int i = 0; i < side * side; ++i) { // BGRX, as the server's usual 32-bit layout
            b += p[4 * i];
            g += p[4 * i + 1];
            r += p[4 * i + 2];
        }
        const int n = side * side;
        color = inkFor(QColor(r / n, g / n, b / n));
    }
    std::free(image);
    return color;
}

} // namespace

QColor inkFor(const QColor& background)
{
    return background.lightness() < 128 ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x2e, 0x34, 0x36);
}

std::optional<QColor> foreground()
{
    xcb_connection_t* c = X11Util::connection();
    if (!c)
        return std::nullopt;
    const xcb_window_t tray = trayManager(c);
    if (tray == XCB_NONE)
        return std::nullopt;
    if (const std::optional<QColor> color = announced(c, tray))
        return color;
    return background(c, tray);
}

} // namespace TrayColors
