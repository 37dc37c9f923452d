#include "drops/ClipboardContent.h"

#include "platform/freedesktop/FileTransfer.h"

#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QSet>
#include <QVariant>

namespace {

const QString uriList = QStringLiteral("text/uri-list");
const QString imageFormat = QStringLiteral("application/x-qt-image");
const QStringList copiedFormats{QStringLiteral("x-special/gnome-copied-files"),
                                QStringLiteral("x-special/mate-copied-files")};

// A snapshot whose picture, like a drop's, is decoded only when the
// pipeline asks for it as an image (a PNG is written as it came).
class Snapshot final : public QMimeData
{
public:
    QString picture; // the format that holds it, if any

    QStringList formats() const override
    {
        QStringList all = QMimeData::formats();
        if (!picture.isEmpty())
            all << imageFormat;
        return all;
    }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (format == imageFormat && !picture.isEmpty())
            return QImage::fromData(data(picture));
        return QMimeData::retrieveData(format, type);
    }
};

// Whether Qt can decode pictures of this type. Asked of the one image plug-in
// that says it takes the type: listing every readable type would load them
// all, libraries and all, for a clipboard that may hold no picture.
bool isReadableImage(const QString& type)
{
    return !QImageReader::imageFormatsForMimeType(type.toLatin1()).isEmpty();
}

} // namespace

QList<QUrl> ClipboardContent::copiedFiles(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    const QByteArray verb = lines.isEmpty() ? QByteArray() : lines.takeFirst().trimmed();
    if (verb != "copy" && verb != "cut")
        return {};
    QList<QUrl> urls;
    for (const QByteArray& line : std::as_const(lines)) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty())
            continue;
        const QUrl url = QUrl::fromEncoded(uri, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            urls << url;
    }
    return urls;
}

QStringList ClipboardContent::formatsToRead(const QStringList& offered)
{
    QStringList read;
    const auto take = [&](const QString& format) {
        if (offered.contains(format) && !read.contains(format))
            read << format;
    };
    take(uriList);
    for (const QString& format : copiedFormats)
        take(format);
    take(FileTransfer::mimeType);
    // One picture: PNG as it is, else the first kind Qt can decode.
    if (offered.contains(u"image/png")) {
        take(QStringLiteral("image/png"));
    } else {
        for (const QString& format : offered) {
            if (format.startsWith(u"image/") && isReadableImage(format)) {
                take(format);
                break;
            }
        }
    }
    take(QStringLiteral("text/x-moz-url"));
    for (const QString& format : {QStringLiteral("text/plain;charset=utf-8"),
                                  QStringLiteral("text/plain;charset=UTF-8"),
                                  QStringLiteral("text/plain")})
        take(format);
    for (const QString& format : offered) {
        if (format.startsWith(u"text/plain"))
            take(format);
    }
    return read;
}

std::unique_ptr<QMimeData> ClipboardContent::snapshot(const QList<QPair<QString, QByteArray>>& data)
{
    auto mime = std::make_unique<Snapshot>();
    QList<QUrl> copied;
    for (const auto& [format, bytes] : data) {
        if (copiedFormats.contains(format)) {
            if (copied.isEmpty())
                copied = copiedFiles(bytes);
            continue;
        }
        if (format.startsWith(u"image/")) {
            if (mime->picture.isEmpty())
                mime->picture = format;
            else
                continue;
        }
        mime->setData(format, bytes);
    }
    if (!copied.isEmpty() && mime->urls().isEmpty())
        mime->setUrls(copied);
    return mime;
}
