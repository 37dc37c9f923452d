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

bool ShelfItem::setFacts(const FileFacts& facts, quint64 asked)
{
    if (asked < m_factsAsked)
        return false;
    m_factsAsked = asked;
    if (m_facts && !m_facts->sameContents(facts)) {
        // Written or replaced: the preview showed what is no longer there.
        ++m_contentsVersion;
        m_hasPreview = false;
        m_thumbnail = QImage();
    }
    // A type learnt from the file itself changes the icon (until a preview
    // arrives, which always wins).
    if (!m_hasPreview && (!m_facts || m_facts->mimeType != facts.mimeType))
        m_thumbnail = QImage();
    m_facts = facts;
    return true;
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
