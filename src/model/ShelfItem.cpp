#include "model/ShelfItem.h"

#include "core/NativePath.h"
#include "platform/FileIcons.h"

ShelfItem::ShelfItem(const QUrl& url, bool isTemporary)
    : m_url(url), m_nativePath(NativePath::fromUrl(url)), m_key(NativePath::clean(m_nativePath)),
      m_isTemporary(isTemporary)
{
}

QString ShelfItem::path() const { return NativePath::display(m_nativePath); }

QString ShelfItem::displayName() const { return NativePath::displayName(m_nativePath); }

void ShelfItem::setFacts(const FileFacts& facts)
{
    // A type learnt from the file itself changes the icon (until a preview
    // arrives, which always wins).
    if (!m_hasPreview && (!m_facts || m_facts->mimeType != facts.mimeType))
        m_thumbnail = QImage();
    m_facts = facts;
}

QString ShelfItem::mimeType() const
{
    if (m_facts && !m_facts->mimeType.isEmpty())
        return m_facts->mimeType;
    return FileIcons::typeForName(displayName());
}

QImage ShelfItem::thumbnail() const
{
    if (m_thumbnail.isNull())
        m_thumbnail = FileIcons::iconForType(mimeType());
    return m_thumbnail;
}

void ShelfItem::setThumbnail(const QImage& image)
{
    if (image.isNull())
        return;
    m_thumbnail = image;
    m_hasPreview = true;
}
