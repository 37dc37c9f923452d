// The `kavo` command. Most of its runs hand a command to the Kavo already
// running (a file manager's "open in a shelf", --list): it does that with Qt
// Core alone loaded, which takes a quarter of the time that loading the
// whole program with its toolkit does. Everything else is the whole program's, a
// library loaded only then.
#include "app/CommandLine.h"
#include "app/HandOver.h"

#include <dlfcn.h>

int main(int argc, char** argv)
{
    const QList<QByteArray> arguments = HandOver::argumentsOf(argc, argv);
    const CommandLine command = CommandLine::parse(arguments);
    HandOver::Console console(arguments.value(0));
    if (const std::optional<int> status = HandOver::settle(command, arguments, console))
        return *status;

    // Found beside the command in the build folder, and in Kavo's own
    // library folder once installed (the command's run path names both).
    void* program = ::dlopen("libkavo_program.so", RTLD_NOW | RTLD_LOCAL);
    using Main = int (*)(int, char**);
    const auto run = program ? reinterpret_cast<Main>(::dlsym(program, "kavo_program_main")) : nullptr;
    if (!run) {
        const QString why = QString::fromLocal8Bit(::dlerror());
        console.speak();
        HandOver::print(stderr,
                        HandOver::text(QT_TRANSLATE_NOOP("main", "kavo: cannot load the program: %1\n"))
                            .arg(why));
        return 1;
    }
    return run(argc, argv);
}
