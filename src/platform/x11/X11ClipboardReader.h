#pragma once

#include "platform/ClipboardReader.h"

#include <QHash>

class QThread;

// The X11 clipboard (the CLIPBOARD selection), read on a connection and a
// thread of its own, so that an owner that answers slowly, never, or without
// end (INCR) holds up nothing but that thread, and only up to the limits of
// ClipboardReader. XFixes tells it of every change of owner; it then asks
// the new owner for its TARGETS at once, so formats() is current.
class X11ClipboardReader final : public ClipboardReader
{
    Q_OBJECT
public:
    X11ClipboardReader();
    ~X11ClipboardReader() override;

    QStringList formats() const override { return m_formats; }
    void read(Choice choose, QObject* context, std::function<void(const Result&)> done) override;

    class Worker;

private:
    void setFormats(const QStringList& formats);
    void finished(quint64 id, const Result& result);

    // A read on its way, and who waits for it.
    struct Pending
    {
        QPointer<QObject> context;
        bool hadContext = false;
        std::function<void(const Result&)> done;
    };

    QThread* m_thread;
    Worker* m_worker;
    QStringList m_formats;
    QHash<quint64, Pending> m_pending;
    quint64 m_lastId = 0;
};
