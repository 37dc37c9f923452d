#pragma once

#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <cstdio>
#include <optional>
#include <vector>

// What the `kavo` command does before, or instead of, running Kavo itself:
// the commands that end at once (--help, --version, a mistake on the command
// line) and those handed to the Kavo already running. It needs nothing but Qt
// Core, so that a command for a running Kavo is answered without the toolkit
// being loaded.
namespace HandOver {

QList<QByteArray> argumentsOf(int argc, char** argv);
void print(FILE* to, const QString& text);
// `source` translated, from the "main" context.
QString text(const char* source);
// The request that opens a shelf holding `files`: their file URLs, which
// keep every byte of their names.
QJsonObject newShelfRequest(const QList<QByteArray>& files);

// The argc and argv that Qt's application object gets. Both live as long as
// the application object.
struct QtArguments
{
    explicit QtArguments(const QList<QByteArray>& arguments);
    QList<QByteArray> bytes;
    std::vector<char*> pointers;
    int count = 0;
};

// A plain application object for the translators, made only when something
// is about to be printed (Qt translates only once one exists): a process
// that goes on to start Kavo makes its own, and only one.
class Console
{
public:
    explicit Console(const QByteArray& program) : m_arguments({program}) {}
    void speak();

private:
    QtArguments m_arguments;
    std::optional<QCoreApplication> m_app;
};

// Hands `command` to a running Kavo. Its exit status when that settles the
// matter, nothing when no Kavo runs (so this one starts).
std::optional<int> toRunning(const CommandLine& command, Console& console);

// Settles `command` when it ends without Kavo starting in this process:
// help, version, a mistake, or a command a running Kavo took (or failed to
// take). Its exit status; nothing when Kavo is to run here (none runs yet,
// or the command is --snapshot).
std::optional<int> settle(const CommandLine& command, const QList<QByteArray>& arguments,
                          Console& console);

} // namespace HandOver
