#include "model/FileFacts.h"

#include "core/Background.h"
#include "core/NativePath.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>

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
    facts.isDir = S_ISDIR(st.st_mode);
    facts.mimeType = specialType(st.st_mode);
    if (!S_ISREG(st.st_mode))
        return facts;
    facts.size = st.st_size;

    const QList<QMimeType> byName =
        mimeDatabase().mimeTypesForFileName(NativePath::display(NativePath::fileName(path)));
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

QString FileFacts::typeFromContents(const QByteArray& path)
{
    // Never blocks on opening (a file that turned into a pipe meanwhile).
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    QFile file;
    if (fd >= 0 && !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle))
        ::close(fd);
    return mimeDatabase()
        .mimeTypeForFileNameAndData(NativePath::display(NativePath::fileName(path)), &file)
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
