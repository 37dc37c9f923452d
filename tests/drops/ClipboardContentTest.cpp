// What a paste takes from the clipboard: the file managers' copied-files
// form, the formats read for what is on offer, and the snapshot of their
// bytes going through the drop pipeline.
#include "drops/ClipboardContent.h"
#include "drops/DropFolders.h"
#include "drops/DropReader.h"

#include "Shelf.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QMimeData>

namespace {

struct CopiedCase
{
    const char* name;
    QByteArray bytes;
    QStringList urls;
};
void PrintTo(const CopiedCase& c, std::ostream* os) { *os << c.name; }

class CopiedFilesTest : public ::testing::TestWithParam<CopiedCase>
{
};

TEST_P(CopiedFilesTest, ReadsTheFilesAFileManagerCopied)
{
    QStringList got;
    for (const QUrl& url : ClipboardContent::copiedFiles(GetParam().bytes))
        got << QString::fromLatin1(url.toEncoded());
    EXPECT_EQ(got, GetParam().urls);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CopiedFilesTest,
    ::testing::Values(
        CopiedCase{"copy", "copy\nfile:///a/one.txt\nfile:///a/two%20words.txt",
                   {"file:///a/one.txt", "file:///a/two%20words.txt"}},
        CopiedCase{"cut", "cut\nfile:///a/one.txt", {"file:///a/one.txt"}},
        CopiedCase{"a newline at the end and CRLF", "copy\r\nfile:///a/one.txt\r\n\r\n",
                   {"file:///a/one.txt"}},
        CopiedCase{"no verb", "file:///a/one.txt\nfile:///a/two.txt", {}},
        CopiedCase{"another verb", "link\nfile:///a/one.txt", {}},
        CopiedCase{"the verb alone", "copy", {}},
        CopiedCase{"not URIs", "copy\n/a/one.txt\n\x01\x02", {}}));

struct OfferCase
{
    const char* name;
    QStringList offered;
    QStringList read;
};
void PrintTo(const OfferCase& c, std::ostream* os) { *os << c.name; }

class FormatsToReadTest : public ::testing::TestWithParam<OfferCase>
{
};

TEST_P(FormatsToReadTest, ReadsWhatADropWouldTakeInItsOrder)
{
    EXPECT_EQ(ClipboardContent::formatsToRead(GetParam().offered), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, FormatsToReadTest,
    ::testing::Values(
        OfferCase{"a GTK file manager",
                  {"x-special/gnome-copied-files", "text/plain", "text/uri-list", "text/html"},
                  {"text/uri-list", "x-special/gnome-copied-files", "text/plain"}},
        OfferCase{"MATE's form only", {"x-special/mate-copied-files"}, {"x-special/mate-copied-files"}},
        OfferCase{"a picture and its text",
                  {"text/plain", "image/bmp", "image/png", "text/plain;charset=utf-8"},
                  {"image/png", "text/plain;charset=utf-8", "text/plain"}},
        OfferCase{"a picture Qt decodes", {"image/x-unknown", "image/bmp"}, {"image/bmp"}},
        OfferCase{"a browser's link", {"text/x-moz-url", "text/html"}, {"text/x-moz-url"}},
        OfferCase{"nothing a shelf takes", {"text/html", "application/x-other"}, {}},
        OfferCase{"nothing", {}, {}}));

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The snapshot of a clipboard's bytes, taken as a drop: what the shelf then holds.
class SnapshotTest : public ::testing::Test
{
protected:
    SnapshotTest() { QDir(DropFolders::droppedFilesRoot()).removeRecursively(); }
    bool take(const QList<QPair<QString, QByteArray>>& data)
    {
        const std::unique_ptr<QMimeData> mime = ClipboardContent::snapshot(data);
        return DropReader(store).take(mime.get());
    }
    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
};

TEST_F(SnapshotTest, CopiedFilesAreHeldByReference)
{
    const QList<QUrl> held = files.make(2);
    ASSERT_TRUE(take({{"x-special/gnome-copied-files",
                       "copy\n" + held[0].toEncoded() + '\n' + held[1].toEncoded()},
                      {"text/plain", held[0].toLocalFile().toUtf8()}}));
    ASSERT_EQ(store->items.size(), 2);
    EXPECT_EQ(store->items[0]->url(), held[0]);
    EXPECT_EQ(store->items[1]->url(), held[1]);
    EXPECT_FALSE(store->items[0]->isTemporary());
}

TEST_F(SnapshotTest, AFileListWinsOverTheCopiedForm)
{
    const QList<QUrl> held = files.make(2);
    ASSERT_TRUE(take({{"text/uri-list", held[1].toEncoded() + "\r\n"},
                      {"x-special/gnome-copied-files", "copy\n" + held[0].toEncoded()}}));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_EQ(store->items[0]->url(), held[1]);
}

TEST_F(SnapshotTest, APictureIsWrittenAsItCame)
{
    QImage img(6, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    ASSERT_TRUE(take({{"image/png", png}, {"text/plain", "a picture"}}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return store->items.size() == 1; }));
    EXPECT_TRUE(store->items[0]->isTemporary());
    EXPECT_EQ(QFileInfo(store->items[0]->url().toLocalFile()).fileName(), "Image.png");
    EXPECT_EQ(readAll(store->items[0]->url().toLocalFile()), png);
}

TEST_F(SnapshotTest, TextKeepsItsBytes)
{
    const QByteArray text = "\n\nfirst/line \xC3\xA9\r\nsecond\n";
    ASSERT_TRUE(take({{"text/plain", text}}));
    ASSERT_EQ(store->items.size(), 1);
    EXPECT_TRUE(store->items[0]->isTemporary());
    EXPECT_EQ(QFileInfo(store->items[0]->url().toLocalFile()).fileName(),
              QString::fromUtf8("first-line \xC3\xA9.txt"));
    EXPECT_EQ(readAll(store->items[0]->url().toLocalFile()), text);
}

TEST_F(SnapshotTest, NothingUsableIsRefused)
{
    EXPECT_FALSE(take({{"x-special/gnome-copied-files", "copy"}, {"text/plain", ""}}));
    EXPECT_TRUE(store->items.isEmpty());
}

} // namespace
