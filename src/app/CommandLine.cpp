#include "app/CommandLine.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Options Qt reads for itself, with their values; they may come with any
// command.
bool isQtOption(const QString& arg)
{
    static const QStringList withValue{"-platform", "-display",      "-style",
                                       "-qwindowgeometry", "-qwindowtitle", "-name"};
    return withValue.contains(arg);
}

} // namespace

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: kavo [COMMAND]\n"
        "Temporary shelves for files: drag a file and shake the pointer, press\n"
        "Ctrl+Alt+Space, or choose New Shelf in the tray menu.\n"
        "\n"
        "Commands:\n"
        "  (none)                     start Kavo (once per user and display)\n"
        "  --new-shelf [FILE...]      open a shelf at the pointer holding the files\n"
        "                             (starts Kavo if it is not running)\n"
        "  --list                     print the open shelves of the running Kavo as JSON\n"
        "  --snapshot DIR [FILE...]   write pictures of a shelf to DIR and exit\n"
        "  --help                     show this help\n"
        "  --version                  show the version\n");
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine cl;
    // The snapshot mode takes everything after it as its own arguments.
    const qsizetype snapshot = arguments.indexOf(QStringLiteral("--snapshot"));
    if (snapshot >= 0 && snapshot + 1 < arguments.size()) {
        cl.kind = Kind::Snapshot;
        return cl;
    }

    QStringList args;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (isQtOption(a)) {
            ++i; // its value
            continue;
        }
        if (a == u"--snapshot") // last, with nothing after it: start as usual
            continue;
        args << a;
    }
    if (args.isEmpty())
        return cl;

    const QString& command = args.first();
    auto fail = [&cl](const QString& message) {
        cl.kind = Kind::Error;
        cl.error = message;
        return cl;
    };
    if (command == u"--help" || command == u"-h") {
        cl.kind = Kind::Help;
        return cl;
    }
    if (command == u"--version" || command == u"-v") {
        cl.kind = Kind::Version;
        return cl;
    }
    if (command == u"--list") {
        if (args.size() > 1)
            return fail(QStringLiteral("--list takes no arguments"));
        cl.kind = Kind::List;
        return cl;
    }
    if (command == u"--new-shelf") {
        for (qsizetype i = 1; i < args.size(); ++i) {
            const QFileInfo info(args[i]);
            if (!info.exists())
                return fail(QStringLiteral("no such file: %1").arg(args[i]));
            cl.files << QDir::cleanPath(info.absoluteFilePath());
        }
        cl.kind = Kind::NewShelf;
        return cl;
    }
    if (command.startsWith(u'-'))
        return fail(QStringLiteral("unknown option: %1").arg(command));
    return fail(QStringLiteral("unexpected argument: %1").arg(command));
}
