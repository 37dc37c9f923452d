#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>

// One file held by a shelf. Items are compared by identity only: two
// ShelfItem pointers are the same item exactly when they point at the same
// object. The picture starts as the file's icon and is replaced at most once
// by a preview thumbnail.
class ShelfItem
{
public:
    ShelfItem(const QUrl& url, bool isTemporary);
    // For callers that already hold the URL's local path.
    ShelfItem(const QUrl& url, const QString& path, bool isTemporary);
    ShelfItem(const ShelfItem&) = delete;
    ShelfItem& operator=(const ShelfItem&) = delete;

    // The location exactly as it was handed to the store.
    const QUrl& url() const { return m_url; }
    // The local path of url().
    const QString& path() const { return m_path; }
    // The path with "." and ".." segments resolved (links are not resolved);
    // the store de-duplicates by it.
    const QString& key() const { return m_key; }
    // True when the program wrote the file into one of its drop folders.
    bool isTemporary() const { return m_isTemporary; }

    // The picture drawn for the item: the preview once one has arrived,
    // otherwise the icon for the file's type. Never null.
    QImage thumbnail() const;
    bool hasPreview() const { return m_hasPreview; }
    void setThumbnail(const QImage& image);

    // Resolves "." and ".." in a local path, the way the store compares files.
    static QString standardizedPath(const QString& path);

private:
    QUrl m_url;
    QString m_path;
    QString m_key;
    bool m_isTemporary;
    bool m_hasPreview = false;
    // The file icon is looked up on first use: a shelf may take thousands of
    // files at once and only ever draws a few of them.
    mutable QImage m_thumbnail;
};

using ShelfItemPtr = std::shared_ptr<ShelfItem>;
