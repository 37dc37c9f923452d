// The folders that hold dropped content: one fresh folder per drop under
// <cache>/io.github.kavo.Kavo/Dropped, deleted at a launch once they are more
// than seven days old.
#include "drops/DropFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime fromTimestamp(const struct statx_timestamp& t)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000,
                                          Qt::UTC);
}

bool removeTreeAt(int parentFd, const char* name);

// Empties the directory open as `fd` without ever following a link: every
// entry is opened relative to its parent with O_NOFOLLOW, and links are
// unlinked themselves.
bool removeContents(int fd)
{
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        ok = removeTreeAt(dirfd(dir), name) && ok;
    }
    closedir(dir);
    return ok;
}

bool removeTreeAt(int parentFd, const char* name)
{
    struct stat st;
    if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) {
        const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return false;
        removeContents(fd);
        return unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
    }
    return unlinkat(parentFd, name, 0) == 0;
}

} // namespace

namespace DropFolders {

QString droppedFilesRoot()
{
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/" KAVO_APP_ID "/Dropped");
}

QString newDropFolder(QString* error)
{
    // The folders Kavo owns below the cache folder are made and entered one
    // by one, never through a symbolic link: a link put in their place must
    // not send dropped content somewhere else (the clean-up would never find
    // it there either).
    const QString cache = droppedFilesRoot().section(u'/', 0, -3);
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    auto fail = [error](const QString& where, int code) {
        if (error)
            *error = code == ELOOP || code == ENOTDIR
                         ? QCoreApplication::translate("DropFolders",
                                                       "%1 is not a folder (a link is not followed)")
                               .arg(where)
                         : QStringLiteral("%1: %2").arg(where, QString::fromLocal8Bit(
                                                                   std::strerror(code)));
        return QString();
    };
    QDir().mkpath(cache);
    int fd = open(QFile::encodeName(cache).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(cache, errno);
    QString path = cache;
    for (const QString& level : {QStringLiteral(KAVO_APP_ID), QStringLiteral("Dropped"), name}) {
        path += u'/' + level;
        const QByteArray native = QFile::encodeName(level);
        if (mkdirat(fd, native.constData(), 0700) != 0 && errno != EEXIST) {
            const int code = errno;
            ::close(fd);
            return fail(path, code);
        }
        const int next =
            openat(fd, native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int code = errno;
        ::close(fd);
        if (next < 0)
            return fail(path, code);
        fd = next;
    }
    ::close(fd);
    return path;
}

void removeDropFolder(const QString& folder)
{
    // Only ever a folder directly under the root, and only what is inside
    // it: never a link's target.
    const QFileInfo info(folder);
    if (info.absolutePath() != droppedFilesRoot())
        return;
    const int rootFd = open(QFile::encodeName(droppedFilesRoot()).constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootFd < 0)
        return;
    removeTreeAt(rootFd, QFile::encodeName(info.fileName()).constData());
    ::close(rootFd);
}

QDateTime entryDate(const QString& path)
{
    struct statx stx;
    const QByteArray native = QFile::encodeName(path);
    if (statx(AT_FDCWD, native.constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME,
              &stx) != 0)
        return {};
    if (stx.stx_mask & STATX_BTIME)
        return fromTimestamp(stx.stx_btime);
    if (stx.stx_mask & STATX_MTIME)
        return fromTimestamp(stx.stx_mtime);
    return {};
}

namespace {

// Removes what a drop that was killed while writing left in one drop
// folder: its ".partial-" files, and the folder itself when nothing else
// is in it (no shelf can hold an empty folder's files).
void removePartialFiles(int rootFd, const char* folder)
{
    const int fd = openat(rootFd, folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    QList<QByteArray> partial;
    while (dirent* entry = readdir(dir)) {
        if (QByteArray(entry->d_name).startsWith(partialPrefix))
            partial << QByteArray(entry->d_name);
    }
    bool removed = false;
    for (const QByteArray& name : std::as_const(partial))
        removed = unlinkat(dirfd(dir), name.constData(), 0) == 0 || removed;
    closedir(dir);
    if (removed)
        unlinkat(rootFd, folder, AT_REMOVEDIR); // fails, as it should, unless empty
}

} // namespace

void cleanUpOldPromises(const QSet<QByteArray>& held, const QDateTime& now)
{
    const QByteArray root = QFile::encodeName(droppedFilesRoot());
    const int rootFd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootFd < 0)
        return;
    const QDateTime cutoff = now.addSecs(-maxDropAgeSeconds);

    DIR* dir = fdopendir(rootFd);
    if (!dir) {
        ::close(rootFd);
        return;
    }
    QList<QByteArray> expired, kept;
    while (dirent* entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QDateTime created = entryDate(QFile::decodeName(root + '/' + name));
        if (!held.contains(name) && (!created.isValid() || created < cutoff))
            expired << name;
        else
            kept << name;
    }
    // Deleting while reading a directory may skip entries; list first.
    for (const QByteArray& name : std::as_const(expired))
        removeTreeAt(dirfd(dir), name.constData());
    for (const QByteArray& name : std::as_const(kept))
        removePartialFiles(dirfd(dir), name.constData());
    closedir(dir);
}

} // namespace DropFolders
