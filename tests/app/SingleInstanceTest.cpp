#include "app/SingleInstance.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QFuture>
#include <QtConcurrent>

#include <gtest/gtest.h>

namespace {

// send() blocks; the server answers from this thread's event loop.
std::optional<QJsonObject> sendWhileServing(const QJsonObject& request)
{
    QFuture<std::optional<QJsonObject>> f =
        QtConcurrent::run([request] { return SingleInstance::send(request, 3000); });
    TestEnv::waitUntil([&] { return f.isFinished(); }, 5000);
    return f.result();
}

TEST(SingleInstanceTest, TheFirstListensLaterOnesTalkToIt)
{
    EXPECT_FALSE(SingleInstance::send({{"command", "ping"}}, 500)) << "nobody runs yet";
    SingleInstance first;
    ASSERT_TRUE(first.listen([](const QJsonObject& r) {
        return QJsonObject{{"echo", r.value("command")}, {"n", r.value("files").toArray().size()}};
    }));
    const auto reply =
        sendWhileServing({{"command", "new-shelf"}, {"files", QJsonArray{"/a", "/b"}}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->value("echo").toString(), "new-shelf");
    EXPECT_EQ(reply->value("n").toInt(), 2);

    // Anything but one line of JSON is answered with an error, not a crash.
    const auto bad = sendWhileServing({{"command", QJsonValue::Null}});
    ASSERT_TRUE(bad);
}

TEST(SingleInstanceTest, ALeftoverSocketFileDoesNotBlockAStart)
{
    ASSERT_TRUE(TestEnv::writeFile(SingleInstance::socketPath(), ""));
    SingleInstance instance;
    EXPECT_TRUE(instance.listen([](const QJsonObject&) { return QJsonObject{{"ok", true}}; }));
    const auto reply = sendWhileServing({{"command", "ping"}});
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->value("ok").toBool());
}

TEST(SingleInstanceTest, TheSocketIsPrivateToTheUserAndDisplay)
{
    const QString path = SingleInstance::socketPath();
    EXPECT_TRUE(path.contains("io.github.kavo.Kavo"));
    EXPECT_TRUE(path.contains(QString::number(::getuid())));
}

} // namespace
