#include "platform/x11/X11DirectSave.h"

#include "platform/x11/X11Util.h"

#include <QStringDecoder>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Longest property read, in 32-bit units (64 KiB); a file name is far shorter.
constexpr uint32_t maxPropertyLength = 16384;

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

quint32 X11DirectSave::dragSource() const
{
    const quint32 selection = X11Util::atom("XdndSelection");
    if (selection == 0)
        return 0;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection), nullptr);
    const quint32 owner = reply ? reply->owner : 0;
    std::free(reply);
    return owner;
}

QString X11DirectSave::suggestedName()
{
    const quint32 property = X11Util::atom("XdndDirectSave0");
    const quint32 source = dragSource();
    if (property == 0 || source == 0)
        return {};
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, source, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, maxPropertyLength),
                               nullptr);
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
    const quint32 source = dragSource();
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
