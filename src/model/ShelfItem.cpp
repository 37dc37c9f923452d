#include "model/ShelfItem.h"

#include "platform/FileIcons.h"

#include <QDir>

ShelfItem::ShelfItem(const QUrl& url, bool isTemporary)
    : ShelfItem(url, url.toLocalFile(), isTemporary)
{
}

ShelfItem::ShelfItem(const QUrl& url, const QString& path, bool isTemporary)
    : m_url(url), m_path(path), m_key(standardizedPath(path)), m_isTemporary(isTemporary)
{
}

QImage ShelfItem::thumbnail() const
{
    if (m_thumbnail.isNull())
        m_thumbnail = FileIcons::iconForFile(m_path);
    return m_thumbnail;
}

void ShelfItem::setThumbnail(const QImage& image)
{
    if (image.isNull())
        return;
    m_thumbnail = image;
    m_hasPreview = true;
}

QString ShelfItem::standardizedPath(const QString& path)
{
    return QDir::cleanPath(path);
}
