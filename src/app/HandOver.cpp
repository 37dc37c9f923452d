#include "app/HandOver.h"

#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "core/NativePath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace HandOver {

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

QString text(const char* source) { return QCoreApplication::translate("main", source); }

QJsonObject newShelfRequest(const QList<QByteArray>& files)
{
    QJsonArray uris;
    for (const QByteArray& file : files)
        uris.append(QString::fromUtf8(NativePath::toUrl(file).toEncoded()));
    return {{QStringLiteral("command"), QStringLiteral("new-shelf")},
            {QStringLiteral("files"), uris}};
}

QtArguments::QtArguments(const QList<QByteArray>& arguments) : bytes(arguments)
{
    for (QByteArray& arg : bytes)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    count = int(bytes.size());
}

void Console::speak()
{
    if (QCoreApplication::instance())
        return;
    m_app.emplace(m_arguments.count, m_arguments.pointers.data());
    Translations::install();
}

namespace {

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

} // namespace

std::optional<int> toRunning(const CommandLine& command, Console& console)
{
    const SingleInstance::Reply reply = SingleInstance::send(requestFor(command));
    if (reply.status != SingleInstance::Reply::Status::NotRunning ||
        command.kind == CommandLine::Kind::List)
        console.speak();
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

std::optional<int> settle(const CommandLine& command, const QList<QByteArray>& arguments,
                          Console& console)
{
    switch (command.kind) {
    case CommandLine::Kind::Help:
        console.speak();
        print(stdout, CommandLine::usage());
        return 0;
    case CommandLine::Kind::Version:
        print(stdout, QStringLiteral("kavo " KAVO_VERSION "\n"));
        return 0;
    case CommandLine::Kind::Error:
        console.speak();
        // Parsed again now that its message can be translated (parsing has
        // no effects).
        print(stderr, text(QT_TRANSLATE_NOOP("main", "kavo: %1\nTry 'kavo --help' for more "
                                                     "information.\n"))
                          .arg(CommandLine::parse(arguments).error));
        return 2;
    case CommandLine::Kind::Snapshot:
        return std::nullopt;
    case CommandLine::Kind::List:
    case CommandLine::Kind::NewShelf:
    case CommandLine::Kind::Start:
        return toRunning(command, console);
    }
    return std::nullopt;
}

} // namespace HandOver
