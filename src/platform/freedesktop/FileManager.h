#pragma once

#include <QList>
#include <QUrl>

// The desktop's file manager and default applications.
namespace FileManager {

// Shows the files selected in the file manager (D-Bus
// org.freedesktop.FileManager1.ShowItems, asynchronous). When no file manager
// answers, opens the folder of the first file instead.
void reveal(const QList<QUrl>& files);

// Opens a file or address with its default application.
void open(const QUrl& url);

} // namespace FileManager
