#include "core/FileFacts.h"

#include "core/Background.h"
#include "core/NativePath.h"

#include <QCoreApplication>
#include <QMimeDatabase>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString specialType(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("inode/directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("inode/fifo");
    if (S_ISSOCK(mode))
        return QStringLiteral("inode/socket");
    if (S_ISCHR(mode))
        return QStringLiteral("inode/chardevice");
    if (S_ISBLK(mode))
        return QStringLiteral("inode/blockdevice");
    return {};
}

const QMimeDatabase& mimeDatabase()
{
    static const QMimeDatabase db;
    return db;
}

} // namespace

FileFacts FileFacts::probe(const QByteArray& path, bool sniff)
{
    FileFacts facts;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return facts;
    facts.exists = true;
    facts.identity = {quint64(st.st_dev), quint64(st.st_ino)};
    facts.isDir = S_ISDIR(st.st_mode);
    facts.mimeType = specialType(st.st_mode);
    if (!S_ISREG(st.st_mode))
        return facts;
    facts.size = st.st_size;

    const QList<QMimeType> byName =
        mimeDatabase().mimeTypesForFileName(NativePath::displayName(path));
    facts.mimeType =
        byName.size() == 1 ? byName.first().name() : QStringLiteral("application/octet-stream");
    if (sniff && facts.typeIsUnknown())
        facts.mimeType = typeFromContents(path);
    return facts;
}

bool FileFacts::typeIsUnknown() const
{
    return exists && !isDir && mimeType == u"application/octet-stream";
}

std::optional<QByteArray> FileFacts::read(const QByteArray& path, qint64 limit)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    qsizetype got = 0;
    bool failed = false;
    while (got < limit) {
        if (bytes.size() < got + 65536)
            bytes.resize(qsizetype(std::min<qint64>(limit, got + qint64(1) * 1024 * 1024)));
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (failed)
        return std::nullopt;
    bytes.truncate(got);
    return bytes;
}

QString FileFacts::typeFromContents(const QByteArray& path)
{
    // Read first, then handed to Qt's MIME database (see read()).
    const QByteArray head = read(path, 16384).value_or(QByteArray());
    return mimeDatabase()
        .mimeTypeForFileNameAndData(NativePath::displayName(path), head)
        .name();
}

namespace FileProbe {

void request(const QList<QByteArray>& paths, bool sniff, Callback done)
{
    if (!done)
        return;
    auto shared = std::make_shared<Callback>(std::move(done));
    Background::run([paths, sniff, shared]() mutable {
        auto post = [&shared](const QList<FileFacts>& facts) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [shared, facts] { (*shared)(facts); },
                Qt::QueuedConnection);
        };
        QList<FileFacts> facts;
        facts.reserve(paths.size());
        for (const QByteArray& path : std::as_const(paths))
            facts << FileFacts::probe(path, false);
        post(facts);
        if (!sniff)
            return;
        bool changed = false;
        for (qsizetype i = 0; i < facts.size(); ++i) {
            if (facts[i].typeIsUnknown()) {
                facts[i].mimeType = FileFacts::typeFromContents(paths[i]);
                changed = true;
            }
        }
        if (changed)
            post(facts);
    });
}

} // namespace FileProbe
