#include "model/ShelfJournal.h"

#include "core/StateFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ShelfJournal {

namespace {

constexpr int version = 1;

QString tr(const char* text) { return QCoreApplication::translate("ShelfJournal", text); }

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Paths are bytes, JSON strings are Unicode: a path is kept percent-encoded,
// "/" as it is, so that any name survives and the file stays readable.
QString encodePath(const QByteArray& path) { return QString::fromLatin1(path.toPercentEncoding("/")); }

QJsonObject encodeShelf(const Shelf& shelf)
{
    QJsonArray items;
    for (const Item& item : shelf.items) {
        QJsonObject o{{QStringLiteral("path"), encodePath(item.path)}};
        if (item.temporary)
            o.insert(QStringLiteral("temporary"), true);
        items.append(o);
    }
    const QRect& f = shelf.frame;
    return {{QStringLiteral("frame"), QJsonArray{f.x(), f.y(), f.width(), f.height()}},
            {QStringLiteral("mode"), shelf.listMode ? QStringLiteral("list") : QStringLiteral("stack")},
            {QStringLiteral("items"), items}};
}

bool isCoordinate(const QJsonValue& v, int low)
{
    return v.isDouble() && v.toDouble() == double(v.toInt()) && v.toInt() >= low &&
           v.toInt() <= maxCoordinate && v.toInt() >= -maxCoordinate;
}

bool decodeFrame(const QJsonValue& value, QRect* frame)
{
    const QJsonArray a = value.toArray();
    if (!value.isArray() || a.size() != 4 || !isCoordinate(a[0], -maxCoordinate) ||
        !isCoordinate(a[1], -maxCoordinate) || !isCoordinate(a[2], 1) || !isCoordinate(a[3], 1))
        return false;
    *frame = QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
    return true;
}

bool decodeItem(const QJsonValue& value, Item* item, QString* why)
{
    const QJsonObject o = value.toObject();
    const QJsonValue path = o.value(QStringLiteral("path"));
    const QJsonValue temporary = o.value(QStringLiteral("temporary"));
    if (!value.isObject() || !path.isString() || !(temporary.isUndefined() || temporary.isBool())) {
        *why = tr("an item is not a path with its flag");
        return false;
    }
    const QString text = path.toString();
    if (text.size() > 3 * maxPathBytes) {
        *why = tr("a path is too long");
        return false;
    }
    item->path = QByteArray::fromPercentEncoding(text.toLatin1());
    item->temporary = temporary.toBool();
    if (item->path.size() > maxPathBytes) {
        *why = tr("a path is too long");
        return false;
    }
    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii || !item->path.startsWith('/') || item->path.contains('\0')) {
        *why = tr("a path is not an absolute file path");
        return false;
    }
    return true;
}

} // namespace

QString path() { return StateFolder::path() + QStringLiteral("/shelves.json"); }

QByteArray encode(const QList<Shelf>& shelves)
{
    QJsonArray list;
    for (const Shelf& shelf : shelves) {
        if (!shelf.items.isEmpty())
            list.append(encodeShelf(shelf));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), version},
                                     {QStringLiteral("shelves"), list}})
        .toJson(QJsonDocument::Compact);
}

bool decode(const QByteArray& bytes, QList<Shelf>* shelves, QString* why)
{
    shelves->clear();
    if (bytes.size() > maxFileBytes) {
        *why = tr("the journal is too large");
        return false;
    }
    // Each shelf and item is an object: counting the braces first bounds what
    // the parser builds, however the file is made.
    if (bytes.count('{') > maxItems + maxShelves + 1) {
        *why = tr("the journal holds too many items");
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *why = tr("the journal is not JSON");
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("version")) != version ||
        !root.value(QStringLiteral("shelves")).isArray()) {
        *why = tr("the journal is not a list of shelves");
        return false;
    }
    const QJsonArray list = root.value(QStringLiteral("shelves")).toArray();
    if (list.size() > maxShelves) {
        *why = tr("the journal holds too many shelves");
        return false;
    }
    qsizetype total = 0;
    for (const QJsonValue& value : list) {
        const QJsonObject o = value.toObject();
        const QJsonValue mode = o.value(QStringLiteral("mode"));
        const QJsonValue items = o.value(QStringLiteral("items"));
        Shelf shelf;
        if (!value.isObject() || !decodeFrame(o.value(QStringLiteral("frame")), &shelf.frame) ||
            !(mode == QStringLiteral("stack") || mode == QStringLiteral("list")) ||
            !items.isArray()) {
            *why = tr("a shelf has no frame, mode or items");
            return false;
        }
        shelf.listMode = mode == QStringLiteral("list");
        const QJsonArray array = items.toArray();
        total += array.size();
        if (total > maxItems) {
            *why = tr("the journal holds too many items");
            return false;
        }
        shelf.items.reserve(array.size());
        for (const QJsonValue& v : array) {
            Item item;
            if (!decodeItem(v, &item, why))
                return false;
            shelf.items << item;
        }
        *shelves << shelf;
    }
    return true;
}

QString write(const QString& file, const QByteArray& bytes,
              const std::function<void(WriteStep)>& step)
{
    const QByteArray target = QFile::encodeName(file);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : QByteArray("/");
    const QByteArray name = target.mid(slash + 1);
    const QByteArray temp = '.' + name + ".new";
    const auto tell = [&](WriteStep s) {
        if (step)
            step(s);
    };

    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return systemError(errno);
    // A temporary file left by a write that was cut short goes first.
    ::unlinkat(dir, temp.constData(), 0);
    const int fd = ::openat(dir, temp.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0)
        tell(WriteStep::Opened);
    // In pieces, so that a big journal is never one huge write.
    constexpr qsizetype piece = 1024 * 1024;
    for (qsizetype done = 0; !error && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done,
                                  size_t(std::min(bytes.size() - done, piece)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
        if (done < bytes.size())
            tell(WriteStep::PartWritten);
    }
    if (!error)
        tell(WriteStep::Written);
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (fd >= 0 && ::close(fd) != 0 && !error)
        error = errno;
    if (!error)
        tell(WriteStep::Synced);
    if (!error && ::renameat(dir, temp.constData(), dir, name.constData()) != 0)
        error = errno;
    if (error) {
        ::unlinkat(dir, temp.constData(), 0);
        ::close(dir);
        return systemError(error);
    }
    tell(WriteStep::Renamed);
    // The rename itself lasts only once the folder is on the disk.
    if (::fsync(dir) != 0)
        error = errno;
    ::close(dir);
    return error ? systemError(error) : QString();
}

ReadResult read(const QString& file)
{
    ReadResult result;
    const QByteArray name = QFile::encodeName(file);
    // Never a FIFO or a device: opened without waiting, then looked at.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return result;
    QByteArray bytes;
    struct stat st = {};
    bool damaged = true;
    if (fd < 0) {
        result.problem = systemError(errno);
        damaged = false;
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.problem = tr("the journal is not a regular file");
    } else if (st.st_size > maxFileBytes) {
        result.problem = tr("the journal is too large");
    } else {
        // Read to the end, never past the limit, whatever the size said.
        bytes.resize(qsizetype(st.st_size) + 1);
        qsizetype done = 0;
        for (;;) {
            if (done == bytes.size())
                bytes.resize(std::min<qsizetype>(bytes.size() * 2, maxFileBytes + 1));
            const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                result.problem = systemError(errno);
                damaged = false;
            }
            if (n <= 0 || (done += n) > maxFileBytes)
                break;
        }
        bytes.truncate(done);
    }
    if (fd >= 0)
        ::close(fd);
    if (result.problem.isEmpty())
        decode(bytes, &result.shelves, &result.problem);
    if (!result.problem.isEmpty()) {
        result.shelves.clear();
        // Moved aside, so that the next start does not meet it again and the
        // user can still look at it.
        if (damaged)
            ::rename(name.constData(), QByteArray(name + ".bad").constData());
        return result;
    }
    for (auto shelf = result.shelves.begin(); shelf != result.shelves.end();) {
        shelf->items.removeIf([](const Item& item) {
            struct stat st = {};
            return ::stat(item.path.constData(), &st) != 0;
        });
        shelf = shelf->items.isEmpty() ? result.shelves.erase(shelf) : shelf + 1;
    }
    return result;
}

} // namespace ShelfJournal
