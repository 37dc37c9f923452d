#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QMimeData;

// What a paste takes from the clipboard: the formats a drop would take, read
// in the order the drop pipeline tries them, and the snapshot of their
// bytes that then goes through that pipeline as a drop's data would.
namespace ClipboardContent {

// The files of a file manager's own clipboard form (GNOME's and MATE's
// "x-special/…-copied-files"): "copy" or "cut" on the first line, then one
// URI a line; nothing when the first line is neither.
QList<QUrl> copiedFiles(const QByteArray& bytes);

// Of the formats on offer, those a paste reads, in the pipeline's order:
// file lists, files through the portal, one picture, links, text. Empty when
// nothing on offer is anything a drop would take. Pure; any thread.
QStringList formatsToRead(const QStringList& offered);

// The clipboard's bytes as a drop's data: a file manager's copied files
// become the file list where no text/uri-list lists any, and a picture is
// an image (decoded only if asked for).
std::unique_ptr<QMimeData> snapshot(const QList<QPair<QString, QByteArray>>& data);

} // namespace ClipboardContent
