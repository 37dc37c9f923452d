#pragma once

#include "core/FileFacts.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// One file held by a shelf. Items are compared by identity only: two
// ShelfItem pointers are the same item exactly when they point at the same
// object. The picture starts as the icon of the file's type and is replaced
// by a preview thumbnail; when the file's contents change, it is the icon
// again until a preview of the new contents arrives.
class ShelfItem
{
public:
    // `url` must be a local file URL (NativePath::isLocalFile).
    ShelfItem(const QUrl& url, bool isTemporary);
    ShelfItem(const ShelfItem&) = delete;
    ShelfItem& operator=(const ShelfItem&) = delete;

    // The location exactly as it was handed to the store.
    const QUrl& url() const { return m_url; }
    // The path's bytes, as the file system knows them.
    const QByteArray& nativePath() const { return m_nativePath; }
    // The path as text, for showing (a name that is not UTF-8 shows U+FFFD).
    QString path() const;
    // The name a file manager shows: the last component, or "/" for the root.
    QString displayName() const;
    // The path's bytes with "." and ".." resolved (links are not resolved);
    // the store de-duplicates by it.
    const QByteArray& key() const { return m_key; }
    // True when the program wrote the file into one of its drop folders.
    bool isTemporary() const { return m_isTemporary; }

    // What the file system last said about the file; nothing until the
    // first answer has arrived (it is asked off the UI thread).
    const std::optional<FileFacts>& facts() const { return m_facts; }
    // Takes the facts of an answer to the request numbered `asked` (numbers
    // grow with each request): an answer to a request older than the one
    // whose facts it holds comes late and is ignored. Answers whether the
    // facts were taken.
    bool setFacts(const FileFacts& facts, quint64 asked);
    // Grows each time the facts tell of other contents than before; a
    // preview made of older contents is stale.
    int contentsVersion() const { return m_contentsVersion; }
    // The file's MIME type: from its facts, else from its name.
    QString mimeType() const;

    // The picture drawn for the item: the preview once one has arrived,
    // otherwise the icon of the file's type. Never null.
    QImage thumbnail() const;
    bool hasPreview() const { return m_hasPreview; }
    void setThumbnail(const QImage& image);

private:
    QUrl m_url;
    QByteArray m_nativePath;
    QByteArray m_key;
    bool m_isTemporary;
    bool m_hasPreview = false;
    std::optional<FileFacts> m_facts;
    quint64 m_factsAsked = 0;
    int m_contentsVersion = 0;
    // The icon is looked up on first use: a shelf may take thousands of
    // files at once and only ever draws a few of them.
    mutable QImage m_thumbnail;
};

using ShelfItemPtr = std::shared_ptr<ShelfItem>;
