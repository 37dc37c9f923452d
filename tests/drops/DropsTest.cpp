// Dropped content as a shelf takes it: one table of what a drag may carry,
// what cannot be saved, the names of the files written, and their folders.
#include "drops/DropFolders.h"
#include "drops/DropNaming.h"
#include "drops/DropReader.h"

#include "Shelf.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>

#include <random>

#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList dropFolders()
{
    return QDir(DropFolders::droppedFilesRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QByteArray png(const QImage& img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG", 0);
    return bytes;
}

// A picture no encoder can make small.
QImage noise(int side)
{
    QImage img(side, side, QImage::Format_RGB32);
    std::mt19937 random(1);
    std::generate_n(reinterpret_cast<quint32*>(img.bits()), side * side, random);
    return img;
}

// One drop: what the drag carries, and what the shelf should then hold.
struct DropCase
{
    const char* name;
    std::function<void(QMimeData&, TestFiles&)> carry;
    int items;          // held afterwards (0: the drop is refused)
    QString fileName;   // of the one file Kavo wrote; empty: held by reference
    QByteArray content; // its bytes (empty: not checked)
};

void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class DropTableTest : public ::testing::TestWithParam<DropCase>
{
};

TEST_P(DropTableTest, TheShelfHoldsWhatTheDragCarried)
{
    const DropCase& c = GetParam();
    QDir(DropFolders::droppedFilesRoot()).removeRecursively();
    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    auto store = std::make_shared<ShelfStore>();
    QMimeData mime;
    c.carry(mime, files);
    EXPECT_EQ(DropReader(store).take(&mime), c.items > 0);
    // A picture is written off the UI thread.
    TestEnv::waitUntil([&] { return store->items.size() >= c.items; }, c.items ? 5000 : 0);
    ASSERT_EQ(store->items.size(), c.items);
    if (c.fileName.isEmpty()) {
        EXPECT_TRUE(dropFolders().isEmpty()) << "nothing written";
        EXPECT_FALSE(c.items && store->items.last()->isTemporary());
        return;
    }
    // <cache>/io.github.kavo.Kavo/Dropped/<UUID>/<name>
    const QFileInfo written(store->items.last()->path());
    EXPECT_TRUE(store->items.last()->isTemporary());
    EXPECT_EQ(written.fileName(), c.fileName);
    EXPECT_EQ(written.absolutePath(), DropFolders::droppedFilesRoot() + '/' + dropFolders().value(0));
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(written.dir().dirName()).hasMatch());
    // "@FORMAT": the bytes the drag offered in that format.
    const QByteArray content = c.content.startsWith('@') ? mime.data(c.content.mid(1)) : c.content;
    EXPECT_TRUE(content.isEmpty() || readAll(written.filePath()) == content);
}

const QByteArray notUtf8("caf\xe9 cr\xe8me\nbr\xfb" "l\xe9" "e \xff\xfe end");

using M = QMimeData;
using F = TestFiles;

INSTANTIATE_TEST_SUITE_P(
    Drops, DropTableTest,
    ::testing::Values(
        DropCase{"FilesByReferenceWinOverAPictureAndText",
                 [](M& m, F& f) { m.setUrls(f.make(2) << QUrl("https://e.org/")), m.setImageData(noise(9)), m.setText("t"); },
                 2, {}, {}},
        DropCase{"APictureBecomesImagePng", [](M& m, F&) { m.setImageData(noise(40)); }, 1, "Image.png", {}},
        DropCase{"APngIsWrittenAsItCame",
                 [](M& m, F&) { m.setImageData(noise(16)), m.setData("image/png", png(noise(16))); }, 1,
                 "Image.png", "@image/png"},
        DropCase{"AWebLinkIsNamedAfterItsHost",
                 [](M& m, F&) { m.setUrls({QUrl("https://www.example.org/a?x=1"), QUrl("https://b.example")}); },
                 1, "www.example.org.webloc", {}},
        DropCase{"ALinkWithoutAHost", [](M& m, F&) { m.setUrls({QUrl("mailto:a@example.org")}); }, 1,
                 "Link.webloc", {}},
        DropCase{"TextIsSavedWholeUnderItsFirstLine",
                 [](M& m, F&) { m.setText("\n\n  " + QString(58, u'q') + "\r\nsecond\n\nthird"); }, 1,
                 QString(30, u'q') + ".txt", "\n\n  " + QByteArray(58, 'q') + "\r\nsecond\n\nthird"},
        DropCase{"TextKeepsTheBytesItCameIn", [](M& m, F&) { m.setData("text/plain;charset=utf-8", notUtf8); },
                 1, QString::fromUtf8("caf\xef\xbf\xbd cr\xef\xbf\xbdme.txt"), notUtf8},
        DropCase{"GtkTextKeepsTheLineEndsItHolds",
                 [](M& m, F&) { m.setData("text/plain;charset=utf-8", "a\r\n\r\nb\r\n"), m.setData("text/plain", "a\n\rb\n"); },
                 1, "a.txt", "a\n\rb\n"},
        DropCase{"TextInUnrelatedFormsKeepsTheUtf8One",
                 [](M& m, F&) { m.setData("text/plain;charset=utf-8", "a\r\nb"), m.setData("text/plain", "a\nc"); }, 1,
                 "a.txt", "a\r\nb"},
        DropCase{"DirectSaveLeftToTheTargetWritesTheOfferedData",
                 [](M& m, F&) { m.setData("XdndDirectSave0", "F"), m.setData("application/octet-stream", notUtf8); },
                 1, "Untitled", notUtf8},
        DropCase{"AnEmptyTextIsRefused", [](M& m, F&) { m.setText(""); }, 0, {}, {}},
        DropCase{"UnknownContentIsRefused", [](M& m, F&) { m.setData("application/x-other", "data"); }, 0, {}, {}},
        DropCase{"FilesOfOtherHostsAreRefused",
                 [](M& m, F&) { m.setData("text/uri-list", "file://otherhost/etc/passwd\r\nfile:relative.txt\r\n"); },
                 0, {}, {}},
        DropCase{"DirectSaveWithoutASourceFallsThroughToText",
                 [](M& m, F&) { m.setData("XdndDirectSave0", ""), m.setText("fallback"); }, 1, "fallback.txt",
                 "fallback"}),
    [](const auto& info) { return std::string(info.param.name); });

// Drops that cannot be saved: the user is told what and why, the drop
// folder goes, and nothing half-written reaches the shelf.
TEST(DropFailureTest, WhatCannotBeSavedIsToldAndLeavesNothing)
{
    ManualThumbnailer::Scoped thumbnails;
    auto store = std::make_shared<ShelfStore>();
    DropReader reader(store);
    QStringList notices;
    reader.onNotice = [&](const QString& title, const QString& text) { notices << title + " | " + text; };
    const QString root = DropFolders::droppedFilesRoot();
    const QString kavoCache = QFileInfo(root).absolutePath();
    QTemporaryDir elsewhere;
    const bool isRoot = ::getuid() == 0;
    const auto mount = [&](const char* size) {
        return isRoot && QDir().mkpath(kavoCache) &&
               QProcess::execute("mount", {"-t", "tmpfs", "-o", QString("size=") + size, "tmpfs",
                                           kavoCache}) == 0;
    };
    const struct
    {
        const char* name;
        std::function<bool()> setUp;
        std::function<void(QMimeData&)> carry;
        QString notice;
    } cases[] = {
        {"a link in place of the drop folder",
         [&] { return QDir().mkpath(kavoCache) && QFile::link(elsewhere.path(), root); },
         [](QMimeData& m) { m.setText("Notes\nmore"); }, "Couldn't save \u201CNotes.txt\u201D | "},
        {"a full disk, for text", [&] { return mount("64k"); },
         [](QMimeData& m) { m.setText("Big\n" + QString(300 * 1024, u'x')); },
         "Couldn't save \u201CBig.txt\u201D | No space left on device"},
        {"a full disk, for a picture", [&] { return mount("4k"); },
         [](QMimeData& m) { m.setImageData(noise(300)); },
         "Couldn't save \u201CImage.png\u201D | No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notices.clear();
        QDir(kavoCache).removeRecursively();
        if (!c.setUp()) {
            ADD_FAILURE() << "cannot set up" << (isRoot ? "" : " (needs root)");
            continue;
        }
        QMimeData mime;
        c.carry(mime);
        reader.take(&mime);
        EXPECT_TRUE(TestEnv::waitUntil([&] { return !notices.isEmpty(); }));
        EXPECT_TRUE(notices.value(0).startsWith(c.notice)) << notices.value(0).toStdString();
        EXPECT_TRUE(store->items.isEmpty());
        EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing written through the link";
        EXPECT_TRUE(QFileInfo(root).isSymLink() || dropFolders().isEmpty()) << "no folder left";
        QProcess::execute("umount", {kavoCache});
        QFile::remove(root);
        QFile::remove(kavoCache);
    }
}

TEST(DropNamingTest, NamesAreShortPlainAndInsideTheDropFolder)
{
    using namespace DropNaming;
    const struct { QString made, expected; } cases[] = {
        {textFileName("a/b and c\nsecond"), "a-b and c.txt"}, {textFileName("      \nsecond line"), "Text.txt"},
        {textFileName("\u2028\u2029\u0085line"), "line.txt"}, {textFileName(QString("ab") + QChar(0) + "cd"), "abcd.txt"},
        // Characters as a reader counts them: e + accent, one beyond 16 bits.
        {textFileName(QString("e\u0301").repeated(40)), QString("e\u0301").repeated(32) + ".txt"},
        {plainFileName("../../.bashrc", "Untitled"), ".bashrc"}, {plainFileName("/etc/passwd", "Untitled"), "passwd"},
        {plainFileName("..", "Untitled"), "Untitled"},           {plainFileName("dir/", "Untitled"), "Untitled"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.made, c.expected);
    // Never beyond Linux's 255 bytes, cut between characters, suffix kept.
    for (const QString& name :
         {textFileName(QString("a" + QString(u'\u0301').repeated(8)).repeated(40)),
          plainFileName(QString(300, u'x') + ".tar.gz", "Untitled"),
          linkFileName(QUrl("https://" + QString(250, u'h') + ".example/x"))}) {
        EXPECT_LE(name.toUtf8().size(), 255) << name.toStdString();
        EXPECT_FALSE(name.contains(QChar(0xFFFD)));
    }
    EXPECT_TRUE(weblocData(QUrl("https://example.org/a?b=1&c=<2>"))
                    .contains("<string>https://example.org/a?b=1&amp;c=%3C2%3E</string>"));
}

TEST(DropFoldersTest, FoldersAreFreshAndGoAfterSevenDaysNeverThroughLinks)
{
    const QString root = DropFolders::droppedFilesRoot();
    QDir(root).removeRecursively();
    DropFolders::cleanUpOldPromises();
    EXPECT_FALSE(QFileInfo::exists(root)) << "no root: nothing done, nothing made";

    const QString young = DropFolders::newDropFolder(), old = DropFolders::newDropFolder();
    EXPECT_NE(young, old);
    ASSERT_TRUE(TestEnv::writeFile(old + "/Image.png", "png"));
    ASSERT_TRUE(TestEnv::writeFile(root + "/.stray", "x"));
    QTemporaryDir outside;
    ASSERT_TRUE(TestEnv::writeFile(outside.filePath("keep.txt"), "keep"));
    ASSERT_TRUE(QFile::link(outside.path(), old + "/inner-link"));
    ASSERT_TRUE(QFile::link(outside.path(), root + "/link"));
    const QDateTime created = DropFolders::entryDate(old);
    ASSERT_TRUE(created.isValid());
    EXPECT_FALSE(DropFolders::entryDate(root + "/missing").isValid());
    DropFolders::cleanUpOldPromises({}, created.addSecs(DropFolders::maxDropAgeSeconds - 1));
    EXPECT_TRUE(QFileInfo::exists(old) && QFileInfo::exists(young));
    // A folder that a shelf still holds items of stays, however old.
    DropFolders::cleanUpOldPromises({QFile::encodeName(QFileInfo(old).fileName())},
                                    created.addSecs(DropFolders::maxDropAgeSeconds + 1));
    EXPECT_TRUE(QFileInfo::exists(old + "/Image.png"));
    EXPECT_FALSE(QFileInfo::exists(young));
    DropFolders::cleanUpOldPromises({}, created.addSecs(DropFolders::maxDropAgeSeconds + 1));
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList()) << "folders, files and links under the root go";
    EXPECT_TRUE(QFileInfo::exists(outside.filePath("keep.txt"))) << "links are not followed";

    // A root that is itself a link is not entered.
    QDir(root).removeRecursively();
    ASSERT_TRUE(QFile::link(outside.path(), root));
    DropFolders::cleanUpOldPromises({}, QDateTime::currentDateTimeUtc().addDays(30));
    EXPECT_TRUE(QFileInfo::exists(outside.filePath("keep.txt")));
    QFile::remove(root);
}

TEST(DropFoldersTest, WhatADropKilledWhileWritingLeftGoesAtStartAndNothingElse)
{
    QDir(DropFolders::droppedFilesRoot()).removeRecursively();
    QTemporaryDir outside;
    ASSERT_TRUE(TestEnv::writeFile(outside.filePath(".partial-keep"), "keep"));
    // The files of a young drop folder → those left after the clean-up (none: the folder goes).
    const struct { QStringList files, left; } cases[] = {
        {{".partial-Text.txt"}, {}},
        {{"Image.png", ".partial-Text.txt"}, {"Image.png"}},
        {{"Text.txt", "partial-Text.txt", ".partial"}, {".partial", "Text.txt", "partial-Text.txt"}},
        {{}, {}}, // an empty folder that no drop wrote into yet is left alone
    };
    QStringList folders;
    for (const auto& c : cases) {
        folders << DropFolders::newDropFolder();
        for (const QString& file : c.files)
            ASSERT_TRUE(TestEnv::writeFile(folders.last() + '/' + file, "part"));
    }
    ASSERT_TRUE(QFile::link(outside.filePath(".partial-keep"), folders[1] + "/.partial-link"));
    DropFolders::cleanUpOldPromises();
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QDir folder(folders[i]);
        const bool gone = cases[i].left.isEmpty() && !cases[i].files.isEmpty();
        EXPECT_EQ(folder.exists(), !gone) << folders[i].toStdString();
        EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                  cases[i].left) << cases[i].files.join(' ').toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(".partial-keep"))) << "a link is removed, not its target";
}

} // namespace
