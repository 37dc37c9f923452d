#include "app/CommandLine.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Kind = CommandLine::Kind;

TEST(CommandLineTest, Commands)
{
    EXPECT_EQ(CommandLine::parse({"kavo"}).kind, Kind::Start);
    EXPECT_EQ(CommandLine::parse({"kavo", "--help"}).kind, Kind::Help);
    EXPECT_EQ(CommandLine::parse({"kavo", "-h"}).kind, Kind::Help);
    EXPECT_EQ(CommandLine::parse({"kavo", "--version"}).kind, Kind::Version);
    EXPECT_EQ(CommandLine::parse({"kavo", "--list"}).kind, Kind::List);
    EXPECT_EQ(CommandLine::parse({"kavo", "--new-shelf"}).kind, Kind::NewShelf);
    EXPECT_EQ(CommandLine::parse({"kavo", "-platform", "xcb"}).kind, Kind::Start);
}

// Qt's own options, as a session manager or a user gives them, are left to
// Qt whatever the command.
TEST(CommandLineTest, QtOptionsPassThrough)
{
    const QList<QList<QByteArray>> starts{
        {"kavo", "-session", "1234abc"},
        {"kavo", "--session", "1234abc"},
        {"kavo", "-session=1234abc"},
        {"kavo", "-reverse"},
        {"kavo", "-stylesheet", "x.qss", "-name", "kavo2"},
        {"kavo", "-style=fusion", "-widgetcount", "-display", ":1"},
    };
    for (const auto& args : starts)
        EXPECT_EQ(CommandLine::parse(args).kind, Kind::Start) << args.join(' ').toStdString();
    EXPECT_EQ(CommandLine::parse({"kavo", "-reverse", "--list"}).kind, Kind::List);
    EXPECT_EQ(CommandLine::parse({"kavo", "--new-shelf", "-session", "x"}).kind, Kind::NewShelf);
}

TEST(CommandLineTest, SnapshotTakesEverythingAfterIt)
{
    EXPECT_EQ(CommandLine::parse({"kavo", "--snapshot", "out", "--whatever"}).kind, Kind::Snapshot);
    EXPECT_EQ(CommandLine::parse({"kavo", "--snapshot"}).kind, Kind::Start)
        << "with nothing after it, Kavo starts as usual";
}

TEST(CommandLineTest, NewShelfMakesPathsAbsolute)
{
    QTemporaryDir dir;
    ASSERT_TRUE(TestEnv::writeFile(dir.filePath("a file.txt"), "x"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const CommandLine cl = CommandLine::parse({"kavo", "--new-shelf", "a file.txt", "./"});
    QDir::setCurrent(before);
    ASSERT_EQ(cl.kind, Kind::NewShelf);
    EXPECT_EQ(cl.files, QList<QByteArray>({QFile::encodeName(dir.filePath("a file.txt")),
                                           QFile::encodeName(QDir::cleanPath(dir.path()))}));
}

TEST(CommandLineTest, BadArgumentsAreExplained)
{
    const CommandLine missing = CommandLine::parse({"kavo", "--new-shelf", "/no/such/file"});
    EXPECT_EQ(missing.kind, Kind::Error);
    EXPECT_EQ(missing.error, "no such file: /no/such/file");
    const CommandLine unknown = CommandLine::parse({"kavo", "--frobnicate"});
    EXPECT_EQ(unknown.kind, Kind::Error);
    EXPECT_EQ(unknown.error, "unknown option: --frobnicate");
    EXPECT_EQ(CommandLine::parse({"kavo", "--list", "x"}).kind, Kind::Error);
    EXPECT_EQ(CommandLine::parse({"kavo", "file.txt"}).kind, Kind::Error);
    EXPECT_TRUE(CommandLine::usage().contains("--new-shelf"));
}

} // namespace
