#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

// The folders that hold dropped content: one fresh folder per drop under
// <cache>/io.github.kavo.Kavo/Dropped, made only through folders of Kavo's own
// (never through a symbolic link), and deleted at a launch once more than
// seven days old.
namespace DropFolders {

// <cache>/io.github.kavo.Kavo/Dropped (not created).
QString droppedFilesRoot();
// Creates and returns a new, uniquely named folder under the root; an empty
// path, with `error` saying why, when it cannot be made (an unwritable
// cache, a symbolic link where Kavo's own folders belong).
QString newDropFolder(QString* error = nullptr);
// Deletes a drop folder with whatever a failed drop left in it.
void removeDropFolder(const QString& folder);
// Deletes entries directly under the root that were created more than
// seven days before `now` (or whose date cannot be read), and in younger
// drop folders the files that a drop killed while writing left behind
// (named with `partialPrefix`; a folder left empty goes too). Never follows
// symbolic links: a link is removed as a link.
// Drop folders named in `held` (the shelves still hold items of them) are
// kept however old.
void cleanUpOldPromises(const QSet<QByteArray>& held = {},
                        const QDateTime& now = QDateTime::currentDateTimeUtc());
// The creation date of an entry as the clean-up sees it: its birth time, or
// its modification time where the file system keeps no birth time; of the
// entry itself, not of a link's target. Invalid when neither exists.
QDateTime entryDate(const QString& path);

inline constexpr qint64 maxDropAgeSeconds = 7 * 24 * 3600;
// The name a dropped file is written under until it is whole.
inline constexpr char partialPrefix[] = ".partial-";

} // namespace DropFolders
