// A shelf's items: adding, what vanished, files written while held, and the
// two texts that describe it.
#include "core/NativePath.h"
#include "model/ShelfStore.h"

#include "Shelf.h"

#include <QDir>
#include <QLocale>
#include <QMimeDatabase>
#include <QProcess>

#include <ostream>

namespace {

QUrl file(const QString& path) { return QUrl::fromLocalFile(path); }

class ShelfStoreTest : public ::testing::Test
{
protected:
    ShelfStoreTest() { store->onChange = [this] { ++changes; }; }
    QStringList paths() const
    {
        QStringList out;
        for (const ShelfItemPtr& item : store->items)
            out << item->path();
        return out;
    }
    ManualThumbnailer::Scoped thumbnails;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    int changes = 0;
};

TEST_F(ShelfStoreTest, AddKeepsNewLocalFilesInOrderAndReportsOnce)
{
    store->add({}, false);
    store->add({QUrl("https://example.org/a"), QUrl::fromEncoded("file://otherhost/a")}, false);
    EXPECT_EQ(changes, 0) << "nothing added, nothing reported";
    store->add({file("/a/b"), file("/f/1")}, false);
    // Held ones (by standardized path) are skipped; the same new file twice
    // in one call is not compared with itself; the caller's form is kept.
    store->add({file("/a/./b"), file("/a/c/../b"), QUrl("https://x.org"), file("/x/y"), file("/x/./y")}, true);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(paths(), QStringList({"/a/b", "/f/1", "/x/y", "/x/./y"}));
    EXPECT_TRUE(store->items[2]->isTemporary());
    EXPECT_FALSE(store->items[0]->isTemporary());
    ASSERT_EQ(thumbnails->pending.size(), 4u) << "one preview asked for per new item";
    // Names that differ only in bytes that are not UTF-8 are two files.
    store->add({NativePath::toUrl("/n/\xff\xfe"), NativePath::toUrl("/n/\xfe\xff")}, false);
    EXPECT_EQ(store->items.size(), 6);
}

TEST_F(ShelfStoreTest, PruningAsksOffTheUiThreadAndRemovesOnlyWhatVanished)
{
    TestFiles files;
    const QList<QUrl> urls = files.make(3);
    QDir().mkdir(files.path("folder"));
    store->add(urls + QList<QUrl>{file(files.path("folder"))}, false);
    ASSERT_TRUE(factsArrived(*store));
    const auto prune = [&](const QList<ShelfItemPtr>& among) {
        changes = 0;
        qsizetype removed = -1;
        store->pruneMissing(among, [&](qsizetype n) { removed = n; });
        EXPECT_EQ(removed, -1) << "the answer comes later";
        EXPECT_TRUE(TestEnv::waitUntil([&] { return removed >= 0; }));
        return removed;
    };
    EXPECT_EQ(prune({}), 0);
    EXPECT_EQ(changes, 0) << "all present, a folder too";
    QFile::remove(urls[0].toLocalFile());
    QFile::remove(urls[2].toLocalFile());
    EXPECT_EQ(prune({store->items[1], store->items[2]}), 1) << "only the items asked about";
    EXPECT_EQ(prune({}), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(store->items.size(), 2);
}

TEST_F(ShelfStoreTest, AFileWrittenWhileHeldIsReadAgainNowAndThenAndWhenDone)
{
    TestFiles files;
    const QString path = files.make(1)[0].toLocalFile();
    store->add({file(path)}, false);
    ASSERT_TRUE(factsArrived(*store));
    const ShelfItemPtr item = store->items[0];
    const qint64 before = item->facts()->size;
    changes = 0;
    // A thousand small writes by another program, for longer than a file
    // that keeps changing waits to be read.
    QProcess writer;
    writer.start("python3", {"-c",
                             "import sys, time\nf = open(sys.argv[1], 'ab', 0)\n"
                             "for i in range(1000):\n    f.write(b'y' * 16)\n    time.sleep(0.003)",
                             path});
    ASSERT_TRUE(writer.waitForStarted());
    bool whileWritten = false;
    ASSERT_TRUE(TestEnv::waitUntil(
        [&] {
            whileWritten = whileWritten || (item->facts()->size > before && writer.state() == QProcess::Running);
            return writer.state() == QProcess::NotRunning && item->facts()->size == before + 16000;
        },
        20000))
        << item->facts()->size;
    EXPECT_TRUE(whileWritten) << "read only once the writing ended";
    EXPECT_LT(changes, 20) << "read on every write";
    EXPECT_EQ(writer.exitCode(), 0);
}

TEST_F(ShelfStoreTest, APreviewOfContentsWrittenOverIsNotShown)
{
    TestFiles files;
    const QString path = files.make(1)[0].toLocalFile();
    store->add({file(path)}, false);
    ASSERT_TRUE(factsArrived(*store));
    const ShelfItemPtr item = store->items[0];
    ASSERT_EQ(thumbnails->pending.size(), 1u);
    const auto rewrite = [&](int size) {
        return TestEnv::writeFile(path, QByteArray(size, 'z')) &&
               TestEnv::waitUntil([&] { return item->facts()->size == size; });
    };
    ASSERT_TRUE(rewrite(5000));
    ASSERT_EQ(thumbnails->pending.size(), 2u) << "a preview of the new contents";
    thumbnails->deliver(0);
    TestEnv::processEventsFor(100);
    EXPECT_FALSE(item->hasPreview()) << "a preview of the old contents";
    thumbnails->deliver(1);
    EXPECT_TRUE(TestEnv::waitUntil([&] { return item->hasPreview(); }));
    ASSERT_TRUE(rewrite(10));
    EXPECT_FALSE(item->hasPreview()) << "the icon until a preview of what is there now";
    EXPECT_EQ(store->followedCount(), 1);
    store->remove(store->items);
    EXPECT_EQ(store->followedCount(), 0);
}

// What a shelf holds ("name:bytes" files, "name/" folders, "name!" missing,
// "/" as it stands) and the two texts that describe it; KIND stands for the
// one file's type.
struct TextCase
{
    const char* name;
    std::vector<QByteArray> held;
    QString summary, detail;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class ShelfTextTest : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(ShelfTextTest, SummaryAndDetail)
{
    QLocale::setDefault(QLocale::c());
    ManualThumbnailer::Scoped thumbnails;
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    QList<QUrl> urls;
    for (const QByteArray& entry : GetParam().held) {
        QByteArray path = entry.startsWith('/') ? entry : base + entry;
        if (entry == "/") {
        } else if (entry.endsWith('/')) {
            path.chop(1);
            QDir().mkpath(QFile::decodeName(path));
            TestEnv::writeFile(path + "/inside.bin", QByteArray(5000, 'y')); // never measured
        } else if (entry.endsWith('!')) {
            path.chop(1);
        } else if (!entry.startsWith('/')) {
            const qsizetype colon = path.lastIndexOf(':');
            TestEnv::writeFile(path.left(colon), QByteArray(path.mid(colon + 1).toInt(), 'x'));
            path.truncate(colon);
        }
        urls << NativePath::toUrl(path);
    }
    auto store = std::make_shared<ShelfStore>();
    store->add(urls, false);
    ASSERT_TRUE(factsArrived(*store));
    EXPECT_EQ(store->summary(), GetParam().summary);
    QString detail = GetParam().detail;
    if (!store->items.isEmpty())
        detail.replace("KIND", QMimeDatabase().mimeTypeForName(store->items[0]->mimeType()).comment());
    EXPECT_EQ(store->detail(), detail);
}

const QString dot = QStringLiteral(" \u00B7 ");

INSTANTIATE_TEST_SUITE_P(
    Shelves, ShelfTextTest,
    ::testing::Values(
        TextCase{"Empty", {}, "Empty shelf", "Shake a drag or press Ctrl+Alt+Space"},
        TextCase{"OneFile", {"report.txt:1500"}, "report.txt", "KIND" + dot + "1.5 kB"},
        TextCase{"OneByte", {"a.txt:1"}, "a.txt", "KIND" + dot + "1 bytes"}, // Qt's words
        TextCase{"OneEmptyFile", {"empty.txt:0"}, "empty.txt", "KIND"}, TextCase{"OneFolder", {"Photos/"}, "Photos", "1 folder"},
        TextCase{"AVanishedFile", {"gone.pdf!"}, "gone.pdf", ""},
        TextCase{"FilesAndFolders", {"a.bin:1000", "b.bin:500", "f1/", "f2/", "f3/"}, "5 items",
                 "1.5 kB" + dot + "3 folders"},
        TextCase{"AFileAndAFolder", {"x.bin:1500", "f/"}, "2 items", "1.5 kB" + dot + "1 folder"},
        TextCase{"TwoFolders", {"f1/", "f2/"}, "2 items", "2 folders"}, TextCase{"TheRoot", {"/"}, "/", "1 folder"},
        TextCase{"EmptyFilesOnly", {"e1:0", "e2:0"}, "2 items", ""},
        TextCase{"NamesThatAreNotUtf8", {"\xff\xfe.txt:3", "\xfe\xff.txt:4"}, "2 items", "7 bytes"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

} // namespace
