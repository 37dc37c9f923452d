// The two texts that describe a shelf: its title (summary) and the line under
// it (detail). Both are computed from the file system on every read.
#include "model/ShelfStore.h"

#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QStringList>

namespace {

const QString emptyShelfHint = QStringLiteral("Shake a drag or press Ctrl+Alt+Space");
const QString separator = QStringLiteral(" \u00B7 ");

// The name a file manager shows for a path: its last component, or the whole
// path for the root folder.
QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

QString ShelfStore::summary() const
{
    const qsizetype n = items.size();
    if (n == 0)
        return QStringLiteral("Empty shelf");
    if (n == 1)
        return displayName(items.first()->path());
    return QString::number(n) + QStringLiteral(" items");
}

QString ShelfStore::detail() const
{
    const qsizetype n = items.size();
    if (n == 0)
        return emptyShelfHint;

    qint64 folders = 0;
    qint64 bytes = 0;
    for (const ShelfItemPtr& item : items) {
        const QFileInfo info(item->path());
        if (!info.exists())
            continue; // a vanished file counts as a file of size 0
        if (info.isDir())
            ++folders;
        else
            bytes += info.size();
    }

    QStringList pieces;
    if (bytes >= 1)
        pieces << QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
    if (folders == 1)
        pieces << QStringLiteral("1 folder");
    else if (folders >= 2)
        pieces << QString::number(folders) + QStringLiteral(" folders");

    if (n == 1 && folders == 0) {
        const QString path = items.first()->path();
        if (QFileInfo::exists(path)) {
            static const QMimeDatabase db;
            const QString kind = db.mimeTypeForFile(path).comment();
            if (!kind.isEmpty())
                pieces.prepend(kind);
        }
    }
    return pieces.join(separator);
}
