#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// What the file system says about one held file, gathered off the UI thread:
// a file on a stalled network or FUSE mount may take forever to answer, and
// the shelf must stay usable meanwhile.
struct FileFacts
{
    bool exists = false;
    bool isDir = false;
    qint64 size = 0; // bytes of a regular file; 0 for anything else
    // The file's MIME type: from its name where that is unambiguous, else
    // from its first bytes; "inode/…" types for folders and special files;
    // empty when the file is gone.
    QString mimeType;
    // Which file it is: another file put in its place changes it (a rename
    // of the file itself does not).
    struct Identity
    {
        quint64 device = 0, inode = 0;
        bool operator==(const Identity&) const = default;
    } identity;

    // Equal when they tell the same of the file (what a shelf shows of
    // it); the identity is not compared.
    bool operator==(const FileFacts& o) const
    {
        return exists == o.exists && isDir == o.isDir && size == o.size && mimeType == o.mimeType;
    }
    // Whether they tell of the same contents: the same file, of the same
    // size (whatever the type told of it). A write that keeps the size is
    // not told apart by its time: a file system that cannot be trusted (a
    // stalled network mount among them) may give a new modification time
    // on every look, and each new read of contents there would hold a
    // thread for good.
    bool sameContents(const FileFacts& o) const
    {
        return exists == o.exists && isDir == o.isDir && size == o.size && identity == o.identity;
    }

    // Asks the file system, on the calling thread (which may block). With
    // `sniff` false the contents are never read: a name that does not tell
    // the type leaves it at "application/octet-stream".
    static FileFacts probe(const QByteArray& path, bool sniff = true);
    // Whether the type came from a name that could not tell it.
    bool typeIsUnknown() const;
    // The type read from the contents of a regular file.
    static QString typeFromContents(const QByteArray& path);

    // Up to `limit` bytes from the start of a file (nothing when it cannot
    // be opened). Readers of file contents on worker threads read through
    // this, then decode from memory: Qt's image readers and MIME database
    // hold locks of the whole process while they read, so a read that never
    // returns inside them would stop the UI thread too.
    static std::optional<QByteArray> read(const QByteArray& path, qint64 limit);
};

// Gathers facts on the background pool (so that a file that never answers
// holds up nothing but its own request) and hands them to the UI thread.
namespace FileProbe {

// Called on the main thread, in a later turn of the event loop, with the
// facts of every path, in order: first with types told by the names, and,
// when `sniff` is set and some name did not tell, once more when the
// contents have been read (so a file whose reads never return holds back
// only its own type). May be destroyed on a worker thread: capture only
// thread-safe handles such as std::weak_ptr.
using Callback = std::function<void(const QList<FileFacts>& facts)>;

void request(const QList<QByteArray>& paths, bool sniff, Callback done);

} // namespace FileProbe
