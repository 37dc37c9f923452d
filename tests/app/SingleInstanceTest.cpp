#include "app/SingleInstance.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Status = SingleInstance::Reply::Status;

// send() blocks; an instance in this process answers from this thread's
// event loop.
SingleInstance::Reply sendWhileServing(const QJsonObject& request, int idleMs = 3000)
{
    QFuture<SingleInstance::Reply> f =
        QtConcurrent::run([request, idleMs] { return SingleInstance::send(request, idleMs); });
    TestEnv::waitUntil([&] { return f.isFinished(); }, 60000);
    return f.result();
}

// Each test gets a runtime folder of its own.
class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        previous = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        ASSERT_TRUE(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner));
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", previous); }

    static QString folder() { return SingleInstance::folder().value_or(QString()); }

    QTemporaryDir runtime;
    QByteArray previous;
};

TEST_F(SingleInstanceTest, TheFirstListensLaterOnesTalkToIt)
{
    EXPECT_EQ(SingleInstance::send({{"command", "ping"}}, 500).status, Status::NotRunning);
    SingleInstance first;
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen([](const QJsonObject& r) {
        return QJsonObject{{"echo", r.value("command")}, {"n", r.value("files").toArray().size()}};
    }));
    SingleInstance second;
    EXPECT_FALSE(second.claim()) << "one instance at a time";

    const auto reply = sendWhileServing({{"command", "new-shelf"}, {"files", QJsonArray{"/a", "/b"}}});
    ASSERT_EQ(reply.status, Status::Answered);
    EXPECT_EQ(reply.object.value("echo").toString(), "new-shelf");
    EXPECT_EQ(reply.object.value("n").toInt(), 2);
}

TEST_F(SingleInstanceTest, ALeftoverSocketFileDoesNotBlockAStart)
{
    ASSERT_TRUE(TestEnv::writeFile(SingleInstance::socketPath(folder()), ""));
    SingleInstance instance;
    ASSERT_TRUE(instance.claim());
    ASSERT_TRUE(instance.listen([](const QJsonObject&) { return QJsonObject{{"ok", true}}; }));
    const auto reply = sendWhileServing({{"command", "ping"}});
    ASSERT_EQ(reply.status, Status::Answered);
    EXPECT_TRUE(reply.object.value("ok").toBool());
}

TEST_F(SingleInstanceTest, AnInstanceThatDoesNotAnswerKeepsItsSocket)
{
    SingleInstance busy;
    ASSERT_TRUE(busy.claim());
    ASSERT_TRUE(busy.listen([](const QJsonObject&) { return QJsonObject{{"ok", true}}; }));
    // Busy in a long alert, say: this thread serves nothing meanwhile.
    const SingleInstance::Reply reply = SingleInstance::send({{"command", "ping"}}, 300);
    EXPECT_EQ(reply.status, Status::NoAnswer);
    // A second start gives way and leaves the first one reachable.
    SingleInstance second;
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(QFileInfo::exists(SingleInstance::socketPath(folder())));
    EXPECT_EQ(sendWhileServing({{"command", "ping"}}).status, Status::Answered);
}

TEST_F(SingleInstanceTest, RequestsAndAnswersOfManyMegabytesGoThrough)
{
    SingleInstance instance;
    ASSERT_TRUE(instance.claim());
    ASSERT_TRUE(instance.listen([](const QJsonObject& r) {
        return QJsonObject{{"n", r.value("files").toArray().size()},
                           {"echo", r.value("files").toArray()}};
    }));
    QJsonArray files;
    const QString path = "/home/someone/" + QString(200, u'x') + "/";
    while (files.size() * (path.size() + 10) < 70 * 1024 * 1024)
        files.append(QString(path + QString::number(files.size())));
    const auto reply = sendWhileServing({{"command", "new-shelf"}, {"files", files}}, 20000);
    ASSERT_EQ(reply.status, Status::Answered);
    EXPECT_EQ(reply.object.value("n").toInt(), files.size());
    EXPECT_EQ(reply.object.value("echo").toArray().size(), files.size());
}

TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheSocketGoesToAPrivateFolder)
{
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    const QString own = tmp.path() + QStringLiteral("/kavo-%1").arg(::getuid());

    QString error;
    EXPECT_EQ(SingleInstance::folder(&error), own) << error.toStdString();
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Another user's folder under that name, or one others may enter, is
    // refused with a reason, and nothing is sent there.
    ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0755), 0);
    EXPECT_FALSE(SingleInstance::folder(&error));
    EXPECT_TRUE(error.contains(own) && error.contains("others may use it")) << error.toStdString();
    if (::getuid() == 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0700), 0);
        ASSERT_EQ(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
        EXPECT_FALSE(SingleInstance::folder(&error));
        EXPECT_TRUE(error.contains("another user")) << error.toStdString();
        const SingleInstance::Reply reply = SingleInstance::send({{"command", "list"}});
        EXPECT_EQ(reply.status, Status::Failed);
    }
    qputenv("TMPDIR", oldTmp);
}

TEST_F(SingleInstanceTest, AnAnswerFromAnotherUserIsNotBelieved)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    // A listener that binds our socket, then becomes another user before it
    // listens (the peer's credentials are those of the listening process).
    const QString socket = SingleInstance::socketPath(folder());
    QProcess impostor;
    impostor.start("python3", {"-c",
                               "import os, socket, sys\n"
                               "s = socket.socket(socket.AF_UNIX)\n"
                               "s.bind(sys.argv[1])\n"
                               "os.setgid(65534); os.setuid(65534)\n"
                               "s.listen(1)\n"
                               "print('ready', flush=True)\n"
                               "c, _ = s.accept()\n"
                               "c.sendall(b'{\"shelves\": []}\\n')\n"
                               "c.recv(1 << 20)\n",
                               socket});
    ASSERT_TRUE(impostor.waitForReadyRead(10000)) << impostor.readAllStandardError().toStdString();
    // The lock is held as a real instance would hold it.
    SingleInstance holder;
    ASSERT_TRUE(holder.claim());
    const SingleInstance::Reply reply = SingleInstance::send({{"command", "list"}}, 2000);
    EXPECT_EQ(reply.status, Status::Failed);
    EXPECT_TRUE(reply.error.contains("another user")) << reply.error.toStdString();
    impostor.kill();
    impostor.waitForFinished();
}

} // namespace
