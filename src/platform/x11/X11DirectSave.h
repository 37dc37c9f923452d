#pragma once

#include "platform/DirectSave.h"

#include <QByteArray>

struct xcb_connection_t;

// Reads and writes the XdndDirectSave0 property on the source window of the
// drag in progress: the window that its XDND messages came from (Chromium's
// is not the one that owns XdndSelection; GTK's, as in xarchiver, is), else
// the XdndSelection owner.
class X11DirectSave final : public DirectSave
{
public:
    explicit X11DirectSave(xcb_connection_t* connection);

    QString suggestedName() override;
    // Writes the URI (type text/plain, format 8); only local files are
    // accepted as targets.
    bool setTarget(const QUrl& file) override;

    // Decodes a property's bytes by its type: Latin-1 for STRING, UTF-8 for
    // UTF8_STRING and text/plain, or the charset that a "text/plain;charset="
    // type names. Answers a null string for any other type.
    static QString decodeName(const QByteArray& type, const QByteArray& bytes);

    // Starts noting the source window of each XDND message that reaches
    // this program, with a native event filter installed once.
    static void followDrags();

private:
    // The window that holds the XdndDirectSave0 property (0: none).
    quint32 propertyWindow();

    xcb_connection_t* m_connection;
    quint32 m_window = 0;
};
