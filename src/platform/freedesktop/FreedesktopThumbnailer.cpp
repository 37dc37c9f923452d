#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include "core/FileFacts.h"
#include "core/NativePath.h"
#include "platform/freedesktop/PngScaler.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <optional>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// The largest file an external thumbnailer may write (its output, its own
// temporary files).
constexpr qint64 externalFileBytes = qint64(64) << 20;
// Thumbnailer entries: how many are read per folder, and how large.
constexpr qsizetype maxThumbnailerEntries = 256;
constexpr qint64 maxThumbnailerEntryBytes = 64 * 1024;

// The folders of the cache below the XDG cache home.
const QList<QByteArray> failFolder{"thumbnails", "fail", "kavo-1.0"};

// A file descriptor closed when it goes.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes now, answering whether that succeeded (a write may fail late).
    bool close()
    {
        const bool ok = m_fd >= 0 && ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

QStringList dataDirs()
{
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    dirs << home;
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    dirs << system.split(u':', Qt::SkipEmptyParts);
    return dirs;
}

// Up to `limit` bytes from the start of `fd` (fewer at its end); nothing
// when a read fails.
std::optional<QByteArray> readUpTo(int fd, qint64 limit)
{
    QByteArray bytes;
    qsizetype got = 0;
    while (got < limit) {
        if (bytes.size() < got + 65536)
            bytes.resize(qsizetype(std::min<qint64>(limit, got + qint64(1024) * 1024)));
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

// The whole contents of the regular file open as `fd`, when it holds at
// most `limit` bytes, by its size and by what is read (a file may lie
// about its size).
std::optional<QByteArray> readRegular(int fd, qint64 limit)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > limit)
        return std::nullopt;
    std::optional<QByteArray> bytes = readUpTo(fd, limit + 1);
    if (!bytes || bytes->size() > limit)
        return std::nullopt;
    return bytes;
}

// Opens `name` in the folder `dirFd` for reading, never through a link and
// never waiting for a FIFO's writer.
Fd openEntry(int dirFd, const QByteArray& name)
{
    return Fd(::openat(dirFd, name.constData(),
                       O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
}

// Says once per folder per session why a cache folder is left alone.
void warnOnce(const QByteArray& folder)
{
    static std::mutex mutex;
    static QSet<QByteArray> warned;
    {
        std::lock_guard lock(mutex);
        if (warned.contains(folder))
            return;
        warned.insert(folder);
    }
    qWarning("Thumbnails: %s is a link or not a folder of the user's own; nothing is read "
             "from it or written to it",
             folder.constData());
}

QByteArray cacheHome()
{
    return QFile::encodeName(
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

// Opens the cache folder `parts` below the XDG cache home, each part
// relative to the one before it and never through a link; with `create`,
// missing parts are made, 0700. A part that is a link, not a folder or not
// the user's own is refused (and reported once). The cache home itself is
// the user's choice and may be a link.
Fd openCacheFolder(const QList<QByteArray>& parts, bool create)
{
    const QByteArray home = cacheHome();
    if (home.isEmpty())
        return {};
    Fd dir(::open(home.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir && create && errno == ENOENT && QDir().mkpath(QFile::decodeName(home)))
        dir = Fd(::open(home.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QByteArray shown = home;
    for (const QByteArray& part : parts) {
        if (!dir)
            return {};
        shown += '/' + part;
        const bool made = create && ::mkdirat(dir.get(), part.constData(), 0700) == 0;
        Fd next(::openat(dir.get(), part.constData(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (!next) {
            if (errno != ENOENT)
                warnOnce(shown);
            return {};
        }
        if (::fstat(next.get(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
            warnOnce(shown);
            return {};
        }
        // Private, as the freedesktop thumbnail rules ask: thumbnails show
        // what files hold. Only what Kavo made is changed.
        if (made && ::fchmod(next.get(), 0700) != 0)
            return {};
        dir = std::move(next);
    }
    return dir;
}

// The bytes of the entry `name` in the cache folder `parts`: a regular file
// of at most maxEntryBytes, or nothing.
std::optional<QByteArray> readCacheEntry(const QList<QByteArray>& parts, const QByteArray& name)
{
    const Fd dir = openCacheFolder(parts, false);
    if (!dir)
        return std::nullopt;
    const Fd fd = openEntry(dir.get(), name);
    if (!fd)
        return std::nullopt;
    return readRegular(fd.get(), FreedesktopThumbnailer::maxEntryBytes);
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Writes `bytes` as `name` in the cache folder `parts`, 0600: whole under a
// temporary name, then renamed into place, both relative to the opened
// folder, so that a reader never sees half a file and a folder swapped for a
// link meanwhile cannot redirect the write.
bool writeCacheEntry(const QList<QByteArray>& parts, const QByteArray& name,
                     const QByteArray& bytes)
{
    const Fd dir = openCacheFolder(parts, true);
    if (!dir)
        return false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray temp =
            ".kavo-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".png";
        Fd fd(::openat(dir.get(), temp.constData(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
        if (!fd && errno == EEXIST)
            continue;
        if (!fd)
            return false;
        bool ok = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), bytes);
        ok = fd.close() && ok;
        if (ok && ::renameat(dir.get(), temp.constData(), dir.get(), name.constData()) == 0)
            return true;
        ::unlinkat(dir.get(), temp.constData(), 0);
        return false;
    }
    return false;
}

// The text chunks of a PNG file that come before its image data, where
// thumbnail caches keep Thumb::URI and Thumb::MTime. (Qt's PNG reader splits
// keys at ':', so it cannot read these.) The walk ends at the first chunk
// that is not sound: a length past the end, a type that is not four
// letters, a checksum that does not match.
QHash<QByteArray, QByteArray> pngText(const QByteArray& png)
{
    QHash<QByteArray, QByteArray> text;
    if (!png.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)))
        return text;
    const auto* bytes = reinterpret_cast<const uchar*>(png.constData());
    for (qsizetype at = 8; png.size() - at >= 12;) {
        const quint32 length = qFromBigEndian<quint32>(bytes + at);
        if (length > quint64(png.size() - at - 12))
            break;
        const QByteArray type = png.mid(at + 4, 4);
        if (!std::all_of(type.begin(), type.end(),
                         [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }))
            break;
        const quint32 crc = qFromBigEndian<quint32>(bytes + at + 8 + length);
        if (::crc32(0, bytes + at + 4, uInt(length + 4)) != crc)
            break;
        if (type == "IDAT" || type == "IEND")
            break;
        const QByteArray data = png.mid(at + 8, length);
        at += 12 + qsizetype(length);
        const qsizetype nul = data.indexOf('\0');
        if (nul <= 0)
            continue;
        if (type == "tEXt") {
            text.insert(data.left(nul), data.mid(nul + 1));
        } else if (type == "iTXt" && data.size() > nul + 2 && data[nul + 1] == 0) {
            // Uncompressed international text: key, flags, language, translated key, text.
            const qsizetype lang = data.indexOf('\0', nul + 3);
            const qsizetype tkey = lang < 0 ? -1 : data.indexOf('\0', lang + 1);
            if (tkey > 0)
                text.insert(data.left(nul), data.mid(tkey + 1));
        }
    }
    return text;
}

QByteArray bigEndian(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

// `png` with text chunks for Thumb::URI, Thumb::MTime and Thumb::Size right
// after the signature and the header chunk; empty if it is not a PNG from Qt.
QByteArray withThumbText(QByteArray png, const QByteArray& uri, qint64 mtime, qint64 fileSize)
{
    if (png.size() < 33)
        return {};
    QByteArray text;
    for (const auto& [name, value] : {std::pair{QByteArray("Thumb::URI"), uri},
                                      {"Thumb::MTime", QByteArray::number(mtime)},
                                      {"Thumb::Size", QByteArray::number(fileSize)},
                                      {"Software", "Kavo"}}) {
        const QByteArray chunk = "tEXt" + name + '\0' + value;
        const uLong crc =
            ::crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size()));
        text += bigEndian(quint32(chunk.size() - 4)) + chunk + bigEndian(quint32(crc));
    }
    png.insert(33, text);
    return png;
}

// Whether a cache or fail entry's text describes the file `uri` as it is.
// The modification time is in whole seconds: a file still being written in
// the second it was thumbnailed keeps it, and its size tells it apart
// (where the entry gives one; the size is optional).
bool describes(const QByteArray& entry, const QByteArray& uri, qint64 mtime, qint64 fileSize)
{
    const QHash<QByteArray, QByteArray> text = pngText(entry);
    bool ok = false;
    if (text.value("Thumb::MTime").toLongLong(&ok) != mtime || !ok)
        return false;
    const QByteArray size = text.value("Thumb::Size");
    if (!size.isEmpty() && (size.toLongLong(&ok) != fileSize || !ok))
        return false;
    const QByteArray cachedUri = text.value("Thumb::URI");
    return cachedUri.isEmpty() || cachedUri == uri;
}

// A small picture decoded from memory: null when its header declares a side
// longer than maxEntrySide.
QImage decodeSmall(const QByteArray& bytes, const QByteArray& format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > FreedesktopThumbnailer::maxEntrySide ||
        size.height() > FreedesktopThumbnailer::maxEntrySide)
        return {};
    return reader.read();
}

// The cache folder for thumbnails of this size, empty for sizes between
// the freedesktop ones.
QByteArray cacheSizeName(int pixelSize)
{
    switch (pixelSize) {
    case 128:
        return "normal";
    case 256:
        return "large";
    case 512:
        return "x-large";
    case 1024:
        return "xx-large";
    default:
        return {};
    }
}

QByteArray cacheName(const QByteArray& uri)
{
    return QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
}

// Never thumbnails of the caches themselves (thumbnails of thumbnails, or of
// Kavo's own drop folders, which go after a week).
bool inCaches(const QByteArray& path)
{
    return path.startsWith(QByteArray(cacheHome() + '/'));
}

// Reads a thumbnail-style desktop entry: the keys of its [Thumbnailer Entry]
// group. (QSettings treats ';' as a comment, which would cut MimeType lists.)
QHash<QString, QString> thumbnailerEntry(const QString& path)
{
    QHash<QString, QString> keys;
    const Fd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    const std::optional<QByteArray> bytes =
        fd ? readRegular(fd.get(), maxThumbnailerEntryBytes) : std::nullopt;
    if (!bytes)
        return keys;
    bool inGroup = false;
    for (const QByteArray& raw : bytes->split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u"[Thumbnailer Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inGroup && eq > 0)
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

// Whether a thumbnailer's TryExec names an executable file: an absolute path,
// or a name found on PATH. An empty one asks nothing.
bool tryExecFound(const QString& tryExec)
{
    if (tryExec.isEmpty())
        return true;
    const QString found =
        QDir::isAbsolutePath(tryExec) ? tryExec : QStandardPaths::findExecutable(tryExec);
    const QByteArray native = QFile::encodeName(found);
    struct stat st;
    return !found.isEmpty() && ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(native.constData(), X_OK) == 0;
}

QImage fitInside(QImage img, int pixelSize)
{
    if (img.isNull())
        return img;
    if (img.width() > pixelSize || img.height() > pixelSize)
        img = img.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return img;
}

// In the child of an external thumbnailer, before it runs: a process group
// of its own, so that it is killed with everything it started, and limits
// of memory, processor time and written files. Only calls that are safe
// between fork and exec.
void limitThumbnailerProcess()
{
    ::setsid();
    const rlimit memory{rlim_t(FreedesktopThumbnailer::externalMemoryBytes),
                        rlim_t(FreedesktopThumbnailer::externalMemoryBytes)};
    ::setrlimit(RLIMIT_AS, &memory);
    const rlimit cpu{rlim_t(FreedesktopThumbnailer::externalCpuSeconds),
                     rlim_t(FreedesktopThumbnailer::externalCpuSeconds)};
    ::setrlimit(RLIMIT_CPU, &cpu);
    const rlimit written{rlim_t(externalFileBytes), rlim_t(externalFileBytes)};
    ::setrlimit(RLIMIT_FSIZE, &written);
}

} // namespace

FreedesktopThumbnailer::FreedesktopThumbnailer()
{
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    m_externalPool.setMaxThreadCount(externalSlots);
    // Thumbnails are background work: never compete with the UI thread.
    m_pool.setThreadPriority(QThread::IdlePriority);
    m_externalPool.setThreadPriority(QThread::IdlePriority);
}

FreedesktopThumbnailer::~FreedesktopThumbnailer()
{
    stop();
    m_pool.waitForDone();
    m_externalPool.waitForDone();
}

void FreedesktopThumbnailer::request(const QList<QByteArray>& paths, int pixelSize, Callback done)
{
    requestWanted(paths, pixelSize, std::move(done), {});
}

void FreedesktopThumbnailer::requestWanted(const QList<QByteArray>& paths, int pixelSize,
                                           Callback done, Wanted wanted)
{
    if (paths.isEmpty() || !done)
        return;
    auto batch = std::make_shared<Batch>();
    batch->paths = paths;
    batch->pixelSize = pixelSize;
    batch->done = std::move(done);
    batch->wanted = std::move(wanted);
    int toStart = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped)
            return;
        m_queue.push_back(std::move(batch));
        m_queuedFiles += paths.size();
        const int wantedThreads = int(std::min<qsizetype>(m_pool.maxThreadCount(), m_queuedFiles));
        toStart = std::max(0, wantedThreads - m_running);
        m_running += toStart;
    }
    for (int i = 0; i < toStart; ++i)
        m_pool.start([this] { drain(); });
}

void FreedesktopThumbnailer::drain()
{
    for (;;) {
        std::shared_ptr<Batch> batch;
        qsizetype index = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                --m_running;
                return;
            }
            batch = m_queue.front();
            index = batch->next++;
            if (batch->next >= batch->paths.size())
                m_queue.pop_front();
            --m_queuedFiles;
        }
        if (batch->wanted && !batch->wanted(index))
            continue;
        Pending pending;
        QImage image = makeOwn(batch->paths.at(index), batch->pixelSize, pending);
        if (!image.isNull()) {
            post(std::move(batch), index, std::move(image));
            continue;
        }
        if (pending.thumbnailer < 0)
            continue;
        // The external thumbnailers have threads of their own: what Kavo
        // decodes itself never waits behind them.
        bool start = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped)
                continue;
            m_externalQueue.push_back({std::move(batch), index, std::move(pending)});
            start = m_externalRunning < externalSlots;
            m_externalRunning += start ? 1 : 0;
        }
        if (start)
            m_externalPool.start([this] { drainExternal(); });
    }
}

void FreedesktopThumbnailer::drainExternal()
{
    for (;;) {
        ExternalJob job;
        {
            std::lock_guard lock(m_mutex);
            if (m_externalQueue.empty()) {
                --m_externalRunning;
                return;
            }
            job = std::move(m_externalQueue.front());
            m_externalQueue.pop_front();
        }
        if (job.batch->wanted && !job.batch->wanted(job.index))
            continue;
        QImage image = makeExternal(job.file);
        if (!image.isNull())
            post(std::move(job.batch), job.index, std::move(image));
    }
}

void FreedesktopThumbnailer::post(std::shared_ptr<Batch> batch, qsizetype index, QImage image)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [batch = std::move(batch), index, image = std::move(image)] { batch->done(index, image); },
        Qt::QueuedConnection);
}

bool FreedesktopThumbnailer::waitForIdle(int timeoutMs)
{
    // The first stage hands files on to the second: wait for it first.
    const QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    return m_pool.waitForDone(int(deadline.remainingTime())) &&
           m_externalPool.waitForDone(int(deadline.remainingTime()));
}

void FreedesktopThumbnailer::stop()
{
    std::deque<std::shared_ptr<Batch>> queue;
    std::deque<ExternalJob> externalQueue;
    QSet<pid_t> groups;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        queue.swap(m_queue);
        externalQueue.swap(m_externalQueue);
        m_queuedFiles = 0;
        groups = m_groups;
    }
    for (const pid_t group : std::as_const(groups))
        ::kill(-group, SIGKILL);
}

QImage FreedesktopThumbnailer::makeThumbnail(const QByteArray& path, int pixelSize)
{
    Pending pending;
    const QImage image = makeOwn(path, pixelSize, pending);
    if (!image.isNull() || pending.thumbnailer < 0)
        return image;
    return makeExternal(pending);
}

QImage FreedesktopThumbnailer::makeOwn(const QByteArray& path, int pixelSize, Pending& pending)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        ::access(path.constData(), R_OK) != 0)
        return {};
    // The same file, unchanged, at the same size: made once per session.
    const QByteArray key = path + '\0' + QByteArray::number(qint64(st.st_size)) + ':' +
                           QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                           QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ':' +
                           QByteArray::number(pixelSize);
    {
        std::lock_guard lock(m_memoryMutex);
        if (const QImage* made = m_memory.object(key))
            return *made;
    }
    const qint64 mtime = st.st_mtim.tv_sec;
    QImage img = fromCache(path, mtime, st.st_size, pixelSize);
    if (!img.isNull()) {
        remember(key, img);
        return img;
    }
    bool external = true;
    img = fromImageReader(path, pixelSize, st.st_size, external);
    if (!img.isNull()) {
        toCache(path, mtime, st.st_size, pixelSize, img);
        remember(key, img);
        return img;
    }
    // External thumbnailers take the path as text: only absolute names that
    // are UTF-8 survive the trip and cannot be taken for options.
    if (!external || !path.startsWith('/') || NativePath::display(path).toUtf8() != path)
        return {};
    const int thumbnailer = thumbnailerFor(path);
    if (thumbnailer < 0)
        return {};
    const QByteArray uri = NativePath::toUrl(path).toEncoded();
    // A file an external thumbnailer failed on, unchanged since.
    const std::optional<QByteArray> failure = readCacheEntry(failFolder, cacheName(uri));
    if (failure && describes(*failure, uri, mtime, st.st_size))
        return {};
    pending = {path, key, mtime, st.st_size, pixelSize, thumbnailer};
    return {};
}

QImage FreedesktopThumbnailer::makeExternal(const Pending& pending)
{
    bool failed = false;
    const QImage img = fromExternal(pending, failed);
    if (!img.isNull()) {
        toCache(pending.path, pending.mtime, pending.size, pending.pixelSize, img);
        remember(pending.key, img);
    } else if (failed && !inCaches(pending.path)) {
        // Remembered as file managers do: a transparent pixel with the
        // file's URI and modification time.
        QImage pixel(1, 1, QImage::Format_ARGB32);
        pixel.fill(Qt::transparent);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        const QByteArray uri = NativePath::toUrl(pending.path).toEncoded();
        if (pixel.save(&buffer, "PNG"))
            writeCacheEntry(failFolder, cacheName(uri),
                            withThumbText(png, uri, pending.mtime, pending.size));
    }
    return img;
}

void FreedesktopThumbnailer::remember(const QByteArray& key, const QImage& img)
{
    std::lock_guard lock(m_memoryMutex);
    m_memory.insert(key, new QImage(img), qsizetype(std::max<qint64>(1, img.sizeInBytes() >> 10)));
}

void FreedesktopThumbnailer::toCache(const QByteArray& path, qint64 mtime, qint64 fileSize,
                                     int pixelSize, const QImage& img) const
{
    const QByteArray size = cacheSizeName(pixelSize);
    if (size.isEmpty() || inCaches(path))
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    // Quality 80 is zlib's fastest level for Qt's PNG writer: a thumbnail
    // of a photo is encoded in under a third of the time (5 ms against 16
    // at 256 pixels here) for a file about a quarter larger.
    if (!img.save(&buffer, "PNG", 80))
        return;
    const QByteArray uri = NativePath::toUrl(path).toEncoded();
    const QByteArray entry = withThumbText(png, uri, mtime, fileSize);
    if (!entry.isEmpty())
        writeCacheEntry({"thumbnails", size}, cacheName(uri), entry);
}

QImage FreedesktopThumbnailer::fromCache(const QByteArray& path, qint64 mtime, qint64 fileSize,
                                         int pixelSize) const
{
    const QByteArray uri = NativePath::toUrl(path).toEncoded();
    QList<QByteArray> sizes;
    if (pixelSize > 256)
        sizes << "x-large";
    sizes << "large";
    for (const QByteArray& size : std::as_const(sizes)) {
        // A cache entry describes the file as it was: stale ones are skipped.
        const std::optional<QByteArray> entry =
            readCacheEntry({"thumbnails", size}, cacheName(uri));
        if (!entry || !describes(*entry, uri, mtime, fileSize))
            continue;
        const QImage img = decodeSmall(*entry, "png");
        if (!img.isNull())
            return fitInside(img, pixelSize);
    }
    return {};
}

QImage FreedesktopThumbnailer::fromImageReader(const QByteArray& path, int pixelSize,
                                               qint64 fileSize, bool& external) const
{
    // Too large to read: the file's size decides before any byte is read.
    if (fileSize > maxImageBytes)
        return {};
    // Read into memory first (see FileFacts::read()): the header, to learn
    // the format and declared size, then the whole file only for a picture
    // Kavo decodes.
    const Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::optional<QByteArray> bytes = readUpTo(fd.get(), headerBytes);
    if (!bytes)
        return {};
    // The name's suffix is only a hint: the contents decide.
    const QByteArray name = NativePath::fileName(path);
    const QByteArray suffix = name.mid(name.lastIndexOf('.') + 1).toLower();
    // Pictures declaring more pixels than Kavo decodes are not given to
    // external thumbnailers either.
    const auto declare = [&](const QSize& size) {
        if (size.isValid() && qint64(size.width()) * size.height() > maxDecodePixels)
            external = false;
    };
    QSize declared;
    QByteArray format;
    {
        QBuffer header(&*bytes);
        header.open(QIODevice::ReadOnly);
        QImageReader reader(&header, suffix);
        if (!reader.canRead())
            return {};
        declared = reader.size();
        format = reader.format();
        declare(declared);
    }
    const bool larger =
        declared.isValid() && (declared.width() > pixelSize || declared.height() > pixelSize);
    // PNGs Qt would decode whole before scaling are scaled as they are
    // decoded, straight from the file.
    if (format == "png" && larger) {
        if (std::optional<QImage> img =
                PngScaler::decode(fd.get(), declared.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio),
                                  maxImageBytes, maxDecodePixels))
            return *img;
    }
    if (bytes->size() == headerBytes) {
        bytes = readRegular(fd.get(), maxImageBytes);
        if (!bytes)
            return {};
    }
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, suffix);
    reader.setAllocationLimit(allocationLimitMB);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    declare(size);
    if (!reader.canRead())
        return {};
    // Qt decides what it can decode: JPEGs are decoded at the scaled size,
    // other formats whole, within the allocation limit.
    if (size.isValid() && (size.width() > pixelSize || size.height() > pixelSize))
        reader.setScaledSize(size.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio));
    return fitInside(reader.read(), pixelSize);
}

const std::vector<FreedesktopThumbnailer::External>& FreedesktopThumbnailer::externals()
{
    // Read on first need, on a worker thread: the data folders may be slow.
    std::call_once(m_externalsLoaded, [this] {
        QStringList seen;
        for (const QString& dir : dataDirs()) {
            const QDir d(dir + QStringLiteral("/thumbnailers"));
            const QStringList files =
                d.entryList({QStringLiteral("*.thumbnailer")}, QDir::Files, QDir::Name)
                    .mid(0, maxThumbnailerEntries);
            for (const QString& file : files) {
                // A file in an earlier folder hides one of the same name later on.
                if (seen.contains(file))
                    continue;
                seen << file;
                const QHash<QString, QString> entry = thumbnailerEntry(d.filePath(file));
                External e;
                e.exec = entry.value(QStringLiteral("Exec"));
                e.mimeTypes =
                    entry.value(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
                // A thumbnailer whose program is missing is not installed.
                if (!e.exec.isEmpty() && !e.mimeTypes.isEmpty() &&
                    tryExecFound(entry.value(QStringLiteral("TryExec"))))
                    m_externals.push_back(std::move(e));
            }
        }
    });
    return m_externals;
}

int FreedesktopThumbnailer::thumbnailerFor(const QByteArray& path)
{
    const std::vector<External>& all = externals();
    if (all.empty())
        return -1;
    // The type from the file's first bytes, read outside the MIME
    // database's lock.
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(FileFacts::probe(path).mimeType);
    QStringList names{type.name()};
    names << type.aliases() << type.allAncestors();
    for (const QString& name : std::as_const(names)) {
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].mimeTypes.contains(name))
                return int(i);
        }
    }
    return -1;
}

QImage FreedesktopThumbnailer::fromExternal(const Pending& pending, bool& failed)
{
    const External& chosen = externals().at(size_t(pending.thumbnailer));
    const QString path = NativePath::display(pending.path);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return {};
    const QString out = tmp.filePath(QStringLiteral("thumbnail.png"));
    QStringList args = QProcess::splitCommand(chosen.exec);
    if (args.isEmpty())
        return {};
    for (QString& arg : args) {
        QString expanded;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] != u'%' || i + 1 >= arg.size()) {
                expanded += arg[i];
                continue;
            }
            const QChar code = arg[++i];
            if (code == u'i')
                expanded += path;
            else if (code == u'u')
                expanded += QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
            else if (code == u'o')
                expanded += out;
            else if (code == u's')
                expanded += QString::number(pending.pixelSize);
            else if (code == u'%')
                expanded += u'%';
        }
        arg = expanded;
    }
    QProcess proc;
    proc.setStandardInputFile(QProcess::nullDevice());
    proc.setStandardOutputFile(QProcess::nullDevice());
    proc.setStandardErrorFile(QProcess::nullDevice());
    proc.setChildProcessModifier(limitThumbnailerProcess);
    const QString program = args.takeFirst();
    proc.start(program, args);
    if (!proc.waitForStarted(externalTimeoutMs))
        return {};
    // The child leads a process group of its own (see
    // limitThumbnailerProcess), which stop() kills while it runs.
    const pid_t group = pid_t(proc.processId());
    bool stopped = false;
    {
        std::lock_guard lock(m_mutex);
        stopped = m_stopped;
        if (!stopped)
            m_groups.insert(group);
    }
    if (stopped)
        ::kill(-group, SIGKILL);
    const bool finished = proc.waitForFinished(externalTimeoutMs);
    {
        std::lock_guard lock(m_mutex);
        m_groups.remove(group);
        stopped = m_stopped;
    }
    // Whatever the thumbnailer started goes with it, finished or not.
    ::kill(-group, SIGKILL);
    if (!finished)
        proc.waitForFinished(1000);
    // Ended by Kavo's exit, the file is not to blame.
    if (stopped)
        return {};
    failed = true;
    if (!finished || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0)
        return {};
    const Fd fd(::open(QFile::encodeName(out).constData(),
                       O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    const std::optional<QByteArray> bytes =
        fd ? readRegular(fd.get(), maxEntryBytes) : std::nullopt;
    const QImage img = bytes ? fitInside(decodeSmall(*bytes, {}), pending.pixelSize) : QImage();
    failed = img.isNull();
    return img;
}
