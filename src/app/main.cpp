// The process entry: reads the command line before any application object
// exists, hands commands to a running Kavo, or starts one.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/CommandServer.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "core/NativePath.h"
#include "core/ProcessWide.h"
#include "platform/x11/X11Workarounds.h"
#include "shelf/ShelfAccessible.h"
#include "snapshot/Snapshot.h"

#include <QApplication>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

QList<QByteArray> argumentsOf(int argc, char** argv)
{
    QList<QByteArray> args;
    for (int i = 0; i < argc; ++i)
        args << QByteArray(argv[i]);
    return args;
}

void print(FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// The request that opens a shelf holding `files`: their file URLs, which
// keep every byte of their names.
QJsonObject newShelfRequest(const QList<QByteArray>& files)
{
    QJsonArray uris;
    for (const QByteArray& file : files)
        uris.append(QString::fromUtf8(NativePath::toUrl(file).toEncoded()));
    return {{QStringLiteral("command"), QStringLiteral("new-shelf")},
            {QStringLiteral("files"), uris}};
}

QJsonObject requestFor(const CommandLine& command)
{
    switch (command.kind) {
    case CommandLine::Kind::List:
        return {{QStringLiteral("command"), QStringLiteral("list")}};
    case CommandLine::Kind::NewShelf:
        return newShelfRequest(command.files);
    default:
        return {{QStringLiteral("command"), QStringLiteral("start")}};
    }
}

QString text(const char* source) { return QCoreApplication::translate("main", source); }

// Hands the command to a running Kavo. Answers the exit status when that
// settles the matter, nothing when no Kavo runs (so this one starts).
// `speak` is called before anything is printed: Qt translates only once an
// application object exists.
std::optional<int> handOver(const CommandLine& command, const std::function<void()>& speak)
{
    const SingleInstance::Reply reply = SingleInstance::send(requestFor(command));
    if (reply.status != SingleInstance::Reply::Status::NotRunning ||
        command.kind == CommandLine::Kind::List)
        speak();
    switch (reply.status) {
    case SingleInstance::Reply::Status::NotRunning:
        if (command.kind == CommandLine::Kind::List) {
            print(stderr, text(QT_TRANSLATE_NOOP("main", "kavo: Kavo is not running\n")));
            return 1;
        }
        return std::nullopt;
    case SingleInstance::Reply::Status::NoAnswer:
        print(stderr,
              text(QT_TRANSLATE_NOOP("main", "kavo: Kavo is running but does not answer\n")));
        return 1;
    case SingleInstance::Reply::Status::Failed:
        print(stderr, QStringLiteral("kavo: %1\n").arg(reply.error));
        return 1;
    case SingleInstance::Reply::Status::Answered:
        break;
    }
    if (reply.object.contains(QStringLiteral("error"))) {
        print(stderr, QStringLiteral("kavo: %1\n")
                          .arg(reply.object.value(QStringLiteral("error")).toString()));
        return 1;
    }
    if (command.kind == CommandLine::Kind::List)
        print(stdout,
              QString::fromUtf8(QJsonDocument(reply.object).toJson(QJsonDocument::Compact)) +
                  u'\n');
    else if (command.kind == CommandLine::Kind::Start)
        print(stdout, text(QT_TRANSLATE_NOOP("main", "Kavo is already running.\n")));
    return 0;
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

// The argc and argv that Qt's application object gets: only what the
// command line left for Qt. Both live as long as the application object.
struct QtArguments
{
    explicit QtArguments(const QList<QByteArray>& arguments) : bytes(arguments)
    {
        for (QByteArray& arg : bytes)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        count = int(bytes.size());
    }
    QList<QByteArray> bytes;
    std::vector<char*> pointers;
    int count = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const QList<QByteArray> arguments = argumentsOf(argc, argv);
    const CommandLine command = CommandLine::parse(arguments);

    // Commands that end without starting Kavo get a plain application object
    // for the translators, and only when they print: a process that goes on
    // to start Kavo makes its own, and only one.
    QtArguments consoleArguments({arguments.value(0)});
    std::optional<QCoreApplication> console;
    const auto speak = [&] {
        if (QCoreApplication::instance())
            return;
        console.emplace(consoleArguments.count, consoleArguments.pointers.data());
        Translations::install();
    };

    switch (command.kind) {
    case CommandLine::Kind::Help:
        speak();
        print(stdout, CommandLine::usage());
        return 0;
    case CommandLine::Kind::Version:
        print(stdout, QStringLiteral("kavo " KAVO_VERSION "\n"));
        return 0;
    case CommandLine::Kind::Error:
        speak();
        // Parsed again now that its message can be translated (parsing has
        // no effects).
        print(stderr, text(QT_TRANSLATE_NOOP("main", "kavo: %1\nTry 'kavo --help' for more "
                                                     "information.\n"))
                          .arg(CommandLine::parse(arguments).error));
        return 2;
    case CommandLine::Kind::Snapshot: {
        // A process of its own, beside any running Kavo, with nothing but
        // the shelf it pictures.
        if (!choosePlatform(command.kind, speak))
            return 1;
        QtArguments qt(command.qtArguments);
        QApplication app(qt.count, qt.pointers.data());
        Translations::install();
        setUpApplication();
        quietOffscreenWarnings();
        Snapshot::run(command.snapshotFolder, command.files);
        const int status = app.exec();
        ProcessWide::endAll();
        return status;
    }
    case CommandLine::Kind::List:
    case CommandLine::Kind::NewShelf:
    case CommandLine::Kind::Start:
        if (const std::optional<int> status = handOver(command, speak))
            return *status;
        break; // nobody runs: start
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
        return handOver(command, speak).value_or(1);
    }

    if (!choosePlatform(command.kind, speak))
        return 1;
    QtArguments qt(command.qtArguments);
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
                commands.answer(newShelfRequest(command.files));
        });
    });
    const int status = app.exec();
    delegate.quit();
    ProcessWide::endAll();
    return status;
}
