#include "app/CommandLine.h"

#include "core/NativePath.h"

#include <sys/stat.h>

namespace {

// The options that Qt reads for itself (QGuiApplication, QApplication and
// the xcb platform), with one dash or two: a session manager restarts Kavo
// with "-session ID", a user may give "-reverse" or "-style NAME".
enum class QtOption { No, Flag, WithValue };

QtOption qtOption(QByteArray arg)
{
    if (arg.startsWith("--"))
        arg.remove(0, 1);
    static const QList<QByteArray> withValue{
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
        "-geometry", "-qwindowtitle", "-title", "-qwindowicon", "-icon", "-session", "-style",
        "-stylesheet", "-display", "-name", "-visual", "-fn", "-font", "-bg", "-background",
        "-fg", "-foreground", "-btn", "-button", "-cmap", "-ncols"};
    static const QList<QByteArray> flags{"-reverse", "-widgetcount", "-nograb", "-dograb",
                                         "-sync", "-testability", "-qmljsdebugger"};
    if (withValue.contains(arg))
        return QtOption::WithValue;
    const qsizetype eq = arg.indexOf('=');
    if (flags.contains(arg) || (eq > 0 && (withValue.contains(arg.left(eq)) ||
                                           flags.contains(arg.left(eq)))))
        return QtOption::Flag;
    return QtOption::No;
}

QString shown(const QByteArray& arg) { return QString::fromLocal8Bit(arg); }

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

CommandLine CommandLine::parse(const QList<QByteArray>& arguments)
{
    CommandLine cl;
    // The snapshot mode takes everything after it as its own arguments: the
    // folder, then the files.
    const qsizetype snapshot = arguments.indexOf("--snapshot");
    if (snapshot >= 0 && snapshot + 1 < arguments.size()) {
        cl.kind = Kind::Snapshot;
        cl.snapshotFolder = shown(arguments[snapshot + 1]);
        for (const QByteArray& file : arguments.mid(snapshot + 2))
            cl.files << NativePath::absolute(file);
        return cl;
    }

    QList<QByteArray> args;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray& a = arguments[i];
        const QtOption option = qtOption(a);
        if (option == QtOption::WithValue) {
            ++i; // its value
            continue;
        }
        if (option == QtOption::Flag || a == "--snapshot") // last, with nothing after it
            continue;
        args << a;
    }
    if (args.isEmpty())
        return cl;

    const QByteArray& command = args.first();
    auto fail = [&cl](const QString& message) {
        cl.kind = Kind::Error;
        cl.error = message;
        return cl;
    };
    if (command == "--help" || command == "-h") {
        cl.kind = Kind::Help;
        return cl;
    }
    if (command == "--version" || command == "-v") {
        cl.kind = Kind::Version;
        return cl;
    }
    if (command == "--list") {
        if (args.size() > 1)
            return fail(QStringLiteral("--list takes no arguments"));
        cl.kind = Kind::List;
        return cl;
    }
    if (command == "--new-shelf") {
        for (qsizetype i = 1; i < args.size(); ++i) {
            struct stat st;
            if (args[i].isEmpty() || ::stat(args[i].constData(), &st) != 0)
                return fail(QStringLiteral("no such file: %1").arg(shown(args[i])));
            cl.files << NativePath::absolute(args[i]);
        }
        cl.kind = Kind::NewShelf;
        return cl;
    }
    if (command.startsWith('-'))
        return fail(QStringLiteral("unknown option: %1").arg(shown(command)));
    return fail(QStringLiteral("unexpected argument: %1").arg(shown(command)));
}
