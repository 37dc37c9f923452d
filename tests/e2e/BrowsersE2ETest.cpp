// Drops from and onto a web browser and a text editor: Chromium showing a
// page that the test serves over HTTP, and mousepad (GTK 3).
#include "FeedServer.h"
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QBuffer>
#include <QFileInfo>

#include <unistd.h>

namespace {

// A page with a picture at its top-left corner and, below it, a drop zone
// that puts the names and sizes of the files dropped on it in the title
// (which is the window's title).
const QByteArray page = R"(<!doctype html><title>loading</title>
<body style="margin:0">
<img id="pic" src="/pic.png" style="display:block;width:160px;height:120px">
<div id="zone" style="position:absolute;left:0;top:150px;width:100%;height:200px;background:#ccc"></div>
<script>
onload = () => document.title = "ready";
zone.ondragover = e => e.preventDefault();
zone.ondrop = e => {
  e.preventDefault();
  document.title = [...e.dataTransfer.files].map(f => f.name + ":" + f.size).join(" ");
};
</script>)";

// Chromium in an application window (no tabs, no toolbar) showing one page,
// with a profile of its own in the test's home.
class Chromium
{
public:
    // Opens `url` and places the window's frame at `frame`; answers whether
    // the page is shown and has loaded (it calls itself "ready").
    bool open(const QUrl& url, QRect frame)
    {
        QStringList arguments{"--user-data-dir=" + qEnvironmentVariable("HOME") + "/chromium",
                              "--no-first-run",
                              "--test-type", // no warning bar above the page for --no-sandbox
                              "--no-default-browser-check",
                              "--disable-gpu",
                              "--password-store=basic",
                              "--disable-background-networking",
                              "--disable-component-update",
                              "--window-size=400,300",
                              "--app=" + url.toString()};
        if (::geteuid() == 0)
            arguments << "--no-sandbox";
        if (!m_openbox.start() || !m_process.start("chromium", arguments, {"NO_AT_BRIDGE=1"}))
            return false;
        const auto shown = waitForClient([](const ProbedWindow& w) { return w.viewable && w.title == u"ready"; }, 30000);
        if (!shown)
            return false;
        m_window = shown->id;
        m_contents = placeWindow(m_window, frame).value_or(QRect());
        return !m_contents.isEmpty();
    }
    // The page's top-left corner on the screen.
    QPoint pageAt(QPoint p) const { return m_contents.topLeft() + p; }
    QString title() const { return m_display.describe(m_window).value_or(ProbedWindow{}).title; }
    QString errors() { return m_process.errors() + m_openbox.errors(); }

private:
    Openbox m_openbox;
    Program m_process;
    XConnection m_display;
    xcb_window_t m_window = XCB_NONE;
    QRect m_contents;
};

// mousepad, the GTK 3 text editor, editing one file.
class Mousepad
{
public:
    // Opens `file` with the window's frame at `frame`; answers where the
    // window's contents are, or nothing when it did not show.
    std::optional<QRect> open(const QString& file, QRect frame)
    {
        if (!m_openbox.start() ||
            !m_process.start("mousepad", {file}, {"NO_AT_BRIDGE=1", "GDK_BACKEND=x11", "GSETTINGS_BACKEND=memory"}))
            return {};
        const auto shown = waitForClient(
            [&](const ProbedWindow& w) { return w.viewable && w.title.startsWith(file + " - "); }, 30000);
        if (!shown)
            return {};
        return placeWindow(shown->id, frame);
    }
    QString errors() { return m_process.errors() + m_openbox.errors(); }

private:
    Openbox m_openbox;
    Program m_process;
};

// A notice of Kavo's shows within `timeoutMs`.
bool noticeShown(int timeoutMs)
{
    return waitForClient([](const ProbedWindow& w) { return w.viewable && w.instance == u"kavo" && w.title == u"Kavo"; },
                         timeoutMs)
        .has_value();
}

// Drags from `from` to `to` and lets go there once the drag is under way (a
// busy source starts it late, after motions it then never sees) and the
// target has had time to answer where the pointer is.
bool dragAndLetGo(QPoint from, QPoint to)
{
    const XConnection display;
    return Input::run(Input::pressAt(from) + Input::glide(from, to, 8)) &&
           TestEnv::waitUntil([&] { return display.selectionOwner("XdndSelection") != XCB_NONE; }, 10000) &&
           Input::run(Input::glide(to, to + QPoint(4, 4), 2) + Input::release(1.5));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class BrowsersE2E : public KavoTest
{
protected:
    // Serves the page and its picture, starts Kavo and opens the page.
    ::testing::AssertionResult openPage()
    {
        QBuffer png(&picture);
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor(40, 120, 220));
        if (!png.open(QIODevice::WriteOnly) || !image.save(&png, "PNG"))
            return ::testing::AssertionFailure() << "cannot make the picture";
        server.pages.insert("/", {200, page, true, false, 0, "text/html; charset=utf-8"});
        server.pages.insert("/pic.png", {200, picture, true, false, 0, "image/png"});
        if (!startKavo())
            return ::testing::AssertionFailure() << "kavo did not start";
        if (!browser.open(server.url().resolved(QUrl("/")), {40, 60, 480, 420}))
            return ::testing::AssertionFailure() << "chromium: " << browser.errors().toStdString();
        return ::testing::AssertionSuccess();
    }

    FeedServer server;
    QByteArray picture;
    Chromium browser;
};

TEST_F(BrowsersE2E, APictureDraggedOutOfAPageLandsUnderTheNameTheBrowserProposesWithItsBytes)
{
    ASSERT_TRUE(openPage());
    const ListedShelf shelf = openShelfAt({1000, 400});
    ASSERT_TRUE(dragAndLetGo(browser.pageAt({80, 60}), stackCentre(shelf.frame)));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).items.size() == 1; }, &shelves))
        << describe(shelves);
    const ListedShelf::Item item = shelves[0].items[0];
    EXPECT_TRUE(item.temporary);
    EXPECT_EQ(QFileInfo(item.path).fileName(), "pic.png");
    const QByteArray saved = readAll(item.path);
    EXPECT_TRUE(saved == picture) << saved.size() << " bytes for " << picture.size();
    EXPECT_FALSE(noticeShown(1000));
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).items.size(), 1);
}

TEST_F(BrowsersE2E, ThePileDroppedOnAPageGivesItTheFilesWithTheirNamesAndSizes)
{
    const QString one = makeFile("one.txt", "123"), two = makeFile("two words.bin", QByteArray(70000, 'x'));
    ASSERT_TRUE(openPage());
    const ListedShelf shelf = openShelfAt({1000, 400}, {one, two});
    ASSERT_EQ(shelf.items.size(), 2);
    ASSERT_TRUE(dragAndLetGo(stackCentre(shelf.frame), browser.pageAt({200, 250})));
    EXPECT_TRUE(TestEnv::waitUntil([&] { return browser.title() == u"one.txt:3 two words.bin:70000"; }, 10000))
        << browser.title().toStdString();
}

using EditorE2E = KavoTest;

TEST_F(EditorE2E, TextSelectedInAGtkEditorIsSavedWithTheEditorsOwnLineEnds)
{
    QByteArray text;
    for (int i = 1; i <= 30; ++i)
        text += "line " + QByteArray::number(i) + " of a text whose lines end in a bare line feed\n";
    const QString file = makeFile("lines.txt", text);
    ASSERT_TRUE(startKavo());
    const ListedShelf shelf = openShelfAt({1000, 400});
    Mousepad editor;
    const auto contents = editor.open(file, {40, 60, 560, 500});
    ASSERT_TRUE(contents) << editor.errors().toStdString();
    // Everything selected (in the window that the window manager focused;
    // a click there first would make the press that starts the drag a
    // double click), then dragged from the middle of the selection.
    ASSERT_TRUE(Input::run(Input::key("ctrl+a")) &&
                TestEnv::waitUntil([&] { return m_display.selectionOwner("PRIMARY") != XCB_NONE; }));
    const QPoint grab = contents->topLeft() + QPoint(120, contents->height() / 2);
    ASSERT_TRUE(dragAndLetGo(grab, stackCentre(shelf.frame)));
    Shelves shelves;
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.value(0).items.size() == 1; }, &shelves))
        << describe(shelves);
    const QByteArray saved = readAll(shelves[0].items[0].path);
    EXPECT_TRUE(saved == text) << saved.size() << " bytes for " << text.size() << ", " << saved.count('\r') << " CRs";
}

} // namespace
