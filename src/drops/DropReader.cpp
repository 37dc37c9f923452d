#include "drops/DropReader.h"

#include "core/Background.h"
#include "core/NativePath.h"
#include "drops/ClipboardContent.h"
#include "drops/DropFolders.h"
#include "drops/DropNaming.h"
#include "drops/PromiseReceiver.h"
#include "platform/ClipboardReader.h"
#include "platform/DirectSave.h"
#include "platform/freedesktop/FileTransfer.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
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

// `text` with its line ends made CRLF as GTK makes them for text/plain (the
// MIME canonical form): LF and a lone CR become CRLF, CRLF stays.
QByteArray toCrlf(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// The text exactly as the source offered it: its bytes, in the encoding it
// named (UTF-8 first), never decoded and encoded again. GTK offers the text
// it holds as UTF8_STRING (Qt's "text/plain") and adds CRs to its
// text/plain;charset=utf-8; where the one is the other with those CRs, the
// text as the source holds it wins.
QByteArray offeredText(const QMimeData* mime)
{
    const QByteArray canonical = mime->data(QStringLiteral("text/plain;charset=utf-8"));
    if (canonical.contains("\r\n")) {
        const QByteArray held = mime->data(QStringLiteral("text/plain"));
        if (!held.isEmpty() && held != canonical && toCrlf(held) == canonical)
            return held;
    }
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
    // Starts listening for the portal, so that the first drop knows of it.
    FileTransfer::instance();
    DirectSave::followDrags();
}

bool DropReader::canTake(const QMimeData* mime)
{
    return mime && (mime->hasUrls() || mime->hasImage() || hasTextFormat(mime) ||
                    mime->hasFormat(directSaveFormat) ||
                    mime->hasFormat(QStringLiteral("text/x-moz-url")) ||
                    (mime->hasFormat(FileTransfer::mimeType) &&
                     FileTransfer::instance()->isAvailable()));
}

bool DropReader::canPaste()
{
    // Kavo's own clipboard (after its Copy) is read here, with no one to ask.
    const QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        return false;
    if (clipboard->ownsClipboard())
        return canTake(clipboard->mimeData());
    const QStringList read = ClipboardContent::formatsToRead(ClipboardReader::shared()->formats());
    // Files through the portal only where the portal runs.
    return !read.isEmpty() && (read != QStringList{FileTransfer::mimeType} ||
                               FileTransfer::instance()->isAvailable());
}

void DropReader::paste(std::function<void(bool taken)> done)
{
    const QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (clipboard && clipboard->ownsClipboard()) {
        const bool taken = take(clipboard->mimeData());
        if (done)
            done(taken);
        return;
    }
    ClipboardReader::shared()->read(
        ClipboardContent::formatsToRead, this, [this, done](const ClipboardReader::Result& read) {
            bool taken = false;
            QString why;
            switch (read.failure) {
            case ClipboardReader::Failure::None: {
                const std::unique_ptr<QMimeData> mime = ClipboardContent::snapshot(read.data);
                taken = take(mime.get());
                break;
            }
            case ClipboardReader::Failure::Empty: break;
            case ClipboardReader::Failure::Stalled:
                why = tr("The program that holds the clipboard stopped answering.");
                break;
            case ClipboardReader::Failure::TooSlow:
                why = tr("The program that holds the clipboard took too long to hand it over.");
                break;
            case ClipboardReader::Failure::TooLarge:
                why = tr("What the clipboard holds is larger than %1.")
                          .arg(QLocale().formattedDataSize(ClipboardReader::maxBytes, 0,
                                                           QLocale::DataSizeSIFormat));
                break;
            }
            if (!why.isEmpty() && onNotice)
                onNotice(tr("Couldn't paste"),
                         why + QStringLiteral("\n\n") + tr("Nothing was added to the shelf."));
            if (done)
                done(taken);
        });
}

void DropReader::addWritten(const QString& path)
{
    if (ShelfStorePtr store = m_store.lock())
        store->add({QUrl::fromLocalFile(path)}, true);
}

void DropReader::reportUnsaved(const Unsaved& unsaved, Added instead)
{
    const QString title = unsaved.name.isEmpty()
                              ? tr("Couldn't save what was dropped")
                              : tr("Couldn't save \u201C%1\u201D").arg(unsaved.name);
    QString outcome;
    switch (instead) {
    case Added::Nothing: outcome = tr("Nothing was added to the shelf."); break;
    case Added::Picture: outcome = tr("Its picture was added to the shelf instead."); break;
    case Added::Link: outcome = tr("Its link was added to the shelf instead."); break;
    case Added::Text: outcome = tr("Its text was added to the shelf instead."); break;
    }
    if (onNotice)
        onNotice(title, unsaved.reason + QStringLiteral("\n\n") + outcome);
}

bool DropReader::take(const QMimeData* mime)
{
    if (!mime)
        return false;
    if (takeFiles(mime) || takeTransfer(mime))
        return true;
    // What cannot be saved falls back to the kinds after it.
    Unsaved unsaved;
    if (takePromise(mime, &unsaved) || takeImage(mime, unsaved))
        return true;
    return takeRest(mime, unsaved, Unsaved());
}

bool DropReader::takeRest(const QMimeData* mime, const Unsaved& earlier, const Unsaved& own)
{
    // A link that cannot be saved falls back to the text.
    Unsaved later;
    Added added = Added::Nothing;
    if (takeLink(mime, &later))
        added = Added::Link;
    else if (takeText(mime, &later))
        added = Added::Text;
    if (earlier.failed)
        reportUnsaved(earlier, added);
    else if (added == Added::Nothing && (own.failed || later.failed))
        reportUnsaved(own.failed ? own : later, added);
    return added != Added::Nothing;
}

void DropReader::writeLater(std::function<std::optional<QString>(QString* error)> write,
                            const QMimeData* mime, const QString& name, bool toldAnyway,
                            const Unsaved& earlier, Added kind)
{
    // What the drop falls back to, kept past its end.
    auto* rest = new QMimeData;
    for (const QString& format : mime->formats()) {
        if (format == u"text/uri-list" || format == u"text/x-moz-url" ||
            format.startsWith(u"text/plain"))
            rest->setData(format, mime->data(format));
    }
    QPointer<DropReader> self(this);
    std::weak_ptr<ShelfStore> store = m_store;
    Background::run([write = std::move(write), self, store, rest, name, toldAnyway, earlier, kind] {
        QString error;
        const std::optional<QString> path = write(&error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [path, error, self, store, rest, name, toldAnyway, earlier, kind] {
                const std::unique_ptr<QMimeData> owned(rest);
                if (path) {
                    if (ShelfStorePtr s = store.lock())
                        s->add({QUrl::fromLocalFile(*path)}, true);
                    if (self && earlier.failed)
                        self->reportUnsaved(earlier, kind);
                    return;
                }
                if (!self)
                    return;
                const Unsaved failure{true, name, error};
                if (toldAnyway)
                    self->takeRest(rest, failure, Unsaved());
                else
                    self->takeRest(rest, earlier, failure);
            },
            Qt::QueuedConnection);
    });
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

bool DropReader::takeTransfer(const QMimeData* mime)
{
    // Sandboxed programs may hand out their files only through the portal.
    if (mime->hasUrls() || !mime->hasFormat(FileTransfer::mimeType) ||
        !FileTransfer::instance()->isAvailable())
        return false;
    FileTransfer::instance()->retrieve(
        mime->data(FileTransfer::mimeType), this, [this](const QList<QUrl>& files) {
            if (files.isEmpty()) {
                if (onNotice)
                    onNotice(tr("Couldn't add the dropped files"),
                             tr("The program they came from did not hand them over "
                                "through the desktop's file transfer portal."));
                return;
            }
            if (ShelfStorePtr store = m_store.lock())
                store->add(files, false);
        });
    return true;
}

bool DropReader::takePromise(const QMimeData* mime, Unsaved* unsaved)
{
    if (!mime->hasFormat(directSaveFormat))
        return false;
    const std::unique_ptr<DirectSave> directSave = DirectSave::create();
    const QString proposed = directSave->suggestedName();
    // Whatever the source suggests, the file goes into a new folder of ours.
    const QString name = DropNaming::plainFileName(proposed, tr("Untitled"));
    // A notice names the file as the source proposed it, or names none.
    const QString told = proposed.isEmpty() ? QString() : name;
    QString error;
    const QString folder = DropFolders::newDropFolder(&error);
    if (folder.isEmpty()) {
        *unsaved = {true, told, error};
        return false;
    }
    // Asking for the data makes the source save ("S"), fail ("F") or report
    // an error ("E"). Some sources save under their own name, so the
    // receiver takes whatever lands in the folder.
    const bool targetSet = directSave->setTarget(QUrl::fromLocalFile(folder + u'/' + name));
    const QByteArray answer = targetSet ? mime->data(directSaveFormat) : QByteArray();
    if (targetSet && !answer.startsWith('F') && !answer.startsWith('E')) {
        auto* receiver = new PromiseReceiver(folder, m_store, this);
        receiver->onNothing = [self = QPointer<DropReader>(this), told] {
            if (self)
                self->reportUnsaved({true, told, tr("The program it came from saved nothing.")},
                                    Added::Nothing);
        };
        receiver->sourceFinished(answer.startsWith('S'));
        return true;
    }
    // A source that fails (Chromium always does) leaves the target to write
    // the data it offers as application/octet-stream; one that reports an
    // error has told the user already.
    const QByteArray bytes = answer.startsWith('E')
                                 ? QByteArray()
                                 : mime->data(QStringLiteral("application/octet-stream"));
    if (!bytes.isEmpty()) {
        const QString path = folder + u'/' + name;
        writeLater(
            [path, folder, bytes](QString* error) -> std::optional<QString> {
                if (writeNewFile(path, bytes, error))
                    return path;
                DropFolders::removeDropFolder(folder);
                return std::nullopt;
            },
            mime, told, true, {}, Added::Nothing);
        return true;
    }
    DropFolders::removeDropFolder(folder);
    // A drop with no source to ask goes on to the other kinds unremarked.
    if (targetSet)
        *unsaved = {true, told, tr("The program it came from could not save it there.")};
    return false;
}

bool DropReader::takeImage(const QMimeData* mime, const Unsaved& earlier)
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
    // A picture that cannot be written falls back to the drop's link or
    // text, as the drop would have.
    const QString name = QStringLiteral("Image.png");
    writeLater(
        [png, image, name](QString* error) -> std::optional<QString> {
            QByteArray bytes = png;
            if (bytes.isEmpty()) {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                if (!image.save(&buffer, "PNG")) {
                    *error = tr("The picture could not be converted to PNG.");
                    return std::nullopt;
                }
            }
            return saveInNewFolder(name, bytes, error);
        },
        mime, name, false, earlier, Added::Picture);
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
        *unsaved = {true, name, error};
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
        *unsaved = {true, name, error};
        return false;
    }
    addWritten(*path);
    return true;
}
