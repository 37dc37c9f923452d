#include "app/CommandLine.h"

#include "core/NativePath.h"

#include <QCoreApplication>
#include <QFile>

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

QString text(const char* source) { return QCoreApplication::translate("CommandLine", source); }

} // namespace

QString CommandLine::usage()
{
    return text(QT_TRANSLATE_NOOP(
        "CommandLine",
        "Usage: kavo [COMMAND]\n"
        "Temporary shelves for files: drag a file and shake the pointer, press\n"
        "Ctrl+Alt+Space (or the key chosen in the tray menu), or choose New Shelf\n"
        "in the tray menu.\n"
        "\n"
        "Commands:\n"
        "  (none)                     start Kavo (once per user and display)\n"
        "  --new-shelf [FILE...]      open a shelf at the pointer holding the files\n"
        "                             (starts Kavo if it is not running)\n"
        "  --list                     print the open shelves of the running Kavo as JSON\n"
        "  --snapshot DIR [FILE...]   write pictures of a shelf to DIR and exit\n"
        "  --help                     show this help\n"
        "  --version                  show the version\n"
        "\n"
        "On Wayland the key works in every window where the desktop offers global\n"
        "shortcuts through its portal, elsewhere only over X11 windows: there, bind\n"
        "\"kavo --new-shelf\" to a shortcut in the desktop's settings instead.\n"
        "The keys of a shelf, of its list and of the preview are in kavo(1).\n"));
}

CommandLine CommandLine::parse(const QList<QByteArray>& arguments)
{
    CommandLine cl;
    if (!arguments.isEmpty())
        cl.qtArguments << arguments.first();
    // Qt's own options count only before Kavo's command: everything after
    // the command is the command's (a file may well be named "-display").
    // "--" ends the options; what follows it is never an option to Qt.
    qsizetype i = 1;
    for (; i < arguments.size(); ++i) {
        const QByteArray& a = arguments[i];
        if (a == "--") {
            ++i;
            break;
        }
        const QtOption option = qtOption(a);
        if (option == QtOption::No)
            break;
        cl.qtArguments << a;
        if (option == QtOption::WithValue && i + 1 < arguments.size())
            cl.qtArguments << arguments[++i];
    }
    if (i >= arguments.size())
        return cl;

    const QByteArray& command = arguments[i];
    // The command's own arguments; the first "--" among them only ends
    // the options, so that a file named "--" can still follow it.
    QList<QByteArray> args = arguments.mid(i + 1);
    if (const qsizetype end = args.indexOf("--"); end >= 0)
        args.removeAt(end);
    auto fail = [&cl](const QString& message) {
        cl.kind = Kind::Error;
        cl.error = message;
        cl.files.clear();
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
        if (!args.isEmpty())
            return fail(text(QT_TRANSLATE_NOOP("CommandLine", "--list takes no arguments")));
        cl.kind = Kind::List;
        return cl;
    }
    if (command == "--snapshot") {
        // The folder, then the files; with nothing after it, Kavo starts
        // as usual.
        if (args.isEmpty())
            return cl;
        cl.kind = Kind::Snapshot;
        cl.snapshotFolder = QFile::decodeName(args.first());
        for (const QByteArray& file : args.mid(1))
            cl.files << NativePath::absolute(file);
        return cl;
    }
    if (command == "--new-shelf") {
        for (const QByteArray& file : args) {
            struct stat st;
            if (file.isEmpty() || ::stat(file.constData(), &st) != 0)
                return fail(text(QT_TRANSLATE_NOOP("CommandLine", "no such file: %1"))
                                .arg(shown(file)));
            cl.files << NativePath::absolute(file);
        }
        cl.kind = Kind::NewShelf;
        return cl;
    }
    if (command.startsWith('-') && command != "-")
        return fail(text(QT_TRANSLATE_NOOP("CommandLine", "unknown option: %1"))
                        .arg(shown(command)));
    return fail(text(QT_TRANSLATE_NOOP("CommandLine", "unexpected argument: %1"))
                    .arg(shown(command)));
}
