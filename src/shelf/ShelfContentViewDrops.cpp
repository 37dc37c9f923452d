// Receiving drops: what a shelf takes from a drag and how content without a
// file of its own (promised files, images, links, text) becomes files in a
// fresh drop folder.
#include "shelf/ShelfContentView.h"

#include "platform/DirectSave.h"
#include "shelf/DropNaming.h"
#include "shelf/HighlightView.h"
#include "shelf/PromiseReceiver.h"
#include "shelf/StackAreaView.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QSaveFile>
#include <QStringDecoder>
#include <QThreadPool>

namespace {

const QString directSaveFormat = QStringLiteral("XdndDirectSave0");

// Whether a drag carries anything a shelf can take.
bool isUsable(const QMimeData* mime)
{
    return mime->hasUrls() || mime->hasImage() || mime->hasText() ||
           mime->hasFormat(directSaveFormat) || mime->hasFormat(QStringLiteral("text/x-moz-url"));
}

// Writes a new file (not replacing anything) in one go; answers success.
bool writeNewFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size())
        return false;
    return f.commit();
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

} // namespace

bool ShelfContentView::isOwnDrag(const QObject* source) const { return source == this; }

void ShelfContentView::setDropHover(bool on)
{
    m_highlight->setActive(on);
    m_stackArea->isDropTarget = on;
    m_stackArea->update();
}

void ShelfContentView::dragEnterEvent(QDragEnterEvent* e)
{
    // A drag out of this shelf may not come back to it.
    if (isOwnDrag(e->source()) || !isUsable(e->mimeData())) {
        e->ignore();
        return;
    }
    setDropHover(true);
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void ShelfContentView::dragMoveEvent(QDragMoveEvent* e)
{
    if (isOwnDrag(e->source()) || !isUsable(e->mimeData())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void ShelfContentView::dragLeaveEvent(QDragLeaveEvent*) { setDropHover(false); }

void ShelfContentView::dropEvent(QDropEvent* e)
{
    setDropHover(false);
    if (isOwnDrag(e->source())) {
        e->ignore();
        return;
    }
    if (takeDrop(e->mimeData(), e->source())) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

bool ShelfContentView::takeDrop(const QMimeData* mime, QObject* source)
{
    if (!mime || isOwnDrag(source))
        return false;
    return takeFiles(mime) || takePromise(mime) || takeImage(mime) || takeLink(mime) ||
           takeText(mime);
}

bool ShelfContentView::takeFiles(const QMimeData* mime)
{
    if (!mime->hasUrls())
        return false;
    QList<QUrl> files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            files << url;
    }
    if (files.isEmpty())
        return false;
    m_store->add(files, false);
    return true;
}

bool ShelfContentView::takePromise(const QMimeData* mime)
{
    if (!mime->hasFormat(directSaveFormat))
        return false;
    const std::unique_ptr<DirectSave> directSave = DirectSave::create();
    const QString folder = ShelfStore::newDropFolder();
    // Whatever the source suggests, the file goes into the new folder.
    const QString name =
        DropNaming::plainFileName(directSave->suggestedName(), QStringLiteral("Untitled"));
    if (!directSave->setTarget(QUrl::fromLocalFile(folder + u'/' + name)))
        return false;
    auto* receiver = new PromiseReceiver(folder, m_store, this);
    // Asking for the data makes the source save ("S"), fail ("F") or report
    // an error ("E"); some sources save under their own name, so the
    // receiver takes whatever lands in the folder.
    const QByteArray answer = mime->data(directSaveFormat);
    Q_UNUSED(answer);
    receiver->sourceFinished();
    return true;
}

bool ShelfContentView::takeImage(const QMimeData* mime)
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
    const QString path = ShelfStore::newDropFolder() + QStringLiteral("/Image.png");
    // Add the file once it is written. A picture that cannot be written
    // falls back to the drop's link or text, as the drop would have.
    QPointer<ShelfContentView> self(this);
    std::weak_ptr<ShelfStore> store = m_store;
    auto* fallback = new QMimeData;
    for (const QString& format : mime->formats()) {
        if (format == u"text/uri-list" || format == u"text/x-moz-url" ||
            format.startsWith(u"text/plain"))
            fallback->setData(format, mime->data(format));
    }
    PromiseReceiver::promisePool()->start([png, image, path, self, store, fallback] {
        QByteArray bytes = png;
        if (bytes.isEmpty()) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, "PNG"))
                bytes.clear();
        }
        const bool ok = !bytes.isEmpty() && writeNewFile(path, bytes);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [ok, path, self, store, fallback] {
                std::unique_ptr<QMimeData> rest(fallback);
                if (ok) {
                    if (ShelfStorePtr s = store.lock())
                        s->add({QUrl::fromLocalFile(path)}, true);
                } else if (self) {
                    self->takeLink(rest.get()) || self->takeText(rest.get());
                }
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool ShelfContentView::takeLink(const QMimeData* mime)
{
    const QUrl url = firstLink(mime);
    if (!url.isValid() || url.isEmpty() || url.isLocalFile() || url.scheme() == u"file")
        return false;
    const QString path = ShelfStore::newDropFolder() + u'/' + DropNaming::linkFileName(url);
    if (!writeNewFile(path, DropNaming::weblocData(url)))
        return false;
    m_store->add({QUrl::fromLocalFile(path)}, true);
    return true;
}

bool ShelfContentView::takeText(const QMimeData* mime)
{
    if (!mime->hasText())
        return false;
    const QString text = mime->text();
    if (text.isEmpty())
        return false;
    const QString path = ShelfStore::newDropFolder() + u'/' + DropNaming::textFileName(text);
    if (!writeNewFile(path, text.toUtf8()))
        return false;
    m_store->add({QUrl::fromLocalFile(path)}, true);
    return true;
}
