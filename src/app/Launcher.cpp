// The `kavo` command. Most of its runs hand a command to the Kavo already
// running (a file manager's "open in a shelf", --list): it does that with Qt
// Core alone loaded, which takes a quarter of the time that loading the
// whole program with its toolkit does. Everything else is the whole
// program's, a library loaded only then.
#include "app/CommandLine.h"
#include "app/HandOver.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

namespace {

// The program library, by its full path: in Kavo's own library folder once
// installed, else beside the command (the build folder). Both are found from
// the folder the command itself lies in; a search by name would miss them
// when the call comes through another library (a sanitizer's runtime).
std::string programLibrary()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || length >= ssize_t(sizeof self))
        return "libkavo_program.so";
    std::string origin(self, size_t(length));
    origin.erase(origin.rfind('/'));
    const std::string installed = std::string(origin) + "/" KAVO_PROGRAM_RELATIVE "/libkavo_program.so";
    const std::string beside = std::string(origin) + "/libkavo_program.so";
    return ::access(installed.c_str(), F_OK) != 0 && ::access(beside.c_str(), F_OK) == 0 ? beside : installed;
}

} // namespace

int main(int argc, char** argv)
{
    const QList<QByteArray> arguments = HandOver::argumentsOf(argc, argv);
    const CommandLine command = CommandLine::parse(arguments);
    HandOver::Console console(arguments.value(0));
    if (const std::optional<int> status = HandOver::settle(command, arguments, console))
        return *status;

    void* program = ::dlopen(programLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
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
