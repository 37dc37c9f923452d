#pragma once

#include "model/ShelfStore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;

// Turns dropped content into items of a shelf, trying in this order: files
// (held by reference, also those a sandboxed program hands over through the
// desktop's portal), files another program saves on request (X Direct
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

    // Whether the clipboard holds anything a shelf can take, as last heard
    // (never waits for the clipboard's owner).
    static bool canPaste();
    // Takes what the clipboard holds as a drop of it would be taken: read in
    // the background (Kavo's own clipboard at once), then through take();
    // `done` gets whether anything was taken. A clipboard whose owner does
    // not hand it over within the reader's limits is told of.
    void paste(std::function<void(bool taken)> done = {});

    // Tells the user about content that could not be saved (the title names
    // it, the text says why).
    std::function<void(const QString& title, const QString& text)> onNotice;

private:
    // What a drop could not save (by the name its source gave, or none),
    // and why.
    struct Unsaved
    {
        bool failed = false;
        QString name;
        QString reason;
    };
    // What a later kind of content added to the shelf when an earlier one
    // could not be saved.
    enum class Added { Nothing, Picture, Link, Text };
    bool takeFiles(const QMimeData* mime);
    // Files a sandboxed program offers only through the FileTransfer portal.
    bool takeTransfer(const QMimeData* mime);
    bool takePromise(const QMimeData* mime, Unsaved* unsaved);
    bool takeImage(const QMimeData* mime, const Unsaved& earlier);
    bool takeLink(const QMimeData* mime, Unsaved* unsaved);
    bool takeText(const QMimeData* mime, Unsaved* unsaved);
    // The drop's link, else its text. Tells the user of `earlier` (what an
    // earlier kind could not save) and what was added instead; of `own` (a
    // picture that could not be written) or of the link's or text's failure
    // only when nothing was added.
    bool takeRest(const QMimeData* mime, const Unsaved& earlier, const Unsaved& own);
    // Runs `write` off the UI thread (it answers the written file, or nothing
    // with its error filled in); then adds the file and tells of `earlier`
    // with `kind` as what was added instead, or takes the rest of the drop
    // (its links and text, copied now) with the failure named `name`, told
    // in any case when `toldAnyway` (else only when nothing else was added).
    void writeLater(std::function<std::optional<QString>(QString* error)> write, const QMimeData* mime,
                    const QString& name, bool toldAnyway, const Unsaved& earlier, Added kind);
    void addWritten(const QString& path);
    void reportUnsaved(const Unsaved& unsaved, Added instead);

    std::weak_ptr<ShelfStore> m_store;
};
