#pragma once

#include <QString>
#include <QUrl>

// The diagnostic log of the shake gesture: one line per record, appended to
// $XDG_STATE_HOME/Kavo/shake.log (~/.local/state/Kavo/shake.log). Nothing in
// the program reads it back, rotates it or limits its size. Main thread.
namespace DebugLog {

// The log file. Computed once per process; that first computation creates
// the folder (a failure is ignored, and a folder deleted later is not made
// again until the next start).
QString path();
QUrl url();

// Appends "YYYY-MM-DD HH:MM:SS +0000 <message>\n" (UTC, UTF-8, the message
// unchanged). A missing file is created holding just that record. Every
// failure is silent: the record is lost.
void write(const QString& message);

} // namespace DebugLog
