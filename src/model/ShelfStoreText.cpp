// The two texts that describe a shelf: its title (summary) and the line under
// it (detail), from the items and what the file system last said of them.
#include "model/ShelfStore.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMimeDatabase>
#include <QStringList>

namespace {

QString text(const char* source, qint64 n = -1)
{
    return QCoreApplication::translate("ShelfStore", source, nullptr, int(n));
}

const QString separator = QStringLiteral(" \u00B7 ");

} // namespace

QString ShelfStore::summary() const
{
    const qsizetype n = items.size();
    if (n == 0)
        return text(QT_TRANSLATE_NOOP("ShelfStore", "Empty shelf"));
    if (n == 1)
        return items.first()->displayName();
    return text(QT_TRANSLATE_N_NOOP("ShelfStore", "%Ln items"), n);
}

QString ShelfStore::detail() const
{
    const qsizetype n = items.size();
    if (n == 0)
        return text(QT_TRANSLATE_NOOP("ShelfStore", "Shake a drag or press Ctrl+Alt+Space"));

    // From what the file system last said about each file (asked off the UI
    // thread); a file not heard of yet, like one that vanished, counts as a
    // file of size 0.
    qint64 folders = 0;
    qint64 bytes = 0;
    for (const ShelfItemPtr& item : items) {
        const std::optional<FileFacts>& facts = item->facts();
        if (!facts || !facts->exists)
            continue;
        if (facts->isDir)
            ++folders;
        else
            bytes += facts->size;
    }

    QStringList pieces;
    if (bytes >= 1)
        pieces << QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
    if (folders >= 1)
        pieces << text(QT_TRANSLATE_N_NOOP("ShelfStore", "%Ln folders"), folders);

    if (n == 1 && folders == 0) {
        const std::optional<FileFacts>& facts = items.first()->facts();
        if (facts && facts->exists && !facts->mimeType.isEmpty()) {
            static const QMimeDatabase db;
            const QString kind = db.mimeTypeForName(facts->mimeType).comment();
            if (!kind.isEmpty())
                pieces.prepend(kind);
        }
    }
    return pieces.join(separator);
}
