// Files crossing into and out of a sandboxed program by drag and drop,
// through the desktop's FileTransfer portal: the real xdg-document-portal on
// the test's bus, and a GTK 4 program run as Flatpak runs one.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>

#include <signal.h>

namespace {

// xdg-document-portal, which serves the FileTransfer portal, with its FUSE
// file system (the files it hands to sandboxed programs) at RUNTIME/doc.
// Ended, and its file system gone, with the object.
class DocumentPortal
{
public:
    ~DocumentPortal()
    {
        m_process.stop();
        if (mounted())
            Program::run("fusermount3", {"-u", "-z", m_doc});
    }
    // Starts it in place of any other on the bus; answers whether it serves.
    bool start(const QString& runtimeDir)
    {
        m_doc = runtimeDir + "/doc";
        return m_process.start("/usr/libexec/xdg-document-portal", {"--replace"}, {"XDG_RUNTIME_DIR=" + runtimeDir}) &&
               TestEnv::waitUntil(
                   [&] {
                       const auto owner = QDBusConnection::sessionBus().interface()->serviceOwner(
                           "org.freedesktop.portal.Documents");
                       return owner.isValid() && !owner.value().isEmpty() && mounted();
                   },
                   10000);
    }
    QString doc() const { return m_doc; }
    QString errors() { return m_process.errors(); }
    qint64 processId() const { return m_process.processId(); }

private:
    bool mounted() const
    {
        QFile mounts("/proc/self/mounts");
        return mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains(QByteArray(' ' + m_doc.toUtf8() + ' '));
    }

    Program m_process;
    QString m_doc;
};

// tests/e2e/gtk4_peer.py in a sandbox of bubblewrap whose root holds a
// /.flatpak-info naming its application: to GTK and to the portal it is a
// Flatpak program. The host's folders are there at their own paths, the
// test's home and files among them. Its window, placed under openbox, takes
// drops in its top half and starts a drag of the file it offers in its
// bottom half.
class SandboxedGtk
{
public:
    // Starts it offering `offered` (or nothing) with its window at `frame`;
    // answers whether it is ready.
    bool open(const QString& offered, QRect frame)
    {
        const QString info = m_info.filePath("flatpak-info");
        if (!TestEnv::writeFile(info, "[Application]\nname=io.github.kavo.TestPeer\n") || !m_openbox.start())
            return false;
        // The program ends with bubblewrap, which the test ends.
        QStringList arguments{"--die-with-parent", "--tmpfs", "/"};
        for (const QString folder : {"/usr", "/etc", "/var", "/run", "/tmp", KAVO_SOURCE_DIR})
            arguments << "--bind" << folder << folder;
        if (!QDir::tempPath().startsWith("/tmp"))
            arguments << "--bind" << QDir::tempPath() << QDir::tempPath();
        for (const QString link : {"bin", "lib", "lib64", "sbin"})
            arguments << "--symlink" << "usr/" + link << '/' + link;
        arguments << "--proc" << "/proc" << "--dev" << "/dev" << "--ro-bind" << info << "/.flatpak-info"
                  << "/usr/bin/python3" << KAVO_SOURCE_DIR "/tests/e2e/gtk4_peer.py";
        if (!offered.isEmpty())
            arguments << offered;
        if (!m_process.start("bwrap", arguments, {"GTK_USE_PORTAL=1", "GDK_BACKEND=x11", "GTK_A11Y=none"}))
            return false;
        const auto shown =
            waitForClient([](const ProbedWindow& w) { return w.viewable && w.title == u"ready"; }, 30000);
        if (!shown)
            return false;
        m_window = shown->id;
        m_contents = placeWindow(m_window, frame).value_or(QRect());
        return !m_contents.isEmpty();
    }
    QPoint dropPoint() const { return m_contents.center() - QPoint(0, m_contents.height() / 4); }
    QPoint dragPoint() const { return m_contents.center() + QPoint(0, m_contents.height() / 4); }
    // The paths of the files it was given, once its title shows them after
    // `prefix` ("dropped:", "pasted 2:").
    QStringList given(const QString& prefix) const
    {
        QString title;
        TestEnv::waitUntil(
            [&] { return (title = m_display.describe(m_window).value_or(ProbedWindow{}).title).startsWith(prefix); },
            10000);
        return title.startsWith(prefix) ? title.mid(prefix.size()).split(u'|') : QStringList{};
    }
    xcb_window_t window() const { return m_window; }
    QString errors() { return m_process.errors() + m_openbox.errors(); }

private:
    QTemporaryDir m_info;
    Openbox m_openbox;
    Program m_process;
    XConnection m_display;
    xcb_window_t m_window = XCB_NONE;
    QRect m_contents;
};

class FileTransferE2E : public KavoTest
{
protected:
    // The portal, then Kavo (which finds it on the bus), then the program.
    ::testing::AssertionResult prepare(const QString& offered = {})
    {
        if (!portal.start(m_kavo.runtimeDir()))
            return ::testing::AssertionFailure() << "the portal did not start: " << portal.errors().toStdString();
        if (!startKavo())
            return ::testing::AssertionFailure() << "kavo did not start";
        if (!peer.open(offered, {640, 120, 400, 300}))
            return ::testing::AssertionFailure() << "the GTK program did not start: " << peer.errors().toStdString();
        return ::testing::AssertionSuccess();
    }
    // Drags from `from` to `to`, letting go once the drag is under way and
    // the target has had time to answer (a sanitized Kavo answers late).
    bool drag(QPoint from, QPoint to)
    {
        return Input::run(Input::pressAt(from) + Input::glide(from, to, 8)) &&
               TestEnv::waitUntil([&] { return m_display.selectionOwner("XdndSelection") != XCB_NONE; }) &&
               Input::run(Input::glide(to, to + QPoint(4, 4), 2) + Input::release(1.5));
    }

    DocumentPortal portal;
    SandboxedGtk peer;
};

TEST_F(FileTransferE2E, ThePileDraggedOntoASandboxedProgramReachesItThroughThePortal)
{
    const QString file = makeFile("report.txt", "report");
    ASSERT_TRUE(prepare());
    const ListedShelf shelf = openShelfAt({300, 350}, {file});
    ASSERT_TRUE(drag(stackCentre(shelf.frame), peer.dropPoint()));
    // A path in the portal's file system, DOC/ID/NAME, holding the file.
    const QStringList got = peer.given("dropped:");
    ASSERT_EQ(got.size(), 1) << peer.errors().toStdString();
    const QFileInfo handed(got[0]);
    EXPECT_EQ(handed.fileName(), "report.txt");
    EXPECT_EQ(QFileInfo(handed.path()).path(), portal.doc());
    QFile read(got[0]);
    EXPECT_TRUE(read.open(QIODevice::ReadOnly) && read.readAll() == "report");
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).paths(), QStringList{file});
}

TEST_F(FileTransferE2E, CopiedFilesPasteIntoASandboxedProgramThroughThePortalEveryTime)
{
    const QString file = makeFile("report.txt", "report");
    ASSERT_TRUE(prepare());
    const ListedShelf shelf = openShelfAt({300, 350}, {file});
    // Programs read the clipboard's formats when it changes hands: with the
    // portal held up, this one and the sandboxed one read them before the
    // key comes, and must still see it once it does.
    ASSERT_EQ(::kill(pid_t(portal.processId()), SIGSTOP), 0);
    const bool looked = copyFromShelfMenu(m_display, stackCentre(shelf.frame)) && TestEnv::waitUntil([] {
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        return copied && copied->hasUrls();
    });
    ASSERT_EQ(::kill(pid_t(portal.processId()), SIGCONT), 0);
    ASSERT_TRUE(looked);
    // A transfer serves one paste; each paste finds a key of its own.
    QByteArray key;
    for (const QString paste : {"pasted 1:", "pasted 2:"}) {
        ASSERT_TRUE(TestEnv::waitUntil(
            [&] {
                const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
                const QByteArray now = copied ? copied->data("application/vnd.portal.filetransfer") : QByteArray();
                const bool fresh = !now.isEmpty() && now != key;
                key = fresh ? now : key;
                return fresh;
            },
            10000))
            << "no key for " << paste.toStdString() << m_kavo.errors();
        ASSERT_TRUE(Input::activate(peer.window(), Input::key("ctrl+v")));
        const QStringList got = peer.given(paste);
        ASSERT_EQ(got.size(), 1) << paste.toStdString();
        EXPECT_EQ(QFileInfo(QFileInfo(got[0]).path()).path(), portal.doc()) << got[0].toStdString();
    }
}

TEST_F(FileTransferE2E, AFileASandboxedProgramOffersOnlyThroughThePortalLandsOnAShelf)
{
    const QString file = makeFile("from the sandbox.txt", "sandboxed");
    ASSERT_TRUE(prepare(file));
    const ListedShelf shelf = openShelfAt({300, 350});
    ASSERT_TRUE(drag(peer.dragPoint(), stackCentre(shelf.frame)));
    Shelves shelves;
    EXPECT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return !s.value(0).items.isEmpty(); }, &shelves))
        << describe(shelves) << peer.errors().toStdString();
    EXPECT_EQ(shelves.value(0).paths(), QStringList{file});
    EXPECT_FALSE(shelves.value(0).items.value(0).temporary);
}

} // namespace
