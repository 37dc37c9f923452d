// The requests of other `kavo` processes as the running one reads them: a
// request of the wrong shape is refused whole, a long one fills its shelf a
// slice per event-loop turn and is answered when all of it is there.
#include "app/CommandServer.h"
#include "app/ShelfRegistry.h"
#include "shelf/ShelfWindowController.h"

#include "Shelf.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <optional>
#include <set>

namespace {

class CommandServerTest : public ::testing::Test
{
protected:
    CommandServerTest() { commands.pointerLocation = [] { return QPointF(500, 400); }; }
    // The answer to `line`, given as the command socket gives it.
    std::optional<QJsonObject> answer(const QByteArray& line)
    {
        std::optional<QJsonObject> got;
        commands.answer(line, [&got](const QJsonObject& a) { got = a; });
        TestEnv::waitUntil([&] { return got.has_value(); });
        return got;
    }

    ManualThumbnailer::Scoped thumbnails;
    ShelfRegistry shelves;
    CommandServer commands{shelves};
};

TEST_F(CommandServerTest, RequestsOfTheWrongShapeAreRefusedWholeAndOpenNothing)
{
    const QByteArray tooLong = "/" + QByteArray(CommandServer::maxFileChars, 'a');
    // A request line → the start of the error (none: taken).
    const struct { QByteArray line; QString error; } cases[] = {
        {R"({"command":"list"})", {}}, {R"({"command":"new-shelf","files":[]})", {}},
        {R"( {"command":"new-shelf","files":["/tmp/a b.txt","file:///tmp/%FF.txt"]} )", {}},
        {"", "not a request"}, {R"(["list"])", "not a request"}, {R"({"command":"list"} x)", "not a request"},
        {R"({"files":"x"})", "the request names no command"}, {R"({"command":1})", "the request names no command"},
        {R"({"command":["list"]})", "the request names no command"},
        {R"({"command":"bogus"})", "unknown command: bogus"},
        {R"({"command":"new-shelf","files":"x"})", "\"files\" must be a list"},
        {R"({"command":"new-shelf"})", "\"files\" must be a list"},
        {R"({"command":"new-shelf","files":{"0":"/tmp/a"}})", "\"files\" must be a list"},
        {R"({"command":"new-shelf","files":["/tmp/a",1]})", "\"files\" must be a list"},
        {R"({"command":"new-shelf","files":[["/tmp/a"]]})", "\"files\" must be a list"},
        {R"({"command":"new-shelf","files":["/tmp/a",""]})", "a file name is empty"},
        {R"({"command":"new-shelf","files":[")" + tooLong + R"("]})", "a file name is longer than"},
        {R"({"command":"new-shelf","files":["/tmp/a\u0000b"]})", "not a local file"},
        {R"({"command":"new-shelf","files":["file:///tmp/a%00b"]})", "not a local file"},
        {R"({"command":"new-shelf","files":["tmp/a"]})", "not a local file"},
        {R"({"command":"list","files":[]})", "list takes no \"files\""},
        {R"({"command":"new-shelf","files":[],"at":[1,2]})", "new-shelf takes no \"at\""},
    };
    for (const auto& c : cases) {
        const CommandServer::Parsed parsed = CommandServer::parse(c.line);
        EXPECT_EQ(parsed.request.has_value(), c.error.isEmpty()) << c.line.left(80).toStdString();
        EXPECT_TRUE(parsed.error.startsWith(c.error)) << parsed.error.toStdString();
        if (c.error.isEmpty())
            continue;
        const std::optional<QJsonObject> refused = answer(c.line);
        ASSERT_TRUE(refused) << c.line.left(80).toStdString();
        EXPECT_TRUE(refused->value("error").toString().startsWith(c.error)) << c.line.left(80).toStdString();
    }
    EXPECT_EQ(CommandServer::parse(R"({"command":"new-shelf","files":["/tmp/a b.txt","file:///tmp/%FF.txt"]})")
                  .request->files,
              (QList<QUrl>{QUrl::fromLocalFile("/tmp/a b.txt"), QUrl::fromEncoded("file:///tmp/%FF.txt")}));
    EXPECT_TRUE(shelves.shelves().empty()) << "a refused request opens nothing";

    // One file more than a request may name, refused before any is looked at.
    QJsonArray many;
    for (qsizetype i = 0; i <= CommandServer::maxFiles; ++i)
        many.append(0);
    EXPECT_TRUE(CommandServer::parse(QJsonObject{{"command", "new-shelf"}, {"files", many}})
                    .error.startsWith("too many files"));
}

TEST_F(CommandServerTest, ALongRequestIsReadOffTheUiThreadAndItsShelfHoldsEveryFileGiven)
{
    QTemporaryDir dir; // files that exist stay on their shelf
    QJsonArray files;
    for (int i = 0; i < 3000; ++i) {
        files.append(dir.filePath(QStringLiteral("file %1.txt").arg(i)));
        ASSERT_TRUE(TestEnv::writeFile(files.last().toString(), {}));
    }
    files.append(files.first()); // a command holds what it is given
    const QByteArray line =
        QJsonDocument(QJsonObject{{"command", "new-shelf"}, {"files", files}}).toJson(QJsonDocument::Compact);
    ASSERT_GT(line.size(), CommandServer::parseHereBytes);

    std::optional<QJsonObject> answered;
    commands.answer(line, [&answered](const QJsonObject& a) { answered = a; });
    EXPECT_FALSE(answered) << "a long request is not read on the UI thread";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return answered.has_value(); }, 10000));
    EXPECT_TRUE(answered->value("ok").toBool());
    ASSERT_EQ(shelves.shelves().size(), 1u);
    QStringList held;
    for (const ShelfItemPtr& item : shelves.shelves()[0]->store()->items)
        held << item->path();
    QStringList given;
    for (const QJsonValue& file : files)
        given << file.toString();
    EXPECT_EQ(held, given);
}

} // namespace
