#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// Reads the desktop's clipboard without ever waiting on the UI thread: the
// clipboard belongs to another program, which may answer slowly, never, or
// with far more than asked. Formats are MIME names as Qt's own QMimeData
// gives them (X11: UTF8_STRING, STRING and TEXT are "text/plain").
//
// The formats on offer are kept current as the clipboard changes hands, so
// that menus can ask at any time. A read runs in the background and ends on
// the UI thread with what it got or why it got nothing.
class ClipboardReader : public QObject
{
    Q_OBJECT
public:
    // Limits that bound what an owner can make Kavo do.
    static constexpr int stallMs = 2000; // no answer, no new data: given up
    static constexpr int overallMs = 15000; // one whole read
    static constexpr qint64 maxBytes = qint64(64) * 1000 * 1000; // all formats of one read
    static constexpr int maxFormats = 512; // looked at in one offer

    enum class Failure {
        None,
        Empty, // no owner, or one that offers nothing
        Stalled, // the owner stopped answering
        TooSlow, // the read took longer than overallMs
        TooLarge, // more than maxBytes
    };
    struct Result
    {
        Failure failure = Failure::None;
        QStringList offered; // every format the owner listed
        QList<QPair<QString, QByteArray>> data; // the chosen formats that came, in order
    };
    // Given what the owner offers, the formats to read, in that order (it
    // runs on the reader's own thread).
    using Choice = std::function<QStringList(const QStringList& offered)>;

    // The formats the clipboard offers now (empty when it has no owner, or
    // before its owner has said).
    virtual QStringList formats() const = 0;
    // Asks the owner what it offers now, lets `choose` pick, reads those;
    // `done` runs on the UI thread unless `context` has gone by then.
    virtual void read(Choice choose, QObject* context, std::function<void(const Result&)> done) = 0;

    // The one reader of the process: the X11 one on the xcb platform (a
    // connection and thread of its own), else one over Qt's clipboard.
    static ClipboardReader* shared();

Q_SIGNALS:
    // formats() changed.
    void formatsChanged();
};
