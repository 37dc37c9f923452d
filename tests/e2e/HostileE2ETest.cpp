// What a hostile or broken world does to the running program: files on a
// mount that never answers, names that are not UTF-8, requests of many
// megabytes, a Kavo that does not answer, another user in the way.
#include "Input.h"
#include "Kavo.h"
#include "Program.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class HostileE2E : public KavoTest
{
protected:
    bool clickToList(const ListedShelf& shelf) const
    {
        return Input::run(Input::click(stackCentre(shelf.frame))) &&
               m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).mode == u"list"; });
    }
};

TEST_F(HostileE2E, FilesOnAMountThatNeverAnswersDoNotFreezeKavo)
{
    if (::getuid() != 0 || !QFile::exists("/dev/fuse"))
        GTEST_SKIP() << "mounting a FUSE file system needs root and /dev/fuse";
    const QString mount = m_kavo.root() + "/stalled";
    QDir().mkpath(mount);
    Program fs;
    // However the test ends: Kavo (with its stuck readers) first, then the
    // file system, then its mount.
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        m_kavo.stop();
        fs.stop();
        Program::run("fusermount", {"-u", "-z", mount});
    });
    ASSERT_TRUE(fs.start("/usr/bin/python3", {KAVO_SOURCE_DIR "/tests/e2e/stalled_fs.py", mount}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QDir(mount).exists("fine.txt"); }))
        << fs.errors().toStdString();
    ASSERT_TRUE(startKavo());
    // A file whose name does not tell its type (its contents would), a
    // picture (a preview would read it) and a readable one.
    const ListedShelf shelf = openShelfAt({640, 400}, {mount + "/stuck", mount + "/stuck.png", mount + "/fine.txt"});
    ASSERT_EQ(shelf.items.size(), 3) << describe({shelf});
    EXPECT_TRUE(answers());
    // The shelf still takes input: its list, its menu, its preview.
    ASSERT_TRUE(clickToList(shelf));
    ASSERT_TRUE(Input::run(Input::click({shelf.frame.center().x(), shelf.frame.y() + 18}, 3)));
    EXPECT_TRUE(m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.overrideRedirect && w.instance == u"kavo"; }))
        << "no shelf menu";
    EXPECT_TRUE(answers());
    ASSERT_TRUE(Input::run(Input::key("Escape") + Input::key("space")));
    EXPECT_TRUE(m_display.waitForWindow([](const ProbedWindow& w) { return w.viewable && w.title.startsWith(u"Preview"); }));
    EXPECT_TRUE(answers());
}

TEST_F(HostileE2E, NamesThatAreNotUtf8KeepTheirBytes)
{
    const QByteArray folder = QFile::encodeName(m_kavo.root() + "/files");
    for (const char* name : {"/\xff\xfe.txt", "/\xfe\xff.txt"})
        ASSERT_TRUE(TestEnv::writeFile(folder + name, "x"));
    ASSERT_TRUE(startKavo());
    // The arguments reach the program as the bytes they are (QProcess would
    // turn such names into text, so a shell makes them).
    const Kavo::Result r = m_kavo.run(
        {"--shell", "\"$KAVO\" --new-shelf \"$1\"/$(printf '\\377\\376').txt \"$1\"/$(printf '\\376\\377').txt",
         QFile::decodeName(folder)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 2; }, &shelves))
        << describe(shelves);
    const QByteArray base = "file://" + folder.toPercentEncoding("/");
    EXPECT_EQ(shelves[0].items[0].uri, base + "/%FF%FE.txt");
    EXPECT_EQ(shelves[0].items[1].uri, base + "/%FE%FF.txt");
    // Asked about on a click, the files are still there: nothing leaves.
    ASSERT_TRUE(clickToList(shelves[0]));
    TestEnv::processEventsFor(300);
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).items.size(), 2);
}

TEST_F(HostileE2E, RequestsAndAnswersBeyondAMegabyteGoThrough)
{
    // 300 files with long names, each given 18 times in one command (a
    // command holds what it is given): more than a megabyte of paths.
    QStringList files, args{"--new-shelf"};
    for (int i = 0; i < 300; ++i)
        files << makeFile(QString(200, QChar(u'a' + i % 26)) + QString::number(i), "x");
    for (int i = 0; i < 18; ++i)
        args << files;
    ASSERT_TRUE(startKavo());
    EXPECT_EQ(m_kavo.run(args, 30000).exitCode, 0);
    EXPECT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 18 * 300; }));
    const Kavo::Result r = m_kavo.run({"--list"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_GT(r.out.size(), 1 << 20);
}

TEST_F(HostileE2E, AKavoThatDoesNotAnswerIsToldAndKeptNotReplaced)
{
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(QFile::exists(socket()));
    // Busy for good (stopped, as by a debugger or a hang).
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGSTOP), 0);
    // Both at once: each waits out its own time limit.
    const Kavo::Result r = m_kavo.run({"--shell", "t=$(mktemp); \"$KAVO\" --new-shelf >\"$t\" 2>&1 & "
                                                  "\"$KAVO\" --list 2>&1; echo \"list $?\"; "
                                                  "wait $!; echo \"new-shelf $?\"; cat \"$t\"; rm -f \"$t\""},
                                      30000);
    ASSERT_EQ(r.exitCode, 0);
    for (const char* command : {"list", "new-shelf"})
        EXPECT_TRUE(r.out.contains(QStringLiteral("%1 1\n").arg(command))) << r.out.toStdString();
    EXPECT_EQ(r.out.count("does not answer"), 2) << r.out.toStdString();
    EXPECT_TRUE(QFile::exists(socket())) << "a second start must not take the socket away";
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGCONT), 0);
    EXPECT_TRUE(answers());
}

TEST_F(HostileE2E, AnotherUsersSocketOrAFolderOthersMayUseIsRefused)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    // Without a runtime folder Kavo makes a private one in the temporary
    // folder; another user may have made it first, or left it open.
    const QString tmp = m_kavo.root() + "/tmp", taken = tmp + QStringLiteral("/kavo-%1").arg(::getuid());
    m_kavo.setEnvironment("XDG_RUNTIME_DIR", {});
    m_kavo.setEnvironment("TMPDIR", tmp);
    QDir().mkpath(tmp);
    ::chmod(QFile::encodeName(tmp).constData(), 01777);
    EXPECT_EQ(m_kavo.run({"--list"}).exitCode, 1);
    EXPECT_EQ(QFileInfo(taken).permissions() & 0x0077, 0) << "made private";
    const QList<std::pair<std::function<int()>, QString>> setups{
        {[&] { return ::chmod(QFile::encodeName(taken).constData(), 0755); }, "others may use it"},
        {[&] { return ::chmod(QFile::encodeName(taken).constData(), 0700) |
                      ::chown(QFile::encodeName(taken).constData(), 65534, 65534); },
         "another user"}};
    for (const auto& [spoil, why] : setups) {
        ASSERT_EQ(spoil(), 0);
        for (const QStringList& command : {QStringList{"--list"}, QStringList{"--new-shelf"}, QStringList{}}) {
            const Kavo::Result r = m_kavo.run(command);
            EXPECT_EQ(r.exitCode, 1) << command.join(u' ').toStdString();
            EXPECT_TRUE(r.err.contains(taken) && r.err.contains(why)) << r.err.toStdString();
        }
    }
}

TEST_F(HostileE2E, AnAnswerFromAnotherUserIsNotBelieved)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    ASSERT_TRUE(startKavo());
    // Kavo's socket replaced by a listener that became another user before
    // it listened (the peer's credentials are those of the listening process).
    QFile::remove(socket());
    Program impostor;
    ASSERT_TRUE(impostor.start("python3", {"-c",
                                           "import os, socket, sys\n"
                                           "s = socket.socket(socket.AF_UNIX)\n"
                                           "s.bind(sys.argv[1])\n"
                                           "os.setgid(65534); os.setuid(65534)\n"
                                           "s.listen(1)\n"
                                           "c, _ = s.accept()\n"
                                           "c.sendall(b'{\"shelves\": []}\\n')\n"
                                           "c.recv(1 << 20)\n",
                                           socket()}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return QFileInfo(socket()).exists(); }));
    Kavo::Result r;
    EXPECT_TRUE(TestEnv::waitUntil([&] { return (r = m_kavo.run({"--list"})).err.contains("another user"); }))
        << r.exitCode << ' ' << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 1);
}

} // namespace
