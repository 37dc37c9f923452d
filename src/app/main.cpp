// The process entry: reads the command line before any application object
// exists, hands commands to a running Kavo, or starts one.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "shelf/ShelfWindowController.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void print(FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

void setUpApplication()
{
    QApplication::setApplicationName(QStringLiteral("Kavo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kavo"));
    QApplication::setApplicationVersion(QStringLiteral(KAVO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(KAVO_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kavo.svg")));
    // A tray utility: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
}

// The offscreen platform warns about every window operation it cannot do.
void quietOffscreenWarnings()
{
    if (QGuiApplication::platformName() != u"offscreen")
        return;
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& msg) {
        if (msg.startsWith(u"This plugin does not support"))
            return;
        if (previous)
            previous(type, context, msg);
    });
}

// Kavo watches the global pointer and keys, which Wayland gives only to X11
// clients: on a Wayland session it runs through XWayland. Without any display
// only the snapshot mode can work, on the offscreen platform.
bool choosePlatform(CommandLine::Kind kind)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (x11) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    if (kind == CommandLine::Kind::Snapshot) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }
    print(stderr, wayland ? QStringLiteral("kavo: this Wayland session has no XWayland display "
                                           "($DISPLAY is empty); Kavo needs one.\n")
                          : QStringLiteral("kavo: no display ($DISPLAY is empty). Kavo is a tray "
                                           "utility and needs a graphical session.\nTo render "
                                           "pictures of a shelf without one: kavo --snapshot DIR "
                                           "[FILE...]\n"));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList arguments = argumentsOf(argc, argv);
    const CommandLine command = CommandLine::parse(arguments);

    switch (command.kind) {
    case CommandLine::Kind::Help:
        print(stdout, CommandLine::usage());
        return 0;
    case CommandLine::Kind::Version:
        print(stdout, QStringLiteral("kavo " KAVO_VERSION "\n"));
        return 0;
    case CommandLine::Kind::Error:
        print(stderr, QStringLiteral("kavo: %1\nTry 'kavo --help' for more information.\n")
                          .arg(command.error));
        return 2;
    case CommandLine::Kind::List: {
        const auto reply = SingleInstance::send({{QStringLiteral("command"), QStringLiteral("list")}});
        if (!reply) {
            print(stderr, QStringLiteral("kavo: Kavo is not running\n"));
            return 1;
        }
        print(stdout, QString::fromUtf8(QJsonDocument(*reply).toJson(QJsonDocument::Compact)) + u'\n');
        return 0;
    }
    case CommandLine::Kind::NewShelf: {
        const auto reply = SingleInstance::send(
            {{QStringLiteral("command"), QStringLiteral("new-shelf")},
             {QStringLiteral("files"), QJsonArray::fromStringList(command.files)}});
        if (reply)
            return 0;
        break; // nobody runs: start, with the shelf
    }
    case CommandLine::Kind::Start:
        if (SingleInstance::send({{QStringLiteral("command"), QStringLiteral("start")}})) {
            print(stdout, QStringLiteral("Kavo is already running.\n"));
            return 0;
        }
        break;
    case CommandLine::Kind::Snapshot:
        break;
    }

    if (!choosePlatform(command.kind))
        return 1;
    QApplication app(argc, argv);
    setUpApplication();
    quietOffscreenWarnings();

    AppDelegate delegate;
    // A snapshot runs in a process of its own, beside any running Kavo.
    SingleInstance instance;
    if (command.kind != CommandLine::Kind::Snapshot &&
        !instance.listen([&delegate](const QJsonObject& r) { return delegate.handleRequest(r); })) {
        // Another Kavo started at the same moment and won.
        if (command.kind == CommandLine::Kind::NewShelf)
            SingleInstance::send({{QStringLiteral("command"), QStringLiteral("new-shelf")},
                                  {QStringLiteral("files"), QJsonArray::fromStringList(command.files)}});
        return 0;
    }

    QTimer::singleShot(0, &delegate, [&] {
        delegate.applicationDidFinishLaunching(QCoreApplication::arguments());
        if (command.kind == CommandLine::Kind::NewShelf)
            delegate.handleRequest({{QStringLiteral("command"), QStringLiteral("new-shelf")},
                                    {QStringLiteral("files"),
                                     QJsonArray::fromStringList(command.files)}});
    });
    return app.exec();
}
