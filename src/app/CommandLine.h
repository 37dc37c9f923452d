#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What the user asked for on the command line, read before any application
// object exists (so --help and --version work without a display). Arguments
// are taken as the bytes they are: a file name need not be UTF-8.
struct CommandLine
{
    enum class Kind {
        Start,     // kavo
        NewShelf,  // kavo --new-shelf [FILE...]
        List,      // kavo --list
        Snapshot,  // kavo --snapshot DIR [FILE...] (always its own process)
        Help,      // kavo --help
        Version,   // kavo --version
        Error      // something we cannot do: `error` says what
    };

    Kind kind = Kind::Start;
    // --new-shelf: absolute, cleaned paths of files that exist; --snapshot:
    // the files to picture, absolute.
    QList<QByteArray> files;
    // --snapshot: the folder the pictures go to.
    QString snapshotFolder;
    QString error;
    // What Qt's application object may read: the program path and the Qt
    // options that stand before Kavo's command (a session manager restarts
    // Kavo with "-session ID"). Nothing after the command ever reaches Qt.
    QList<QByteArray> qtArguments;

    // `arguments` includes the program path first, as in argv. Qt's own
    // options (-session, -reverse, -style, …, also with two dashes) count
    // only before the command; "--" ends the options.
    static CommandLine parse(const QList<QByteArray>& arguments);
    static QString usage();
};
