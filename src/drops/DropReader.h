#pragma once

#include "model/ShelfStore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QMimeData;

// Turns dropped content into items of a shelf, trying in this order: files
// (held by reference), files another program saves on request (X Direct
// Save), a picture, a web link, text. Everything but files is written into a
// new drop folder first and held as a temporary item; what cannot be saved
// is told, and leaves nothing behind. Main thread; pictures are encoded and
// written off it.
class DropReader : public QObject
{
    Q_OBJECT
public:
    explicit DropReader(std::weak_ptr<ShelfStore> store, QObject* parent = nullptr);

    // Whether a drag carries anything a shelf can take.
    static bool canTake(const QMimeData* mime);
    // Takes the dropped content; answers whether it was taken (a picture is
    // written later, and falls back to the drop's link or text if it cannot
    // be).
    bool take(const QMimeData* mime);

    // Tells the user about content that could not be saved (the title names
    // it, the text says why).
    std::function<void(const QString& title, const QString& text)> onNotice;

private:
    // What a drop could not save, and why.
    struct Unsaved
    {
        QString name;
        QString reason;
    };
    bool takeFiles(const QMimeData* mime);
    bool takePromise(const QMimeData* mime);
    bool takeImage(const QMimeData* mime);
    bool takeLink(const QMimeData* mime, Unsaved* unsaved);
    bool takeText(const QMimeData* mime, Unsaved* unsaved);
    void addWritten(const QString& path);
    void reportUnsaved(const QString& name, const QString& reason);

    std::weak_ptr<ShelfStore> m_store;
};
