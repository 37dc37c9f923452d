#include "model/ShelfStore.h"

#include "core/NativePath.h"

#include "ManualThumbnailer.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

namespace {

// What a shelf holds in one case: files of so many bytes ("name:bytes"),
// folders ("name/"), files that do not exist ("name!"), or a path as it
// stands ("/").
struct TextCase
{
    const char* name;
    std::vector<QByteArray> held;
    QString summary;
    QString detail; // "KIND" stands for the one file's type description
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class ShelfTextTest : public ::testing::TestWithParam<TextCase>
{
protected:
    ShelfTextTest() { QLocale::setDefault(QLocale::c()); }

    QByteArray make(const QByteArray& spec)
    {
        if (spec.startsWith('/'))
            return spec;
        const QByteArray base = QFile::encodeName(dir.path()) + '/';
        if (spec.endsWith('/')) {
            const QByteArray path = base + spec.chopped(1);
            EXPECT_TRUE(QDir().mkpath(QFile::decodeName(path)));
            // What is inside a folder is never measured.
            TestEnv::writeFile(QFile::decodeName(path) + "/inside.bin", QByteArray(5000, 'y'));
            return path;
        }
        if (spec.endsWith('!'))
            return base + spec.chopped(1);
        const qsizetype colon = spec.lastIndexOf(':');
        const QByteArray path = base + spec.left(colon);
        // Written by its bytes: names need not be UTF-8.
        FILE* f = std::fopen(path.constData(), "wb");
        EXPECT_TRUE(f);
        if (f) {
            const QByteArray content(spec.mid(colon + 1).toInt(), 'x');
            std::fwrite(content.constData(), 1, size_t(content.size()), f);
            std::fclose(f);
        }
        return path;
    }

    ScopedThumbnailer<NullThumbnailer> thumbnails;
    QTemporaryDir dir;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
};

TEST_P(ShelfTextTest, SummaryAndDetail)
{
    const TextCase& c = GetParam();
    QList<QUrl> urls;
    for (const QByteArray& spec : c.held)
        urls << NativePath::toUrl(make(spec));
    store->add(urls, false);
    // The file system is asked off the UI thread.
    ASSERT_TRUE(TestEnv::waitUntil([&] {
        for (const ShelfItemPtr& item : store->items) {
            if (!item->facts())
                return false;
        }
        return true;
    }));
    EXPECT_EQ(store->summary(), c.summary);
    QString detail = c.detail;
    if (store->items.size() == 1)
        detail.replace("KIND", QMimeDatabase()
                                   .mimeTypeForFile(QFile::decodeName(store->items[0]->nativePath()))
                                   .comment());
    EXPECT_EQ(store->detail(), detail);
}

const QString dot = QStringLiteral(" \u00B7 ");

INSTANTIATE_TEST_SUITE_P(
    Shelves, ShelfTextTest,
    ::testing::Values(
        TextCase{"Empty", {}, "Empty shelf", "Shake a drag or press Ctrl+Alt+Space"},
        TextCase{"OneFile", {"report.txt:1500"}, "report.txt", "KIND" + dot + "1.5 kB"},
        TextCase{"OneEmptyFile", {"empty.txt:0"}, "empty.txt", "KIND"},
        TextCase{"OneFolder", {"Photos/"}, "Photos", "1 folder"},
        TextCase{"AVanishedFile", {"gone.pdf!"}, "gone.pdf", ""},
        TextCase{"TwoFiles", {"a.bin:1000", "b.bin:500"}, "2 items", "1.5 kB"},
        TextCase{"FilesAndFolders",
                 {"a.bin:1000", "b.bin:500", "f1/", "f2/", "f3/"},
                 "5 items",
                 "1.5 kB" + dot + "3 folders"},
        TextCase{"AFileAndAFolder", {"x.bin:1500", "f/"}, "2 items", "1.5 kB" + dot + "1 folder"},
        TextCase{"TwoFolders", {"f1/", "f2/"}, "2 items", "2 folders"},
        TextCase{"EmptyFilesOnly", {"e1:0", "e2:0"}, "2 items", ""},
        TextCase{"TheRoot", {"/"}, "/", "1 folder"},
        // Names that are not UTF-8 are two files, each measured.
        TextCase{"NamesThatAreNotUtf8", {"\xff\xfe.txt:3", "\xfe\xff.txt:4"}, "2 items",
                 "7 bytes"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(ShelfTextCountTest, ThousandItemsAreCountedWithoutGrouping)
{
    ScopedThumbnailer<NullThumbnailer> thumbnails;
    auto store = std::make_shared<ShelfStore>();
    QList<QUrl> urls;
    for (int i = 0; i < 1000; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("/nowhere/%1").arg(i));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    store->add(urls, false);
    EXPECT_EQ(store->summary(), "1000 items");
    QLocale::setDefault(QLocale::c());
}

} // namespace
