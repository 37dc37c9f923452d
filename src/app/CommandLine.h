#pragma once

#include <QString>
#include <QStringList>

// What the user asked for on the command line, read before any application
// object exists (so --help and --version work without a display).
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
    // --new-shelf: absolute paths of files that exist.
    QStringList files;
    QString error;

    // `arguments` includes the program path first, as in argv.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};
