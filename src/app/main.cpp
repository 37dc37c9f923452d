// The whole program, loaded by the `kavo` command (Launcher.cpp) when it
// has to: starts Kavo, or takes pictures of a shelf.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/CommandServer.h"
#include "app/HandOver.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "core/ProcessWide.h"
#include "platform/x11/X11Workarounds.h"
#include "shelf/ShelfAccessible.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>

namespace {

using HandOver::print;
using HandOver::text;

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
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& msg) {
            if (msg.startsWith(u"This plugin does not support"))
                return;
            if (previous)
                previous(type, context, msg);
        });
}

// Kavo watches the global pointer and keys, which Wayland gives only to X11
// clients: on a Wayland session it runs through XWayland. Without any display
// only the snapshot mode can work, on the offscreen platform.
bool choosePlatform(CommandLine::Kind kind, const std::function<void()>& speak)
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
    speak();
    print(stderr, wayland ? text(QT_TRANSLATE_NOOP("main",
                                                   "kavo: this Wayland session has no XWayland "
                                                   "display ($DISPLAY is empty); Kavo needs "
                                                   "one.\n"))
                          : text(QT_TRANSLATE_NOOP("main",
                                                   "kavo: no display ($DISPLAY is empty). Kavo is "
                                                   "a tray utility and needs a graphical session."
                                                   "\nTo render pictures of a shelf without one: "
                                                   "kavo --snapshot DIR [FILE...]\n")));
    return false;
}

// SIGTERM (a session logging out), SIGINT (Ctrl+C) and SIGHUP (a closed
// terminal) end the event loop, so that Kavo quits as from its menu and
// takes its socket with it. The handler only writes to a pipe, which the
// event loop reads.
void quitOnSignals()
{
    static int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char drained[16];
        while (::read(pipeEnds[0], drained, sizeof drained) > 0) {
        }
        // As the tray menu's "Quit Kavo": exit(), which no window can refuse.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = [](int) {
        const int saved = errno;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
        errno = saved;
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

// The whole program, which the `kavo` command loads when it does not settle
// the command itself: it starts Kavo, takes a picture of a shelf, or hands
// the command over after all (another Kavo started meanwhile).
extern "C" __attribute__((visibility("default"))) int kavo_program_main(int argc, char** argv)
{
    const QList<QByteArray> arguments = HandOver::argumentsOf(argc, argv);
    const CommandLine command = CommandLine::parse(arguments);
    HandOver::Console console(arguments.value(0));
    const auto speak = [&console] { console.speak(); };
    // The command settled everything else before loading the program, and
    // found no Kavo running; one that starts meanwhile wins the claim below
    // and is handed the command then.
    if (command.kind != CommandLine::Kind::Start && command.kind != CommandLine::Kind::NewShelf &&
        command.kind != CommandLine::Kind::Snapshot)
        return HandOver::settle(command, arguments, console).value_or(1);

    if (command.kind == CommandLine::Kind::Snapshot) {
        // A process of its own, beside any running Kavo, with nothing but
        // the shelf it pictures.
        if (!choosePlatform(command.kind, speak))
            return 1;
        HandOver::QtArguments qt(command.qtArguments);
        QApplication app(qt.count, qt.pointers.data());
        Translations::install();
        setUpApplication();
        quietOffscreenWarnings();
        Snapshot::run(command.snapshotFolder, command.files);
        const int status = app.exec();
        ProcessWide::endAll();
        return status;
    }

    SingleInstance instance;
    QString error;
    if (!instance.claim(&error)) {
        if (!error.isEmpty()) {
            speak();
            print(stderr, QStringLiteral("kavo: %1\n").arg(error));
            return 1;
        }
        // Another Kavo started at the same moment and won: it takes the
        // command.
        return HandOver::toRunning(command, console).value_or(1);
    }

    if (!choosePlatform(command.kind, speak))
        return 1;
    HandOver::QtArguments qt(command.qtArguments);
    // Before the accessibility bridge asks for the application's interface.
    ShelfAccessible::install();
    QApplication app(qt.count, qt.pointers.data());
    Translations::install();
    setUpApplication();
    quietOffscreenWarnings();
    X11Workarounds::install();
    quitOnSignals();

    AppDelegate delegate;
    CommandServer& commands = delegate.commands();
    if (!instance.listen(
            [&commands](const QByteArray& line, SingleInstance::Answer answer) {
                commands.answer(line, std::move(answer));
            },
            &error)) {
        print(stderr, text(QT_TRANSLATE_NOOP("main", "kavo: cannot listen for commands: %1\n"))
                          .arg(error));
        return 1;
    }

    QTimer::singleShot(0, &delegate, [&] {
        // The shelves of the last run first, then the one asked for now.
        delegate.launch([&] {
            if (command.kind == CommandLine::Kind::NewShelf)
                commands.answer(HandOver::newShelfRequest(command.files));
        });
    });
    const int status = app.exec();
    delegate.quit();
    ProcessWide::endAll();
    return status;
}
