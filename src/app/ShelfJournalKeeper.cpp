#include "app/ShelfJournalKeeper.h"

#include "app/ShelfRegistry.h"
#include "core/Background.h"
#include "core/NextTurn.h"
#include "core/NativePath.h"
#include "core/StateFolder.h"
#include "drops/DropFolders.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <mutex>

// What the writers share with the keeper: one write at a time (the last one
// at a quit may meet one still running), and the bytes last written, so that
// a change that changes nothing the journal holds (a preview arriving) writes
// nothing.
struct ShelfJournalKeeper::Shared
{
    std::mutex writing;
    QByteArray written;
};

namespace {

// The names of the drop folders that the shelves hold items of.
QSet<QByteArray> dropFoldersHeld(const QList<ShelfJournal::Shelf>& shelves)
{
    const QByteArray root = QFile::encodeName(DropFolders::droppedFilesRoot()) + '/';
    QSet<QByteArray> held;
    for (const ShelfJournal::Shelf& shelf : shelves) {
        for (const ShelfJournal::Item& item : shelf.items) {
            if (item.path.startsWith(root))
                held.insert(item.path.mid(root.size()).split('/').value(0));
        }
    }
    return held;
}

} // namespace

ShelfJournalKeeper::ShelfJournalKeeper(ShelfRegistry& shelves, QString file)
    : m_shelves(shelves), m_file(std::move(file)), m_shared(std::make_shared<Shared>())
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ShelfJournalKeeper::writeNow);
}

ShelfJournalKeeper::~ShelfJournalKeeper() = default;

void ShelfJournalKeeper::start(std::function<void(const QSet<QByteArray>&)> cleanUp,
                               std::function<void()> done)
{
    // The start-up goes on once the shelves are back, or after the time-out
    // (then shelves read later still come back, but no clean-up runs: it
    // could meet drops already under way).
    auto goneOn = std::make_shared<bool>(false);
    const auto goOn = [goneOn, done] {
        if (!std::exchange(*goneOn, true) && done)
            done();
    };
    QTimer::singleShot(readTimeoutMs, this, goOn);
    QPointer<ShelfJournalKeeper> self(this);
    Background::run([self, file = m_file, goneOn, goOn, cleanUp] {
        // A journal with shelves in it: what their first one needs is loaded
        // on the UI thread while the journal is read and checked here.
        if (QFileInfo(file).size() > minimumWithShelves)
            QMetaObject::invokeMethod(qApp, &ShelfWindowController::prepare, Qt::QueuedConnection);
        ShelfJournal::ReadResult read = ShelfJournal::read(file);
        QMetaObject::invokeMethod(
            qApp,
            [self, goneOn, goOn, cleanUp, read = std::move(read)] {
                if (!self)
                    return;
                if (!read.problem.isEmpty())
                    self->tell(tr("Kavo couldn't reopen the shelves"),
                               tr("The list of open shelves could not be read (%1); it was "
                                  "kept as \u201c%2\u201d. Kavo starts with no shelves.")
                                   .arg(read.problem, self->m_file + QStringLiteral(".bad")));
                if (cleanUp && !*goneOn)
                    cleanUp(dropFoldersHeld(read.shelves));
                // Written only from now on: a journal not read yet is never
                // written over.
                connect(&self->m_shelves, &ShelfRegistry::shelvesChanged, self,
                        &ShelfJournalKeeper::changed);
                self->m_read = true;
                self->m_waiting = read.shelves;
                inNextTurn(self, [self, goOn] {
                    self->restoreNext([self, goOn] {
                        goOn();
                        if (self)
                            self->changed();
                    });
                });
            },
            Qt::QueuedConnection);
    });
}

// Each turn shows the shelf made in the turn before and makes the next one:
// restoring many never holds the UI thread for long, and showing a window,
// which costs as much as making it, has a turn without the first paint of
// the shelf before.
void ShelfJournalKeeper::restoreNext(std::function<void()> done, QPointer<ShelfWindowController> made,
                                     QRect frame)
{
    if (made)
        made->showRestored(frame);
    if (m_waiting.isEmpty()) {
        if (done)
            done();
        return;
    }
    const ShelfJournal::Shelf shelf = m_waiting.takeFirst();
    QList<ShelfItemPtr> items;
    items.reserve(shelf.items.size());
    for (const ShelfJournal::Item& item : shelf.items)
        items << ShelfStore::makeItems({NativePath::toUrl(item.path)}, item.temporary);
    made = m_shelves.restoreShelf(shelf.listMode, items);
    inNextTurn(this, [this, done = std::move(done), made, frame = shelf.frame]() mutable {
        restoreNext(std::move(done), made, frame);
    });
}

QList<ShelfJournal::Shelf> ShelfJournalKeeper::current() const
{
    QList<ShelfJournal::Shelf> shelves;
    for (const auto& controller : m_shelves.shelves()) {
        if (controller->isClosing() || !controller->window() || controller->store()->items.isEmpty())
            continue;
        ShelfJournal::Shelf shelf;
        shelf.frame = controller->window()->geometry();
        shelf.listMode = controller->content()->isListMode();
        shelf.items.reserve(controller->store()->items.size());
        for (const ShelfItemPtr& item : std::as_const(controller->store()->items))
            shelf.items << ShelfJournal::Item{item->nativePath(), item->isTemporary()};
        shelves << shelf;
    }
    return shelves;
}

void ShelfJournalKeeper::changed()
{
    watchNewShelves();
    writeSoon();
}

void ShelfJournalKeeper::watchNewShelves()
{
    // A move or a resize (a switch of mode) of a shelf changes its frame.
    for (const auto& controller : m_shelves.shelves()) {
        QObject* window = controller->window();
        if (window && !m_watched.contains(window)) {
            m_watched.insert(window);
            window->installEventFilter(this);
            connect(window, &QObject::destroyed, this,
                    [this, window] { m_watched.remove(window); });
        }
    }
}

bool ShelfJournalKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        writeSoon();
    return QObject::eventFilter(watched, event);
}

void ShelfJournalKeeper::writeSoon()
{
    if (m_finished)
        return;
    // Written once the changes pause, and during a long burst of them at
    // least every `longestMs`.
    const qint64 now = m_clock.elapsed();
    if (m_firstChange < 0)
        m_firstChange = now;
    m_timer.start(int(std::max<qint64>(0, std::min<qint64>(quietMs, m_firstChange + longestMs - now))));
}

void ShelfJournalKeeper::writeNow()
{
    m_firstChange = -1;
    if (m_finished)
        return;
    if (m_writing) {
        m_again = true;
        return;
    }
    m_writing = true;
    QPointer<ShelfJournalKeeper> self(this);
    Background::run([self, shared = m_shared, file = m_file, shelves = current()] {
        const QByteArray bytes = ShelfJournal::encode(shelves);
        QString error;
        {
            const std::lock_guard<std::mutex> lock(shared->writing);
            if (bytes != shared->written) {
                StateFolder::make();
                error = ShelfJournal::write(file, bytes);
                if (error.isEmpty())
                    shared->written = bytes;
            }
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, error] {
                if (!self)
                    return;
                self->m_writing = false;
                if (!error.isEmpty())
                    self->tell(tr("Kavo couldn't remember the open shelves"),
                               tr("The list of open shelves could not be written to "
                                  "\u201c%1\u201d: %2. Kavo goes on, but after a crash or a "
                                  "restart the shelves will not come back.")
                                   .arg(self->m_file, error));
                if (std::exchange(self->m_again, false))
                    self->writeNow();
            },
            Qt::QueuedConnection);
    });
}

void ShelfJournalKeeper::finish(bool keepShelves)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    // A quit in the first moments, or with a home on a stalled mount, must
    // not write over shelves that were never read.
    if (keepShelves && !m_read)
        return;
    const QByteArray bytes = ShelfJournal::encode(
        keepShelves ? current() + m_waiting : QList<ShelfJournal::Shelf>());
    const std::lock_guard<std::mutex> lock(m_shared->writing);
    if (bytes == m_shared->written)
        return;
    StateFolder::make();
    if (ShelfJournal::write(m_file, bytes).isEmpty())
        m_shared->written = bytes;
}

void ShelfJournalKeeper::tell(const QString& title, const QString& text)
{
    if (m_told.contains(title))
        return;
    m_told.insert(title);
    if (onNotice)
        onNotice(title, text);
}
