#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>

// The journal of the open shelves, $XDG_STATE_HOME/Kavo/shelves.json: what
// each shelf that holds items looks like and holds, so that a restart after a
// crash, a logout or a quit brings the shelves back. This is the file's form,
// its atomic writing and its careful reading; when to write and what to do
// with what is read belong to the program.
namespace ShelfJournal {

struct Item
{
    QByteArray path; // the exact bytes of the file's absolute path
    bool temporary = false; // a file Kavo wrote for dropped content
    friend bool operator==(const Item&, const Item&) = default;
};

struct Shelf
{
    QRect frame; // in the screen's points, as Qt places windows
    bool listMode = false;
    QList<Item> items;
    friend bool operator==(const Shelf&, const Shelf&) = default;
};

// What a journal may hold; a file beyond any of these is damaged.
constexpr qint64 maxFileBytes = 64 * 1024 * 1024;
constexpr qsizetype maxShelves = 1024;
constexpr qsizetype maxItems = 1024 * 1024; // in all shelves together
constexpr qsizetype maxPathBytes = 4096;
constexpr int maxCoordinate = 1 << 20;

QString path();

// The journal's bytes for `shelves` (shelves without items are left out).
QByteArray encode(const QList<Shelf>& shelves);
// The shelves of a journal's bytes, or false with `why` said.
bool decode(const QByteArray& bytes, QList<Shelf>* shelves, QString* why);

// The steps of a write, for tests that stop it in between.
enum class WriteStep { Opened, PartWritten, Written, Synced, Renamed };

// Writes `bytes` as `file` so that a crash at any moment leaves either the old
// file or the new one: a private temporary file in the same folder, written
// and synced, renamed over the file, then the folder synced. Answers the
// system's reason when it fails (and leaves no temporary file), else nothing.
// Blocks: run it off the UI thread.
QString write(const QString& file, const QByteArray& bytes,
              const std::function<void(WriteStep)>& step = {});

struct ReadResult
{
    QList<Shelf> shelves;
    // Why the journal could not be used (it is moved aside as FILE.bad when
    // damaged); empty when it could, or when there is none.
    QString problem;
};
// Reads the journal `file` (a missing one is no shelves), keeping of each shelf
// only the items whose files still exist and of the shelves only those left
// with items. Blocks: run it off the UI thread.
ReadResult read(const QString& file);

} // namespace ShelfJournal
