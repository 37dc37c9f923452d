// What a hostile or broken world does to the running program: files on a
// mount that never answers, names that are not UTF-8, requests of many
// megabytes, a Kavo that does not answer, another user in the way.
#include "HelperProcess.h"
#include "KavoTest.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <memory>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Shelves = QList<ListedShelf>;

class HostileE2E : public KavoTest
{
protected:
    // `kavo --list` answers in good time.
    ::testing::AssertionResult answers()
    {
        QElapsedTimer took;
        took.start();
        const auto shelves = m_kavo.list();
        if (!shelves)
            return ::testing::AssertionFailure() << "kavo --list failed";
        if (took.elapsed() > 3000)
            return ::testing::AssertionFailure() << "kavo --list took " << took.elapsed() << " ms";
        return ::testing::AssertionSuccess();
    }
};

TEST_F(HostileE2E, FilesOnAMountThatNeverAnswersDoNotFreezeKavo)
{
    if (::getuid() != 0 || !QFile::exists("/dev/fuse"))
        GTEST_SKIP() << "mounting a FUSE file system needs root and /dev/fuse";
    const QString mount = m_kavo.root() + QStringLiteral("/stalled");
    ASSERT_TRUE(QDir().mkpath(mount));
    HelperProcess fs;
    // However the test ends: Kavo (with its stuck readers) first, then the
    // file system, then its mount.
    const std::shared_ptr<void> unmount(nullptr, [&](void*) {
        m_kavo.stop();
        fs.kill();
        QProcess::execute(QStringLiteral("fusermount"),
                          {QStringLiteral("-u"), QStringLiteral("-z"), mount});
    });
    ASSERT_TRUE(fs.start(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral(KAVO_SOURCE_DIR "/tests/e2e/stalled_fs.py"), mount}));
    ASSERT_TRUE(fs.waitForLine(QStringLiteral("ready"))) << fs.errorOutput().toStdString();
    ASSERT_TRUE(startKavo());

    // A file whose name does not tell its type (its contents would), a
    // picture (a preview would read it) and a readable one.
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(QPoint(640, 400))));
    const KavoSession::Result r = m_kavo.run(
        {QStringLiteral("--new-shelf"), mount + "/stuck", mount + "/stuck.png", mount + "/fine.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 3; }, &shelves))
        << describe(shelves).toStdString();
    EXPECT_TRUE(answers());

    // The shelf still takes input: its list, its menu, its preview.
    const QPoint pile = stackCentre(shelves[0].frame);
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(pile) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).mode == u"list"; }));
    const QPoint header(shelves[0].frame.center().x(), shelves[0].frame.y() + 18);
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(header) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("3")}));
    EXPECT_TRUE(m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.overrideRedirect && w.instance == u"kavo"; },
        5000))
        << "no shelf menu";
    EXPECT_TRUE(answers());
    ASSERT_TRUE(PointerScript::run({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(PointerScript::run({QStringLiteral("key"), QStringLiteral("space")}));
    EXPECT_TRUE(m_display.waitForWindow(
        [](const ProbedWindow& w) { return w.viewable && w.title.startsWith(u"Preview"); }, 5000));
    EXPECT_TRUE(answers());
}

TEST_F(HostileE2E, NamesThatAreNotUtf8KeepTheirBytes)
{
    const QByteArray folder = QFile::encodeName(m_kavo.root() + QStringLiteral("/files"));
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(folder)));
    for (const char* name : {"/\xff\xfe.txt", "/\xfe\xff.txt"}) {
        FILE* f = std::fopen(QByteArray(folder + name).constData(), "wb");
        ASSERT_TRUE(f);
        std::fputs("x", f);
        std::fclose(f);
    }
    ASSERT_TRUE(startKavo());
    // The arguments reach the program as the bytes they are (QProcess would
    // turn such names into text, so a shell makes them).
    const KavoSession::Result r = m_kavo.run(
        {QStringLiteral("--shell"),
         QStringLiteral("\"$KAVO\" --new-shelf \"$1\"/$(printf '\\377\\376').txt "
                        "\"$1\"/$(printf '\\376\\377').txt"),
         QFile::decodeName(folder)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 2; }, &shelves))
        << describe(shelves).toStdString();
    const QByteArray base = "file://" + folder.toPercentEncoding("/");
    EXPECT_EQ(shelves[0].items[0].uri, base + "/%FF%FE.txt");
    EXPECT_EQ(shelves[0].items[1].uri, base + "/%FE%FF.txt");
    // Asked about on a click, the files are still there: nothing leaves.
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(stackCentre(shelves[0].frame)) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).mode == u"list"; }));
    TestEnv::processEventsFor(300);
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).items.size(), 2);
}

TEST_F(HostileE2E, RequestsAndAnswersBeyondAMegabyteGoThrough)
{
    // 300 files with long names, each given 18 times in one command (a
    // command holds what it is given): more than a megabyte of paths.
    QStringList files;
    for (int i = 0; i < 300; ++i)
        files << makeFile(QString(200, QChar(u'a' + i % 26)) + QString::number(i), "x");
    QStringList args{QStringLiteral("--new-shelf")};
    for (int i = 0; i < 18; ++i)
        args << files;
    ASSERT_TRUE(startKavo());
    KavoSession::Result r = m_kavo.run(args, 30000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && s[0].items.size() == 18 * 300; }, &shelves))
        << "shelves: " << shelves.size();
    // And the answer of --list is far beyond a megabyte too.
    r = m_kavo.run({QStringLiteral("--list")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_GT(r.out.size(), 1 << 20);
}

TEST_F(HostileE2E, AKavoThatDoesNotAnswerIsToldAndKeptNotReplaced)
{
    ASSERT_TRUE(startKavo());
    const QString socket = m_kavo.runtimeDir() + QStringLiteral("/io.github.kavo.Kavo-%1.socket")
                                                     .arg(qEnvironmentVariable("DISPLAY").replace(u':', u'_'));
    ASSERT_TRUE(QFile::exists(socket));
    // Busy for good (stopped, as by a debugger or a hang).
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGSTOP), 0);
    for (const QStringList& command :
         {QStringList{QStringLiteral("--list")}, QStringList{QStringLiteral("--new-shelf")}}) {
        const KavoSession::Result r = m_kavo.run(command, 30000);
        EXPECT_EQ(r.exitCode, 1) << command.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("does not answer"))) << r.err.toStdString();
    }
    EXPECT_TRUE(QFile::exists(socket)) << "a second start must not take the socket away";
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGCONT), 0);
    EXPECT_TRUE(answers());
}

TEST_F(HostileE2E, WithoutARuntimeFolderAnotherUsersSocketFolderIsRefused)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to play another user";
    // Another user made the folder Kavo would use in the shared temporary
    // folder first, and listens there.
    const QString tmp = m_kavo.root() + QStringLiteral("/tmp");
    const QString taken = tmp + QStringLiteral("/kavo-%1").arg(::getuid());
    ASSERT_TRUE(QDir().mkpath(taken));
    ::chmod(QFile::encodeName(tmp).constData(), 01777);
    ASSERT_EQ(::chown(QFile::encodeName(taken).constData(), 65534, 65534), 0);
    m_kavo.setEnvironment(QStringLiteral("XDG_RUNTIME_DIR"), QString());
    m_kavo.setEnvironment(QStringLiteral("TMPDIR"), tmp);
    for (const QStringList& command : {QStringList{QStringLiteral("--list")},
                                       QStringList{QStringLiteral("--new-shelf")}, QStringList{}}) {
        const KavoSession::Result r = m_kavo.run(command);
        EXPECT_EQ(r.exitCode, 1) << command.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(taken) && r.err.contains(QStringLiteral("another user")))
            << r.err.toStdString();
    }
}

} // namespace
