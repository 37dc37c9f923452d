// Files dragged out of a shelf and moved away later leave it, and files
// written on are measured again, even when the user's inotify instances or
// watches are used up by other programs. Kavo
// runs as a user of the test's own, whose limits a helper process holds, so
// the machine's own user keeps its limits.
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr char user[] = "kavo-limits";

// Takes the inotify instances of its user, or (leaving a few instances) the
// watches, by watching the same files from many instances (each pair is one
// watch); tells on stderr what it holds and the error that stopped it.
constexpr char holdLimits[] = R"(import ctypes, errno, os, resource, sys, time
libc = ctypes.CDLL(None, use_errno=True)
what, folder = sys.argv[1], sys.argv[2]
fds, watches, error = [], 0, 0
def limit(name):
    return int(open("/proc/sys/fs/inotify/" + name).read())
def instance():
    global error
    fd = libc.inotify_init1(0)
    error = ctypes.get_errno() if fd < 0 else 0
    fd >= 0 and fds.append(fd)
    return fd
if what == "instances":
    # The process's own file limit must not be what stops it.
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    while len(fds) <= limit("max_user_instances") and instance() >= 0:
        pass
    if len(fds) < limit("max_user_instances"):
        error = -1
else:
    files = limit("max_user_watches") // 64 + 1
    os.makedirs(folder, exist_ok=True)
    names = [os.path.join(folder, str(i)).encode() for i in range(files)]
    for name in names:
        open(name, "w").close()
    while not error and len(fds) < 64 and instance() >= 0:
        for name in names:
            if libc.inotify_add_watch(fds[-1], name, 2) < 0:
                error = ctypes.get_errno()
                break
            watches += 1
sys.stderr.write("held %d instances %d watches: %s\n" % (len(fds), watches, errno.errorcode.get(error, "short of the limit")))
sys.stderr.flush()
time.sleep(3600)
)";

// setpriv's arguments that run a program as the user, killed when the test ends.
QStringList asUser()
{
    return QStringLiteral("--reuid=%1 --regid=%1 --clear-groups --pdeathsig KILL --").arg(user).split(u' ');
}

// `kavo` started as the user, by a script so that the commands of
// Kavo::run() (`--list` above all) are that user's too. The command and the
// program it loads are copied where the user may read them, as the user may
// read an installed Kavo: the build folder may lie in one of root's own.
QString kavoAsUser()
{
    static QTemporaryDir dir(QDir::tempPath() + "/kavo-as-user-XXXXXX");
    const QString path = dir.path() + "/kavo", command = dir.path() + "/bin/kavo";
    if (!QFileInfo::exists(path)) {
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QDir().mkpath(dir.path() + "/bin");
        for (const QString& folder : QStringList{dir.path(), dir.path() + "/bin"})
            QFile::setPermissions(folder, everyone);
        QFile::copy(KAVO_BINARY, command);
        QFile::copy(KAVO_PROGRAM_LIBRARY, dir.path() + "/bin/" + QFileInfo(KAVO_PROGRAM_LIBRARY).fileName());
        TestEnv::writeFile(path, QByteArray("#!/bin/sh\nexec setpriv ") + asUser().join(u' ').toUtf8() + " '" +
                                     command.toUtf8() + "' \"$@\"\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return path;
}

struct LimitCase
{
    const char* name;
    const char* used;   // what the helper takes: "instances" or "watches"
    const char* error;  // what stopped it
    const char* logged; // the limit Kavo's log names
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class WatchLimitsE2E : public KavoTest, public ::testing::WithParamInterface<LimitCase>
{
protected:
    Kavo kavo{kavoAsUser()};
    Pcmanfm target;
};

TEST_P(WatchLimitsE2E, FilesWrittenOnOrMovedAwayLaterAreSeen)
{
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to play another user";
    }
    // The user's limits are one for all: test processes running at the same
    // time take turns.
    TestEnv::Turn turn("watch-limits");
    ASSERT_TRUE(turn.take());
    // Given back after the helper and Kavo have ended.
    const std::shared_ptr<void> stop(nullptr, [this](void*) { kavo.stop(); });
    if (!::getpwnam(user)) {
        ASSERT_EQ(Program::run("useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", user}), 0);
    }
    // The user's home, its file, and the right to use the display.
    const QString root = kavo.root(), file = root + "/files/report.txt", into = root + "/into";
    kavo.setPreference("hasLaunchedBefore", true);
    ASSERT_TRUE(TestEnv::writeFile(file, "report"));
    if (!qEnvironmentVariableIsEmpty("XAUTHORITY")) {
        ASSERT_EQ(Program::run("xauth", {"extract", root + "/Xauthority", qEnvironmentVariable("DISPLAY")}), 0);
        kavo.setEnvironment("XAUTHORITY", root + "/Xauthority");
    }
    ASSERT_EQ(Program::run("chown", {"-R", QStringLiteral("%1:").arg(user), root}), 0);
    ASSERT_TRUE(QDir().mkpath(into) && QDir().mkpath(root + "/away"));

    Program holder;
    ASSERT_TRUE(holder.start("setpriv", asUser() + QStringList{"/usr/bin/python3", "-c", holdLimits,
                                                               GetParam().used, root + "/held"}));
    QString held;
    ASSERT_TRUE(TestEnv::waitUntil([&] { return (held += holder.errors()).contains('\n'); }, 60000)) << "helper stuck";
    ASSERT_TRUE(held.contains(GetParam().error)) << held.toStdString();

    ASSERT_TRUE(kavo.start()) << kavo.errors();
    ASSERT_TRUE(Input::run(Input::moveTo({300, 350})));
    ASSERT_EQ(kavo.run({"--new-shelf", file}).exitCode, 0);
    const ListedShelf shelf = kavo.waitForShelfCount(1).value(0);
    ASSERT_EQ(shelf.paths(), QStringList{file}) << describe({shelf});
    ASSERT_TRUE(target.open(into, {700, 150})) << target.errors().toStdString();

    // Copied (Ctrl) into the file manager's folder: the file stays, watched.
    const QPoint from = stackCentre(shelf.frame), to = target.emptySpace();
    ASSERT_TRUE(Input::run(Input::pressAt(from) + Input::glide(from, to, 8) + QStringList{"keydown", "ctrl"}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.selectionOwner("XdndSelection") != XCB_NONE; }));
    ASSERT_TRUE(Input::run(Input::glide(to, to + QPoint(4, 4), 2) + Input::release(1.5) +
                           QStringList{"sleep", "0.2", "keyup", "ctrl"}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(into + "/report.txt"); }, 10000));
    // Looked at for a while (the first look comes within a few seconds), a
    // file that stays stays.
    TestEnv::processEventsFor(2500);
    ASSERT_EQ(kavo.list().value_or(Shelves{}).value(0).paths(), QStringList{file});

    // Written on, the file is measured again on a later look.
    const QString before = kavo.list().value_or(Shelves{}).value(0).detail;
    ASSERT_EQ(Program::run("/bin/sh", {"-c", "head -c 2000 /dev/zero >> \"$1\"", "sh", file}), 0);
    Shelves last;
    EXPECT_TRUE(kavo.waitForShelves([&](const Shelves& s) { return s.value(0).detail != before; }, &last, 45000))
        << before.toStdString();

    // Moved away afterwards, as by another program: the shelf empties and closes.
    ASSERT_TRUE(QFile::rename(file, root + "/away/report.txt"));
    EXPECT_TRUE(kavo.waitForShelves([](const Shelves& s) { return s.isEmpty(); }, &last, 45000)) << describe(last);
    const std::string log = kavo.errors();
    EXPECT_NE(log.find(GetParam().logged), std::string::npos) << log;
    EXPECT_TRUE(kavo.isRunning());
}

INSTANTIATE_TEST_SUITE_P(
    UsedUp, WatchLimitsE2E,
    ::testing::Values(LimitCase{"Instances", "instances", "EMFILE", "fs.inotify.max_user_instances"},
                      LimitCase{"Watches", "watches", "ENOSPC", "fs.inotify.max_user_watches"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
