#include "platform/x11/X11DirectSave.h"

#include "platform/x11/X11Util.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QStringDecoder>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Longest property read, in 32-bit units (64 KiB); a file name is far shorter.
constexpr uint32_t maxPropertyLength = 16384;

// The source window named by the latest XDND message that reached this
// program: XdndEnter, XdndPosition and XdndDrop all carry it first.
quint32 g_messageSource = 0;

class XdndMessages final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (m->format == 32 && m->type != 0 &&
            (m->type == m_enter || m->type == m_position || m->type == m_drop))
            g_messageSource = m->data.data32[0];
        // Qt goes on to handle the drag itself.
        return false;
    }

private:
    const quint32 m_enter = X11Util::atom("XdndEnter");
    const quint32 m_position = X11Util::atom("XdndPosition");
    const quint32 m_drop = X11Util::atom("XdndDrop");
};

QByteArray atomName(xcb_connection_t* c, quint32 atom)
{
    xcb_get_atom_name_reply_t* reply =
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr);
    QByteArray name;
    if (reply)
        name = QByteArray(xcb_get_atom_name_name(reply), xcb_get_atom_name_name_length(reply));
    std::free(reply);
    return name;
}

} // namespace

X11DirectSave::X11DirectSave(xcb_connection_t* connection) : m_connection(connection) {}

void X11DirectSave::followDrags()
{
    static XdndMessages* messages = nullptr;
    if (!messages) {
        messages = new XdndMessages;
        QCoreApplication::instance()->installNativeEventFilter(messages);
    }
}

quint32 X11DirectSave::propertyWindow()
{
    if (m_window != 0)
        return m_window;
    const quint32 property = X11Util::atom("XdndDirectSave0");
    const quint32 selection = X11Util::atom("XdndSelection");
    if (property == 0 || selection == 0)
        return 0;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection), nullptr);
    const quint32 candidates[] = {g_messageSource, owner ? owner->owner : 0};
    std::free(owner);
    for (const quint32 window : candidates) {
        if (window == 0)
            continue;
        // Only whether it is there; a window that has gone answers an error.
        xcb_generic_error_t* error = nullptr;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
            &error);
        const bool present = reply && reply->type != XCB_NONE;
        std::free(reply);
        std::free(error);
        if (present)
            return m_window = window;
    }
    return 0;
}

QString X11DirectSave::suggestedName()
{
    const quint32 property = X11Util::atom("XdndDirectSave0");
    const quint32 source = propertyWindow();
    if (property == 0 || source == 0)
        return {};
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, source, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, maxPropertyLength),
                               &error);
    std::free(error);
    if (!reply)
        return {};
    QString name;
    if (reply->format == 8 && reply->type != XCB_NONE) {
        const QByteArray bytes(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        QByteArray type;
        if (reply->type == XCB_ATOM_STRING)
            type = "STRING";
        else if (reply->type == X11Util::atom("UTF8_STRING"))
            type = "UTF8_STRING";
        else if (reply->type == X11Util::atom("text/plain"))
            type = "text/plain";
        else
            type = atomName(m_connection, reply->type);
        name = decodeName(type, bytes);
    }
    std::free(reply);
    return name;
}

bool X11DirectSave::setTarget(const QUrl& file)
{
    if (!file.isLocalFile())
        return false;
    const quint32 property = X11Util::atom("XdndDirectSave0");
    const quint32 type = X11Util::atom("text/plain");
    const quint32 source = propertyWindow();
    if (property == 0 || type == 0 || source == 0)
        return false;
    const QByteArray uri = file.toEncoded();
    xcb_void_cookie_t cookie =
        xcb_change_property_checked(m_connection, XCB_PROP_MODE_REPLACE, source, property, type, 8,
                                    uint32_t(uri.size()), uri.constData());
    if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
        // The source window went away (BadWindow) or the server ran out of room.
        std::free(error);
        return false;
    }
    return true;
}

QString X11DirectSave::decodeName(const QByteArray& type, const QByteArray& bytes)
{
    // A name ends at the first NUL, which some sources include.
    QByteArray text = bytes;
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);

    if (type == "STRING")
        return QString::fromLatin1(text);
    if (type == "UTF8_STRING" || type == "text/plain")
        return QString::fromUtf8(text);
    if (type.startsWith("text/plain;")) {
        QByteArray charset;
        for (const QByteArray& parameter : type.mid(11).split(';')) {
            const QByteArray p = parameter.trimmed();
            if (p.toLower().startsWith("charset="))
                charset = p.mid(8).trimmed();
        }
        if (charset.startsWith('"') && charset.endsWith('"') && charset.size() >= 2)
            charset = charset.mid(1, charset.size() - 2);
        if (charset.isEmpty())
            return QString::fromUtf8(text);
        QStringDecoder decoder(charset.constData());
        if (!decoder.isValid())
            return QString::fromUtf8(text);
        return decoder.decode(text);
    }
    return {};
}
