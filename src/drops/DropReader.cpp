#include "drops/DropReader.h"

#include "core/Background.h"
#include "core/NativePath.h"
#include "drops/DropFolders.h"
#include "drops/DropNaming.h"
#include "drops/PromiseReceiver.h"
#include "platform/DirectSave.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

const QString directSaveFormat = QStringLiteral("XdndDirectSave0");

// Whether a drag offers text of its own (not just links that Qt would
// also give as text).
bool hasTextFormat(const QMimeData* mime)
{
    const QStringList formats = mime->formats();
    return std::any_of(formats.cbegin(), formats.cend(),
                       [](const QString& f) { return f.startsWith(u"text/plain"); });
}

// Writes a new file in one go: to a hidden name first, then renamed, so that
// no one ever sees part of it; answers success, or fills `error` with the
// system's reason.
bool writeNewFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray partial = NativePath::folder(target) + '/' + DropFolders::partialPrefix +
                               NativePath::fileName(target).left(200);
    const int fd = ::open(partial.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0)
        ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(partial.constData(), target.constData()) == 0;
    if (!ok) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(partial.constData());
    }
    return ok;
}

// Writes `bytes` as `name` into a new drop folder; answers the file, or
// nothing with `error` set (and no folder left behind).
std::optional<QString> saveInNewFolder(const QString& name, const QByteArray& bytes,
                                       QString* error)
{
    const QString folder = DropFolders::newDropFolder(error);
    if (folder.isEmpty())
        return std::nullopt;
    const QString path = folder + u'/' + name;
    if (writeNewFile(path, bytes, error))
        return path;
    DropFolders::removeDropFolder(folder);
    return std::nullopt;
}

// The first web (non-file) link of a drag: from text/uri-list, else from the
// UTF-16 text/x-moz-url that browsers offer ("url\ntitle").
QUrl firstLink(const QMimeData* mime)
{
    if (mime->hasUrls()) {
        const QList<QUrl> urls = mime->urls();
        if (!urls.isEmpty())
            return urls.first();
    }
    const QByteArray moz = mime->data(QStringLiteral("text/x-moz-url"));
    if (!moz.isEmpty()) {
        QStringDecoder utf16(QStringDecoder::Utf16);
        const QString s = utf16(moz);
        return QUrl(s.section(u'\n', 0, 0).trimmed());
    }
    return {};
}

// The text exactly as the source offered it: its bytes, in the encoding it
// named (UTF-8 first), never decoded and encoded again.
QByteArray offeredText(const QMimeData* mime)
{
    QStringList formats{QStringLiteral("text/plain;charset=utf-8"),
                        QStringLiteral("text/plain;charset=UTF-8"), QStringLiteral("text/plain")};
    for (const QString& format : mime->formats()) {
        if (format.startsWith(u"text/plain") && !formats.contains(format))
            formats << format;
    }
    for (const QString& format : std::as_const(formats)) {
        const QByteArray bytes = mime->data(format);
        if (!bytes.isEmpty())
            return bytes;
    }
    return {};
}

} // namespace

DropReader::DropReader(std::weak_ptr<ShelfStore> store, QObject* parent)
    : QObject(parent), m_store(std::move(store))
{
}

bool DropReader::canTake(const QMimeData* mime)
{
    return mime && (mime->hasUrls() || mime->hasImage() || hasTextFormat(mime) ||
                    mime->hasFormat(directSaveFormat) ||
                    mime->hasFormat(QStringLiteral("text/x-moz-url")));
}

void DropReader::addWritten(const QString& path)
{
    if (ShelfStorePtr store = m_store.lock())
        store->add({QUrl::fromLocalFile(path)}, true);
}

void DropReader::reportUnsaved(const QString& name, const QString& reason)
{
    const QString title = QStringLiteral("Couldn't save \u201C%1\u201D").arg(name);
    const QString text = reason + QStringLiteral("\n\nNothing was added to the shelf.");
    if (onNotice)
        onNotice(title, text);
}

bool DropReader::take(const QMimeData* mime)
{
    if (!mime)
        return false;
    if (takeFiles(mime) || takePromise(mime) || takeImage(mime))
        return true;
    // A link that cannot be saved falls back to the text; when that fails
    // too, the user hears why.
    Unsaved unsaved;
    if (takeLink(mime, &unsaved) || takeText(mime, &unsaved))
        return true;
    if (!unsaved.name.isEmpty())
        reportUnsaved(unsaved.name, unsaved.reason);
    return false;
}

bool DropReader::takeFiles(const QMimeData* mime)
{
    if (!mime->hasUrls())
        return false;
    QList<QUrl> files;
    for (const QUrl& url : mime->urls()) {
        if (NativePath::isLocalFile(url))
            files << url;
    }
    if (files.isEmpty())
        return false;
    if (ShelfStorePtr store = m_store.lock())
        store->add(files, false);
    return true;
}

bool DropReader::takePromise(const QMimeData* mime)
{
    if (!mime->hasFormat(directSaveFormat))
        return false;
    const std::unique_ptr<DirectSave> directSave = DirectSave::create();
    // Whatever the source suggests, the file goes into a new folder of ours.
    const QString name =
        DropNaming::plainFileName(directSave->suggestedName(), QStringLiteral("Untitled"));
    QString error;
    const QString folder = DropFolders::newDropFolder(&error);
    if (folder.isEmpty()) {
        reportUnsaved(name, error);
        return false;
    }
    if (!directSave->setTarget(QUrl::fromLocalFile(folder + u'/' + name))) {
        DropFolders::removeDropFolder(folder);
        return false;
    }
    // Asking for the data makes the source save ("S"), fail ("F") or report
    // an error ("E"). Some sources save under their own name, so the
    // receiver takes whatever lands in the folder.
    const QByteArray answer = mime->data(directSaveFormat);
    if (answer.startsWith('F') || answer.startsWith('E')) {
        DropFolders::removeDropFolder(folder);
        reportUnsaved(name, QStringLiteral("The program it came from could not save it there."));
        return false;
    }
    auto* receiver = new PromiseReceiver(folder, m_store, this);
    receiver->onNothing = [self = QPointer<DropReader>(this), name] {
        if (self)
            self->reportUnsaved(name, QStringLiteral("The program it came from saved nothing."));
    };
    receiver->sourceFinished(answer.startsWith('S'));
    return true;
}

bool DropReader::takeImage(const QMimeData* mime)
{
    if (!mime->hasImage())
        return false;
    // A PNG is written as it came: nothing to decode on the UI thread and
    // nothing lost. Anything else is decoded here and encoded off it.
    QByteArray png = mime->data(QStringLiteral("image/png"));
    QImage image;
    if (!png.startsWith("\x89PNG\r\n\x1a\n")) {
        png.clear();
        image = qvariant_cast<QImage>(mime->imageData());
        if (image.isNull())
            return false;
    }
    // Add the file once it is written. A picture that cannot be written
    // falls back to the drop's link or text, as the drop would have.
    QPointer<DropReader> self(this);
    std::weak_ptr<ShelfStore> store = m_store;
    auto* fallback = new QMimeData;
    for (const QString& format : mime->formats()) {
        if (format == u"text/uri-list" || format == u"text/x-moz-url" ||
            format.startsWith(u"text/plain"))
            fallback->setData(format, mime->data(format));
    }
    Background::run([png, image, self, store, fallback] {
        QByteArray bytes = png;
        if (bytes.isEmpty()) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, "PNG"))
                bytes.clear();
        }
        QString error = QStringLiteral("The picture could not be converted to PNG.");
        std::optional<QString> path;
        if (!bytes.isEmpty())
            path = saveInNewFolder(QStringLiteral("Image.png"), bytes, &error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [path, error, self, store, fallback] {
                std::unique_ptr<QMimeData> rest(fallback);
                if (path) {
                    if (ShelfStorePtr s = store.lock())
                        s->add({QUrl::fromLocalFile(*path)}, true);
                    return;
                }
                if (!self)
                    return;
                Unsaved unsaved;
                if (!self->takeLink(rest.get(), &unsaved) && !self->takeText(rest.get(), &unsaved))
                    self->reportUnsaved(QStringLiteral("Image.png"), error);
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool DropReader::takeLink(const QMimeData* mime, Unsaved* unsaved)
{
    const QUrl url = firstLink(mime);
    if (!url.isValid() || url.isEmpty() || url.scheme().compare(u"file", Qt::CaseInsensitive) == 0)
        return false;
    const QString name = DropNaming::linkFileName(url);
    QString error;
    const std::optional<QString> path = saveInNewFolder(name, DropNaming::weblocData(url), &error);
    if (!path) {
        *unsaved = {name, error};
        return false;
    }
    addWritten(*path);
    return true;
}

bool DropReader::takeText(const QMimeData* mime, Unsaved* unsaved)
{
    if (!hasTextFormat(mime))
        return false;
    const QByteArray bytes = offeredText(mime);
    if (bytes.isEmpty())
        return false;
    // The name comes from the text as read; the file holds the bytes.
    const QString name = DropNaming::textFileName(QString::fromUtf8(bytes));
    QString error;
    const std::optional<QString> path = saveInNewFolder(name, bytes, &error);
    if (!path) {
        *unsaved = {name, error};
        return false;
    }
    addWritten(*path);
    return true;
}
