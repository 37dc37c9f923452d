// The clipboard both ways: the shelf's "Copy" and Ctrl+C pasted into file
// managers that read the clipboard each in a form of their own, and what
// file managers, an editor and hostile owners put on the clipboard pasted
// onto a shelf with Ctrl+V or the tray's "New Shelf from Clipboard".
#include "DBusTray.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace {

using ClipboardE2E = KavoTest;

TEST_F(ClipboardE2E, CajaPastesTheFilesThatCopyPutOnTheClipboard)
{
    const QStringList held{makeFile("report.txt", "report"), makeFile("two words.txt", "two")};
    const QString into = m_kavo.root() + "/into";
    ASSERT_TRUE(QDir().mkpath(into));
    Caja caja;
    ASSERT_TRUE(caja.open(into, {640, 120, 500, 300})) << caja.errors().toStdString();
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({300, 350}, held);
    ASSERT_EQ(shelf.paths(), held);

    ASSERT_TRUE(copyFromShelfMenu(m_display, stackCentre(shelf.frame))) << "the shelf's menu did not open";
    // As Nautilus reads it: "copy", then the URIs, with no newline at the end.
    // (Read until it comes: the clipboard changes hands again once the
    // portal's key is in, and a read at that moment finds nothing.)
    QByteArray expected("copy"), got;
    for (const QString& path : held)
        expected += '\n' + QUrl::fromLocalFile(path).toEncoded();
    TestEnv::waitUntil([&] {
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        got = copied ? copied->data("x-special/gnome-copied-files") : QByteArray();
        return got == expected;
    });
    EXPECT_EQ(got, expected);

    ASSERT_TRUE(Input::activate(caja.window(), Input::key("ctrl+v")));
    for (const QString& path : held) {
        const QString copy = into + u'/' + QFileInfo(path).fileName();
        EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(copy); }, 10000)) << "not pasted: "
                                                                                       << copy.toStdString();
        EXPECT_TRUE(QFileInfo::exists(path));
    }
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).paths(), held);
}

} // namespace

namespace {

// The window of the shelf with this frame, as the window manager has it.
std::optional<ProbedWindow> shelfWindow(const QRect& frame)
{
    return waitForClient(
        [&](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.geometry == frame; }, 10000);
}

// Activates the shelf through the window manager and types `keys` into it,
// as a keyboard user does after Alt+Tab: no click on the shelf.
bool typeIntoShelf(const ListedShelf& shelf, const QStringList& keys)
{
    const auto window = shelfWindow(shelf.frame);
    return window && Input::activate(window->id, QStringList{"key"} + keys);
}

// What a program copies: the files of a folder, a text file's text, a picture.
enum class Copied { Files, Text, Picture };

// A program that puts something on the clipboard as a user would, still
// running (the clipboard is its own until another program takes it).
struct Copier
{
    const char* name;
    // Starts the program on the folder, text file or picture `source` and
    // copies; answers whether it got that far. The window manager runs by then.
    std::function<bool(const QString& source, std::vector<std::unique_ptr<QObject>>& keep)> copy;
    Copied copied;
};
void PrintTo(const Copier& c, std::ostream* os) { *os << c.name; }

// Keeps a peer alive for the test, whatever its type.
template <class T> struct Kept : QObject
{
    T peer;
};
template <class T> T& keep(std::vector<std::unique_ptr<QObject>>& kept)
{
    kept.push_back(std::make_unique<Kept<T>>());
    return static_cast<Kept<T>*>(kept.back().get())->peer;
}

// Activates a peer's window, selects all of it and copies, until the peer
// owns the clipboard (a window shows before it has read its folder).
bool selectAllAndCopy(xcb_window_t window)
{
    const XConnection display;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        if (!Input::activate(window, {"key", "ctrl+a", "sleep", "0.3", "key", "ctrl+c"}))
            return false;
        if (TestEnv::waitUntil([&] { return display.selectionOwner("CLIPBOARD") != XCB_NONE; }, 1000))
            return true;
    }
    return false;
}

const Copier copiers[] = {
    {"pcmanfm",
     [](const QString& folder, std::vector<std::unique_ptr<QObject>>& kept) {
         // It places itself where no window manager runs; the window manager comes after.
         Pcmanfm& fm = keep<Pcmanfm>(kept);
         if (!fm.open(folder, {700, 100}, 2) ||
             !Input::run({"windowfocus", "--sync", QString::number(fm.window()), "key", "ctrl+a", "sleep", "0.3",
                          "key", "ctrl+c"}))
             return false;
         return keep<Openbox>(kept).start();
     },
     Copied::Files},
    {"Thunar",
     [](const QString& folder, std::vector<std::unique_ptr<QObject>>& kept) {
         if (!keep<Openbox>(kept).start() || !keep<Thunar>(kept).open(folder, {640, 80, 600, 400}))
             return false;
         const auto window = waitForClient(
             [](const ProbedWindow& w) { return w.viewable && w.windowClass == u"Thunar"; }, 10000);
         return window && selectAllAndCopy(window->id);
     },
     Copied::Files},
    {"Caja",
     [](const QString& folder, std::vector<std::unique_ptr<QObject>>& kept) {
         Caja& caja = keep<Caja>(kept); // under a window manager of its own
         return caja.open(folder, {640, 80, 600, 400}) && selectAllAndCopy(caja.window());
     },
     Copied::Files},
    {"mousepad",
     [](const QString& file, std::vector<std::unique_ptr<QObject>>& kept) {
         if (!keep<Openbox>(kept).start() ||
             !keep<Program>(kept).start("mousepad", {file},
                                        {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11", "GSETTINGS_BACKEND=memory"}))
             return false;
         const auto window = waitForClient(
             [&](const ProbedWindow& w) {
                 return w.viewable && w.windowClass == u"Mousepad" && w.title.contains(QFileInfo(file).fileName());
             },
             20000);
         return window && selectAllAndCopy(window->id);
     },
     Copied::Text},
    {"GTK_picture",
     [](const QString& picture, std::vector<std::unique_ptr<QObject>>& kept) {
         return keep<Openbox>(kept).start() &&
                keep<Program>(kept).start("/usr/bin/python3", {KAVO_SOURCE_DIR "/tests/e2e/gtk_image_copier.py", picture},
                                          {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11"});
     },
     Copied::Picture},
};

class PasteE2E : public KavoTest, public ::testing::WithParamInterface<Copier>
{
};

TEST_P(PasteE2E, CtrlVOnAShelfAddsWhatADropOfTheClipboardWould)
{
    const Copier& copier = GetParam();
    const QString folder = m_kavo.root() + "/copied";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList files{folder + "/a report.txt", folder + "/b.txt"};
    TestEnv::writeFile(files[0], "report");
    TestEnv::writeFile(files[1], "b");
    // Text with a slash in its first line, a tab, non-ASCII letters, no end
    // of line at the end, and long enough to come in INCR pieces.
    QByteArray text = "Notes 1/2 \xC3\xBC\xC3\xA9\n\tindented line\n";
    for (int i = 0; i < 60000; ++i)
        text += "line " + QByteArray::number(i) + " of a long text\n";
    text += "last";
    const QString textFile = m_kavo.root() + "/notes.txt";
    TestEnv::writeFile(textFile, text);
    const QString picture = m_kavo.root() + "/picture.png";
    QImage drawn(40, 30, QImage::Format_RGB32);
    drawn.fill(QColor(200, 30, 60));
    ASSERT_TRUE(drawn.save(picture));

    ASSERT_TRUE(startKavo());
    std::vector<std::unique_ptr<QObject>> kept;
    const QString source = copier.copied == Copied::Files ? folder : copier.copied == Copied::Text ? textFile : picture;
    ASSERT_TRUE(copier.copy(source, kept)) << copier.name << " did not copy";
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.selectionOwner("CLIPBOARD") != XCB_NONE; }))
        << copier.name << " took no clipboard";
    const ListedShelf shelf = openShelfAt({300, 350});
    ASSERT_TRUE(shelf.items.isEmpty());
    ASSERT_TRUE(typeIntoShelf(shelf, {"ctrl+v"}));

    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves);
    const ListedShelf& pasted = shelves[0];
    if (copier.copied == Copied::Files) {
        // In the order the file manager lists them.
        QStringList paths = pasted.paths();
        paths.sort();
        EXPECT_EQ(paths, files);
        for (const ListedShelf::Item& item : pasted.items)
            EXPECT_FALSE(item.temporary) << item.path.toStdString();
        return;
    }
    ASSERT_EQ(pasted.items.size(), 1);
    EXPECT_TRUE(pasted.items[0].temporary);
    EXPECT_TRUE(pasted.items[0].path.startsWith(m_kavo.droppedRoot() + u'/'));
    if (copier.copied == Copied::Picture) {
        EXPECT_EQ(QFileInfo(pasted.items[0].path).fileName(), "Image.png");
        EXPECT_EQ(QImage(pasted.items[0].path).convertToFormat(QImage::Format_RGB32), drawn) << "the picture copied";
        return;
    }
    EXPECT_EQ(QFileInfo(pasted.items[0].path).fileName(), QString::fromUtf8("Notes 1-2 \xC3\xBC\xC3\xA9.txt"));
    QFile written(pasted.items[0].path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), text) << "the bytes the editor held";
}

INSTANTIATE_TEST_SUITE_P(Copiers, PasteE2E, ::testing::ValuesIn(copiers),
                         [](const auto& info) { return std::string(info.param.name); });

// Ctrl+C on a shelf: a file manager pastes the files, and so does another shelf.
TEST_F(ClipboardE2E, CtrlCOnAShelfCopiesItsFilesForAFileManagerAndAnotherShelf)
{
    const QStringList held{makeFile("one.txt", "one"), makeFile("two.txt", "two")};
    const QString into = m_kavo.root() + "/into";
    ASSERT_TRUE(QDir().mkpath(into));
    Caja caja;
    ASSERT_TRUE(caja.open(into, {640, 120, 500, 300})) << caja.errors().toStdString();
    ASSERT_TRUE(startKavo());
    const ListedShelf from = openShelfAt({300, 250}, held);
    ASSERT_TRUE(typeIntoShelf(from, {"ctrl+c"}));
    ASSERT_TRUE(Input::run(Input::pause(0.5)) && Input::activate(caja.window(), Input::key("ctrl+v")));
    for (const QString& path : held) {
        const QString copy = into + u'/' + QFileInfo(path).fileName();
        EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(copy); }, 10000)) << "not pasted: "
                                                                                       << copy.toStdString();
    }
    const ListedShelf to = openShelfAt({300, 560});
    ASSERT_TRUE(typeIntoShelf(to, {"ctrl+v"}));
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves(
        [&](const Shelves& s) { return s.size() == 2 && s[1].paths() == held && s[0].paths() == held; }, &shelves))
        << describe(shelves);
}

// An owner that never answers, or sends without end: Kavo keeps answering,
// and the paste ends with a notice and nothing on the shelf.
class HostileOwnerE2E : public KavoTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(HostileOwnerE2E, KavoKeepsAnsweringAndThePasteEndsWithANotice)
{
    Openbox wm;
    ASSERT_TRUE(wm.start()) << wm.errors().toStdString();
    ASSERT_TRUE(startKavo());
    Program owner;
    ASSERT_TRUE(owner.start(KAVO_CLIPBOARD_OWNER, {GetParam()}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.selectionOwner("CLIPBOARD") != XCB_NONE; }));
    const ListedShelf shelf = openShelfAt({300, 350});
    ASSERT_TRUE(typeIntoShelf(shelf, {"ctrl+v"}));
    // Asked again and again while the paste waits on the owner.
    const auto notice = [](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title == u"Kavo"; };
    bool told = false;
    QElapsedTimer waited;
    waited.start();
    while (!told && waited.elapsed() < 30000) {
        ASSERT_TRUE(answers()) << "Kavo stopped answering";
        told = waitForClient(notice, 200).has_value();
    }
    EXPECT_TRUE(told) << "no notice";
    const Shelves shelves = m_kavo.list().value_or(Shelves{});
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(shelves[0].items.isEmpty()) << describe(shelves);
}

INSTANTIATE_TEST_SUITE_P(Owners, HostileOwnerE2E, ::testing::Values("silent", "endless"));

// The tray's "New Shelf from Clipboard", read and clicked over D-Bus.
class ClipboardTrayE2E : public KavoTest
{
protected:
    StatusNotifierWatcher watcher;
};

TEST_F(ClipboardTrayE2E, NewShelfFromClipboardOpensAShelfWithWhatWasCopiedAndClosesOneNothingCouldBeReadInto)
{
    ASSERT_TRUE(watcher.start()) << "another watcher owns the name";
    const QString folder = m_kavo.root() + "/copied";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList files{folder + "/x.txt", folder + "/y.txt"};
    TestEnv::writeFile(files[0], "x");
    TestEnv::writeFile(files[1], "y");
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(TestEnv::waitUntil([&] { return !watcher.items.isEmpty(); }, 10000)) << "no tray item";
    const TrayMenu menu(watcher.items.first());
    const auto enabled = [&] {
        const auto entry = menu.entry("New Shelf from Clipboard");
        return entry ? std::optional<bool>(entry->isEnabled()) : std::nullopt;
    };
    const QStringList texts = menu.texts();
    ASSERT_EQ(texts.indexOf("New Shelf from Clipboard"), texts.indexOf("New Shelf") + 1) << texts.join(", ").toStdString();
    EXPECT_EQ(enabled(), false) << "an empty clipboard";

    // An owner that offers nothing a shelf takes (it never even says what).
    {
        Program owner;
        ASSERT_TRUE(owner.start(KAVO_CLIPBOARD_OWNER, {"silent"}));
        ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.selectionOwner("CLIPBOARD") != XCB_NONE; }));
        // Not within the time Kavo gives it to answer, nor after.
        EXPECT_FALSE(TestEnv::waitUntil([&] { return enabled() != false; }, 3000))
            << "an owner that never says what it holds";
    }
    // One that offers text and then sends it without end: the shelf it
    // asked for closes again, and the user is told why.
    {
        Program owner;
        ASSERT_TRUE(owner.start(KAVO_CLIPBOARD_OWNER, {"endless"}));
        ASSERT_TRUE(TestEnv::waitUntil([&] { return enabled() == true; }, 10000)) << "text on offer";
        ASSERT_TRUE(menu.click("New Shelf from Clipboard"));
        EXPECT_TRUE(waitForClient(
            [](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title == u"Kavo"; }, 20000))
            << "no notice";
        EXPECT_TRUE(shelvesClose()) << describe(m_kavo.list().value_or(Shelves{})) << m_kavo.errors();
    }

    Pcmanfm fm;
    ASSERT_TRUE(fm.open(folder, {700, 100}, 2)) << fm.errors().toStdString();
    ASSERT_TRUE(Input::run({"windowfocus", "--sync", QString::number(fm.window()), "key", "ctrl+a", "sleep", "0.3",
                            "key", "ctrl+c"}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return m_display.selectionOwner("CLIPBOARD") != XCB_NONE; }));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return enabled() == true; }, 10000)) << "files on the clipboard";
    ASSERT_TRUE(menu.click("New Shelf from Clipboard"));
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves([&](const Shelves& s) { return s.size() == 1 && s[0].paths() == files; }, &shelves))
        << describe(shelves);
}

} // namespace
