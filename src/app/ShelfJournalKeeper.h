#pragma once

#include "model/ShelfJournal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

class ShelfRegistry;
class ShelfWindowController;

// Keeps the journal of the open shelves current and brings its shelves back
// at start. Every change that matters (items added or removed, a shelf
// opened, moved, resized by a switch of mode, or closed) is written once the
// changes have paused, off the UI thread; a clean quit writes the last state
// at once. Main thread only.
class ShelfJournalKeeper : public QObject
{
    Q_OBJECT
public:
    explicit ShelfJournalKeeper(ShelfRegistry& shelves, QString file = ShelfJournal::path());
    ~ShelfJournalKeeper() override;

    // Reads the journal off the UI thread; then, on the UI thread, calls
    // `cleanUp` with the names of the drop folders its shelves hold items
    // of, brings those shelves back one per turn of the event loop, and
    // calls `done`. When the journal has not been read after `readTimeoutMs`
    // (a home on a stalled mount), `done` is called then and `cleanUp`
    // never; the shelves come back whenever it is read. Nothing is written
    // before it has been read.
    void start(std::function<void(const QSet<QByteArray>& heldDropFolders)> cleanUp,
               std::function<void()> done);
    // A clean quit: the journal gets the shelves as they are when
    // `keepShelves` (with those read but not back yet), else none. Written
    // at once, on the calling thread. A journal not read yet is left as it
    // is when `keepShelves`: it still holds the last run's shelves.
    void finish(bool keepShelves);

    // Said once per run when the journal cannot be written, and when it was
    // damaged.
    std::function<void(const QString& title, const QString& text)> onNotice;

    static constexpr int quietMs = 500;
    static constexpr int longestMs = 1500;
    static constexpr int readTimeoutMs = 3000;
    // A journal below this size holds no shelf: a shelf brings a frame and
    // a path, the empty journal is about 30 bytes.
    static constexpr qint64 minimumWithShelves = 64;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Shared;
    void changed();
    void writeSoon();
    void writeNow();
    void watchNewShelves();
    QList<ShelfJournal::Shelf> current() const;
    void restoreNext(std::function<void()> done, QPointer<ShelfWindowController> made = {},
                     QRect frame = {});
    void tell(const QString& title, const QString& text);

    ShelfRegistry& m_shelves;
    QString m_file;
    std::shared_ptr<Shared> m_shared;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_firstChange = -1;
    bool m_writing = false, m_again = false, m_finished = false;
    bool m_read = false;
    QList<ShelfJournal::Shelf> m_waiting; // read, not brought back yet
    QSet<QString> m_told; // what was said already, by title
    QSet<QObject*> m_watched;
};
