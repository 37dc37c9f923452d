// The preview window against hostile files: whatever a file holds or claims
// to be, the worker's answer arrives, little of the file is read, and what the
// UI thread is handed to lay out stays small.
#include "shelf/PreviewPanel.h"

#include "Shelf.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <functional>
#include <random>

#include <sys/stat.h>

namespace {

// A PNG header declaring 100000 × 100000 pixels, then 2 MB of zeros.
QByteArray hugePng() { return TestEnv::declaredPng(100000, 100000, QByteArray(2 << 20, '\0')); }

QByteArray jpeg()
{
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    img.save(&out, "JPEG");
    return out.data();
}

// A real JPEG whose frame header lies past the first 128 KiB, behind
// comments (as large metadata puts it), declaring `side` × `side` pixels
// (0: as it is).
QByteArray deepJpeg(quint16 side = 0)
{
    QByteArray bytes = jpeg();
    if (side) {
        const qsizetype frame = bytes.indexOf("\xFF\xC0");
        qToBigEndian(side, bytes.data() + frame + 5);
        qToBigEndian(side, bytes.data() + frame + 7);
    }
    QByteArray comment("\xFF\xFE\xFF\xFF", 4);
    comment += QByteArray(0xFFFF - 2, 'c');
    return bytes.left(2) + comment + comment + bytes.mid(2);
}

QByteArray junk()
{
    std::mt19937 random(7);
    QByteArray bytes(300 * 1024, '\0');
    for (char& c : bytes)
        c = char(random() % 5 == 0 ? 0 : random()); // NUL bytes among them
    return bytes;
}

using Maker = std::function<bool(const QString& path)>;

Maker holding(std::function<QByteArray()> bytes)
{
    return [bytes](const QString& path) { return TestEnv::writeFile(path, bytes()); };
}

struct HostileFile
{
    const char* name;
    Maker make;
    QString kind;      // what the preview ends up showing
    bool cut;          // whether it says that only the beginning is shown
    QString text = {}; // the exact text shown, where the test knows it
};

void PrintTo(const HostileFile& f, std::ostream* os) { *os << f.name; }

const HostileFile hostileFiles[] = {
    {"line.txt", holding([] { return QByteArray(512 * 1024, 'a'); }), "text", true},
    {"lines.txt", holding([] { return QByteArray("line\n").repeated(1 << 20); }), "text", true},
    {"newlines.txt", holding([] { return QByteArray(60000, '\n'); }), "text", true},
    {"junk.txt", holding(junk), "text", true},
    {"mixed.txt", holding([] {
         return QByteArrayLiteral("caf\xC3\xA9\r\nbad \xFF\x00 end\rlast");
     }),
     "text", false, QStringLiteral(u"café\nbad \uFFFD\uFFFD end\nlast")},
    {"giant.jpg", // a picture's start, then a hole
     [](const QString& p) { return holding(jpeg)(p) && QFile(p).resize(qint64(1) << 30); },
     "file", false},
    {"pipe.txt", [](const QString& p) { return ::mkfifo(QFile::encodeName(p), 0600) == 0; }, "file",
     false},
    {"huge.png", holding(hugePng), "file", false},
    {"huge.jpg", holding([] { return deepJpeg(30000); }), "file", false},
    {"deep.jpg", holding([] { return deepJpeg(); }), "image", false},
};

class PreviewOfHostileFilesTest : public ShelfTest,
                                  public ::testing::WithParamInterface<HostileFile>
{
};

TEST_P(PreviewOfHostileFilesTest, ArrivesReadingLittleAndShowsLittle)
{
    const HostileFile& file = GetParam();
    const QString path = files.path(QString::fromLatin1(file.name));
    ASSERT_TRUE(file.make(path));
    const qint64 before = TestEnv::bytesRead();
    store->add({QUrl::fromLocalFile(path)}, false);
    view.togglePreview();
    PreviewPanel* panel = PreviewPanel::shared();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !panel->isLoading(); }));
    EXPECT_LT(TestEnv::bytesRead() - before, 1 << 20);
    EXPECT_EQ(panel->shownKind(), file.kind);
    EXPECT_EQ(!panel->shownNote().isEmpty(), file.cut);
    if (file.kind != u"text")
        return;
    const QString text = panel->shownText();
    if (!file.text.isEmpty()) {
        EXPECT_EQ(text, file.text);
    }
    // A bounded amount for the UI thread to lay out, whatever the lines.
    EXPECT_LE(text.size(), 80000);
    const QStringList lines = text.split(u'\n');
    EXPECT_LE(lines.size(), 2000);
    for (const QString& line : lines)
        ASSERT_LE(line.size(), 4000);
    EXPECT_FALSE(std::any_of(text.begin(), text.end(),
                             [](QChar c) { return c < u' ' && c != u'\t' && c != u'\n'; }))
        << "control characters reach the text view";
}

INSTANTIATE_TEST_SUITE_P(Files, PreviewOfHostileFilesTest, ::testing::ValuesIn(hostileFiles),
                         [](const auto& info) {
                             return QString::fromLatin1(info.param.name).remove(u'.').toStdString();
                         });

} // namespace
