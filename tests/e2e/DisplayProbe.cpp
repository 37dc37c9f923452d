#include "DisplayProbe.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cstdlib>
#include <cstring>

QByteArray DisplayProbe::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_x.get(), xcb_get_property(m_x.get(), 0, window, property, type, 0, 1024), nullptr);
    QByteArray value;
    if (reply && reply->format == 8)
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

xcb_window_t DisplayProbe::selectionOwner(const char* selection) const
{
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        m_x.get(), xcb_get_selection_owner(m_x.get(), m_x.atom(selection)), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

std::optional<ProbedWindow> DisplayProbe::describe(xcb_window_t window) const
{
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        m_x.get(), xcb_get_window_attributes(m_x.get(), window), nullptr);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(m_x.get(), xcb_get_geometry(m_x.get(), window), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        m_x.get(), xcb_translate_coordinates(m_x.get(), window, m_x.root(), 0, 0), nullptr);
    std::optional<ProbedWindow> result;
    if (attributes && geometry && origin) {
        ProbedWindow w;
        w.id = window;
        w.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        w.overrideRedirect = attributes->override_redirect;
        w.geometry = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        QByteArray title = property(window, m_x.atom("_NET_WM_NAME"), m_x.atom("UTF8_STRING"));
        if (title.isEmpty())
            title = property(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
        w.title = QString::fromUtf8(title);
        const QList<QByteArray> wmClass =
            property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
        w.instance = QString::fromLocal8Bit(wmClass.value(0));
        w.windowClass = QString::fromLocal8Bit(wmClass.value(1));
        result = w;
    }
    std::free(attributes);
    std::free(geometry);
    std::free(origin);
    return result;
}

namespace {

QList<xcb_window_t> childrenOf(xcb_connection_t* c, xcb_window_t window)
{
    QList<xcb_window_t> out;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
            out << children[i];
    }
    std::free(tree);
    return out;
}

} // namespace

QList<ProbedWindow> DisplayProbe::topLevels() const
{
    QList<ProbedWindow> out;
    for (xcb_window_t w : childrenOf(m_x.get(), m_x.root())) {
        // A window may be gone by the time it is asked about.
        if (const auto info = describe(w))
            out << *info;
    }
    return out;
}

QList<ProbedWindow> DisplayProbe::descendants(xcb_window_t window) const
{
    QList<ProbedWindow> out;
    for (xcb_window_t w : childrenOf(m_x.get(), window)) {
        if (const auto info = describe(w))
            out << *info;
        out << descendants(w);
    }
    return out;
}

std::optional<ProbedWindow>
DisplayProbe::waitForWindow(const std::function<bool(const ProbedWindow&)>& match, int timeoutMs,
                            bool deep) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<ProbedWindow> windows = deep ? descendants(m_x.root()) : topLevels();
        for (const ProbedWindow& w : windows) {
            if (match(w))
                return w;
        }
        if (deadline.hasExpired())
            return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

QImage DisplayProbe::image(const ProbedWindow& window) const
{
    const QSize size = window.geometry.size();
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        m_x.get(),
        xcb_get_image(m_x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, 0, 0, uint16_t(size.width()),
                      uint16_t(size.height()), ~0u),
        nullptr);
    QImage img;
    if (reply && (reply->depth == 24 || reply->depth == 32) &&
        xcb_get_image_data_length(reply) >= size.width() * size.height() * 4) {
        // 32 bits a pixel, BGRX in memory: Qt's RGB32 on a little-endian host.
        img = QImage(xcb_get_image_data(reply), size.width(), size.height(), size.width() * 4,
                     QImage::Format_RGB32)
                  .copy();
    }
    std::free(reply);
    return img;
}

QPoint DisplayProbe::pointer() const
{
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(m_x.get(), xcb_query_pointer(m_x.get(), m_x.root()), nullptr);
    const QPoint p = reply ? QPoint(reply->root_x, reply->root_y) : QPoint();
    std::free(reply);
    return p;
}

bool DisplayProbe::primaryButtonDown() const
{
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(m_x.get(), xcb_query_pointer(m_x.get(), m_x.root()), nullptr);
    const bool down = reply && (reply->mask & XCB_KEY_BUT_MASK_BUTTON_1);
    std::free(reply);
    return down;
}
