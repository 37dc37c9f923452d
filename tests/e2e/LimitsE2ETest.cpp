// What the running program takes on its command socket: requests of bounded
// size, time and shape, from a bounded number of clients at once, while
// ordinary `kavo` commands are still answered.
#include "Kavo.h"
#include "TestEnvironment.h"

#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QJsonDocument>

#include <algorithm>
#include <memory>
#include <vector>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A client that speaks to the socket itself, as a broken or hostile program
// may: it sends what it is told and keeps what comes back.
class RawClient
{
public:
    explicit RawClient(const QString& path, bool nonBlocking = false)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0))
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(addr.sun_path, native.constData(), std::min(size_t(native.size()), sizeof(addr.sun_path) - 1));
        m_connected = m_fd >= 0 && ::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
        m_error = m_connected ? 0 : errno;
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isConnected() const { return m_connected; }
    int error() const { return m_error; }
    // Sends all of `bytes` unless the other end closes first.
    bool send(const QByteArray& bytes)
    {
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    // Whether the other end has closed the connection; reads what it wrote.
    bool isClosed()
    {
        pollfd p{m_fd, POLLIN, 0};
        while (!m_closed && ::poll(&p, 1, 0) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0)
                m_closed = true;
            else
                m_in.append(buf, n);
        }
        return m_closed;
    }
    QJsonObject answer() const { return QJsonDocument::fromJson(m_in.left(m_in.indexOf('\n'))).object(); }

private:
    int m_fd;
    bool m_connected = false;
    int m_error = 0;
    bool m_closed = false;
    QByteArray m_in;
};

class LimitsE2E : public KavoTest
{
protected:
    // Sends one request and waits for Kavo to answer and close.
    QJsonObject ask(const QByteArray& request)
    {
        RawClient client(socket());
        EXPECT_TRUE(client.isConnected());
        client.send(request);
        EXPECT_TRUE(TestEnv::waitUntil([&] { return client.isClosed(); }, 20000)) << request.left(80).toStdString();
        return client.answer();
    }
};

TEST_F(LimitsE2E, ClientsThatNeverEndTheirRequestAreCutWhileOthersAreAnswered)
{
    ASSERT_TRUE(startKavo());
    // What a client sends, whether it goes on with a byte now and then, and
    // the limit it meets: the longest pause, or the time for a whole request.
    const struct { const char* name; QByteArray first; bool trickles; int limitMs; } cases[] = {
        {"silent", "", false, SingleInstance::idleMs},
        {"halfway", R"({"command":"li)", false, SingleInstance::idleMs},
        {"trickling", "{", true, SingleInstance::requestMs},
    };
    std::vector<std::unique_ptr<RawClient>> clients;
    QElapsedTimer since;
    since.start();
    for (const auto& c : cases) {
        clients.push_back(std::make_unique<RawClient>(socket()));
        ASSERT_TRUE(clients.back()->isConnected() && clients.back()->send(c.first)) << c.name;
    }
    // Watched and fed from a timer, so that they go on while `--list` is
    // asked and answered, however long that takes.
    std::vector<qint64> cutAt(clients.size(), -1);
    qint64 lastByte = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool trickle = since.elapsed() - lastByte >= 300;
        lastByte = trickle ? since.elapsed() : lastByte;
        for (size_t i = 0; i < clients.size(); ++i) {
            if (cutAt[i] < 0 && clients[i]->isClosed())
                cutAt[i] = since.elapsed();
            if (cutAt[i] < 0 && trickle && cases[i].trickles)
                clients[i]->send(" ");
        }
    });
    watch.start(20);
    EXPECT_TRUE(answers()) << "answered meanwhile";
    TestEnv::waitUntil([&] { return std::all_of(cutAt.begin(), cutAt.end(), [](qint64 t) { return t >= 0; }); },
                       SingleInstance::requestMs + 5000);
    watch.stop();
    for (size_t i = 0; i < clients.size(); ++i) {
        EXPECT_GE(cutAt[i], cases[i].limitMs - 500) << cases[i].name;
        EXPECT_LE(cutAt[i], cases[i].limitMs + 3000) << cases[i].name;
        EXPECT_EQ(clients[i]->answer().value("error").toString(), "the request did not arrive in time")
            << cases[i].name;
    }
    EXPECT_TRUE(answers());
}

TEST_F(LimitsE2E, IdleConnectionsBeyondTheCapAreClosedAndKavoStillAnswers)
{
    ASSERT_TRUE(startKavo());
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(std::make_unique<RawClient>(socket()));
        ASSERT_TRUE(idle.back()->isConnected());
    }
    const auto closed = [&] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& c) { return c->isClosed(); });
    };
    EXPECT_TRUE(TestEnv::waitUntil([&] { return closed() == 40 - SingleInstance::maxConnections; }, 2000)) << closed();
    const Kavo::Result r = m_kavo.run({"--list"}, 5000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

TEST_F(LimitsE2E, ARequestBeyondTheLimitIsRefusedAndKavoStaysUp)
{
    ASSERT_TRUE(startKavo());
    const QByteArray list = R"({"command":"list"})";
    // A request padded with spaces to the limit, and to one byte more.
    const struct { qint64 bytes; const char* key; } cases[] = {
        {SingleInstance::maxRequestBytes, "shelves"}, {SingleInstance::maxRequestBytes + 1, "error"}};
    for (const auto& c : cases) {
        const QJsonObject a = ask(list + QByteArray(c.bytes - list.size(), ' ') + '\n');
        EXPECT_TRUE(a.contains(c.key)) << c.bytes;
        EXPECT_EQ(a.value("error").toString(), a.contains("error") ? "request too large" : "");
    }
    EXPECT_TRUE(answers());
}

TEST_F(LimitsE2E, RequestsOfTheWrongShapeAreRefusedAndOpenNothing)
{
    ASSERT_TRUE(startKavo());
    for (const QByteArray request :
         {R"({"files":"x"})", R"({"command":"new-shelf","files":"x"})", R"({"command":"new-shelf","files":[""]})",
          R"({"command":["new-shelf"],"files":[]})", R"({"command":"new-shelf","files":[1]})", "[1, 2]"}) {
        const QJsonObject a = ask(request + '\n');
        EXPECT_TRUE(a.contains("error") && !a.contains("ok")) << request.toStdString();
    }
    EXPECT_EQ(m_kavo.list().value_or(Shelves{ListedShelf{}}).size(), 0) << "nothing opened";
}

TEST_F(LimitsE2E, ABurstOfClientsIsAnsweredOrToldThatKavoIsTooBusy)
{
    ASSERT_TRUE(startKavo());
    const QString out = m_kavo.root() + "/burst";
    QDir().mkpath(out);
    constexpr int count = 150;
    const Kavo::Result burst = m_kavo.run(
        {"--shell",
         "for i in $(seq " + QString::number(count) +
             "); do ( \"$KAVO\" --list >\"$1/$i.out\" 2>\"$1/$i.err\"; echo $? >\"$1/$i.status\" ) & done; wait",
         out},
        60000);
    ASSERT_EQ(burst.exitCode, 0);
    int answered = 0, busy = 0;
    for (int i = 1; i <= count; ++i) {
        const auto read = [&](const char* what) {
            QFile f(QStringLiteral("%1/%2.%3").arg(out).arg(i).arg(what));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray status = read("status").trimmed(), err = read("err");
        if (status == "0" && QJsonDocument::fromJson(read("out")).object().contains("shelves"))
            ++answered;
        else if (status == "1" && err.startsWith("kavo: Kavo is too busy to answer: "))
            ++busy;
        else
            ADD_FAILURE() << "client " << i << " ended with " << status.toStdString() << ": " << err.toStdString();
    }
    EXPECT_GT(answered, 0) << busy << " told busy";

    // A Kavo that takes nobody (stopped, as by a debugger) until its queue is
    // full: the next client tries for a while, then says why it gives up.
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGSTOP), 0);
    std::vector<std::unique_ptr<RawClient>> queued;
    while (queued.size() < 5000) {
        queued.push_back(std::make_unique<RawClient>(socket(), true));
        if (!queued.back()->isConnected())
            break;
    }
    EXPECT_EQ(queued.back()->error(), EAGAIN) << std::strerror(queued.back()->error());
    const Kavo::Result r = m_kavo.run({"--list"}, 20000);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("kavo: Kavo is too busy to answer: ")) << r.err.toStdString();
    queued.clear();
    ASSERT_EQ(::kill(pid_t(m_kavo.processId()), SIGCONT), 0);
    EXPECT_TRUE(answers());
}

} // namespace
