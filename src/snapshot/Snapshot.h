#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// "--snapshot DIR [FILE…]": renders three pictures of a shelf (empty, as a
// stack, as a list) into DIR (made if missing) as PNG files, then ends the
// program with status 0, or 1 naming the pictures that could not be written.
// Runs on its own, without the tray, the shake detector, the hot key or the
// update checker.
namespace Snapshot {

// Shows a shelf and schedules the three pictures; returns at once.
void run(const QString& folder, const QList<QByteArray>& files);

inline constexpr char emptyFile[] = "shelf-empty.png";
inline constexpr char stackFile[] = "shelf-stack.png";
inline constexpr char listFile[] = "shelf-list.png";

} // namespace Snapshot
