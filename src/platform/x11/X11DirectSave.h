#pragma once

#include "platform/DirectSave.h"

#include <QByteArray>

struct xcb_connection_t;

// Reads and writes the XdndDirectSave0 property on the window that owns
// XdndSelection, which is the source of the drag in progress.
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

private:
    quint32 dragSource() const;

    xcb_connection_t* m_connection;
};
