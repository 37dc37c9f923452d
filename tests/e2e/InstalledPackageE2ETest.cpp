// The Debian package as a user gets it: unpacked into a scratch root (no root
// rights, nothing on the system changes), its files where the desktop looks
// for them, and the program it installs, on the system's Qt libraries, driven
// through one whole session under a real X display with trayer as the tray.
#include "DisplayProbe.h"
#include "HelperProcess.h"
#include "KavoSession.h"
#include "KavoTest.h"
#include "Pcmanfm.h"
#include "PointerScript.h"
#include "RawConnection.h"
#include "TestEnvironment.h"
#include "Trayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace {

using Shelves = QList<ListedShelf>;

const QString packageFile = QStringLiteral(KAVO_PACKAGE_FILE);
const QString appId = QStringLiteral(KAVO_APP_ID);
const QString version = QStringLiteral(KAVO_VERSION);
const QString hotKey = QStringLiteral("ctrl+alt+space");

constexpr int shelfWidth = 216;
constexpr int shelfHeight = 244;
constexpr int headerHeight = 36;
constexpr int footerHeight = 50;

// Where things go on the 1280×800 test screen. The helper windows are
// 200×150; nothing that a step drops on lies under another window.
constexpr QPoint firstShelfAt(300, 250);
constexpr QPoint filesAt(760, 40);   // the file manager showing the files
constexpr QPoint shakeAt(640, 300); // far from the first shelf's reach
constexpr QPoint intoAt(40, 450);   // the file manager showing the folder they go to
constexpr int strokeLength = 60;
constexpr int strokeCount = 4;

struct ToolResult
{
    int exitCode = -1; // -1: did not start, did not end in time, or crashed
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end with this environment.
ToolResult runTool(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    ToolResult result;
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

QString fileUrl(const QString& path)
{
    return QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
}

// The lines of a desktop entry's main group, as key → value.
QMap<QString, QString> desktopEntry(const QString& path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inMain = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inMain = line == u"[Desktop Entry]";
        else if (inMain && !line.startsWith(u'#') && line.contains(u'='))
            entry.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1).trimmed());
    }
    return entry;
}

// What AppStream tools read from the metadata file.
struct Metainfo
{
    QString type;
    QString id;
    QString launchable;
    QString binary;
    QStringList releases;
    bool wellFormed = false;
};

Metainfo readMetainfo(const QString& path)
{
    Metainfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    QXmlStreamReader xml(&file);
    QStringList open;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::EndElement) {
            if (!open.isEmpty())
                open.removeLast();
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        const QXmlStreamAttributes attributes = xml.attributes();
        open << name;
        if (open.size() == 1 && name == u"component")
            info.type = attributes.value(QStringLiteral("type")).toString();
        else if (open == QStringList{QStringLiteral("component"), QStringLiteral("id")})
            info.id = xml.readElementText();
        else if (name == u"launchable" && attributes.value(QStringLiteral("type")) == u"desktop-id")
            info.launchable = xml.readElementText();
        else if (name == u"binary")
            info.binary = xml.readElementText();
        else if (name == u"release")
            info.releases << attributes.value(QStringLiteral("version")).toString();
        // readElementText consumed the end of the element.
        if (xml.isEndElement())
            open.removeLast();
    }
    info.wellFormed = !xml.hasError();
    return info;
}

// A shelf of the standard size centred on `p` (far enough from the screen's
// edges that no clamping moves it).
bool centredOn(const QRect& frame, QPoint p)
{
    return frame.size() == QSize(shelfWidth, shelfHeight) &&
           frame.x() + frame.width() / 2 == p.x() && frame.y() + frame.height() / 2 == p.y();
}

// The middle of a shelf's stack area, where a drag of its pile starts.
QPoint stackCentre(const QRect& frame)
{
    const int stackHeight = frame.height() - headerHeight - footerHeight;
    return QPoint(frame.x() + frame.width() / 2, frame.y() + headerHeight + stackHeight / 2);
}

// A bare spot of the shelf's header, between the close button and the badge:
// a click there gives the shelf the keyboard and does nothing else.
QPoint headerBackground(const QRect& frame)
{
    return frame.topLeft() + QPoint(52, 18);
}

class InstalledPackageE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        const QFileInfo package(packageFile);
        ASSERT_TRUE(package.isFile())
            << "there is no package at " << packageFile.toStdString()
            << ": build it first (cmake --build <build folder> --target package; make test does)";
        const QFileInfo built(QStringLiteral(KAVO_BINARY));
        ASSERT_TRUE(package.lastModified() >= built.lastModified())
            << packageFile.toStdString() << " is older than " << built.filePath().toStdString()
            << ": build the package target again";
        const ToolResult unpacked =
            runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), packageFile, m_root.path()});
        ASSERT_EQ(unpacked.exitCode, 0)
            << "dpkg-deb -x " << packageFile.toStdString() << " failed (is dpkg-deb installed?) "
            << unpacked.err.toStdString();
    }

    QString installed(const QString& relative) const
    {
        return m_root.path() + QStringLiteral("/usr/") + relative;
    }

    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/kavo-package-XXXXXX")};
};

TEST_F(InstalledPackageE2E, ThePackageInstallsTheProgramWithItsDesktopFiles)
{
    // The control data: name, version, and the libraries the program needs.
    const ToolResult control =
        runTool(QStringLiteral("dpkg-deb"),
                {QStringLiteral("--field"), packageFile, QStringLiteral("Package"),
                 QStringLiteral("Version"), QStringLiteral("Depends")});
    ASSERT_EQ(control.exitCode, 0) << control.err.toStdString();
    const QString fields = QString::fromUtf8(control.out);
    EXPECT_TRUE(fields.contains(QStringLiteral("Package: kavo\n"))) << fields.toStdString();
    EXPECT_TRUE(fields.contains(QStringLiteral("Version: ") + version + u'\n'))
        << fields.toStdString();
    for (const char* library : {"libqt6widgets6", "libqt6svg6", "libqt6dbus6", "libxcb1"})
        EXPECT_TRUE(fields.contains(QLatin1String(library)))
            << library << " missing from " << fields.toStdString();

    // The program, which answers without a display.
    const QString program = installed(QStringLiteral("bin/kavo"));
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
    noDisplay.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const ToolResult versionOut = runTool(program, {QStringLiteral("--version")}, noDisplay);
    EXPECT_EQ(versionOut.exitCode, 0) << versionOut.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(versionOut.out), QStringLiteral("kavo ") + version + u'\n');
    const ToolResult help = runTool(program, {QStringLiteral("--help")}, noDisplay);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("--new-shelf")) << help.out.toStdString();

    // The desktop entry starts the installed program and names the icon.
    const QString desktopFile =
        installed(QStringLiteral("share/applications/") + appId + QStringLiteral(".desktop"));
    const QMap<QString, QString> entry = desktopEntry(desktopFile);
    ASSERT_FALSE(entry.isEmpty()) << desktopFile.toStdString();
    EXPECT_EQ(entry.value(QStringLiteral("Type")), u"Application");
    EXPECT_EQ(entry.value(QStringLiteral("Icon")), appId);
    EXPECT_TRUE(
        QFileInfo(installed(QStringLiteral("bin/") + entry.value(QStringLiteral("TryExec"))))
            .isExecutable())
        << "TryExec=" << entry.value(QStringLiteral("TryExec")).toStdString();
    const QStringList exec = entry.value(QStringLiteral("Exec")).split(u' ', Qt::SkipEmptyParts);
    EXPECT_TRUE(exec.contains(QStringLiteral("kavo")))
        << "Exec=" << entry.value(QStringLiteral("Exec")).toStdString();

    // The icon in every size the theme looks for, under the entry's name.
    const QString icons = installed(QStringLiteral("share/icons/hicolor/"));
    QFile svg(icons + QStringLiteral("scalable/apps/") + appId + QStringLiteral(".svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << svg.fileName().toStdString();
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString png =
            icons + QStringLiteral("%1x%1/apps/").arg(size) + appId + QStringLiteral(".png");
        QImageReader reader(png);
        EXPECT_EQ(reader.format(), "png") << png.toStdString();
        EXPECT_EQ(reader.size(), QSize(size, size)) << png.toStdString();
        EXPECT_FALSE(reader.read().isNull()) << png.toStdString();
    }

    // The AppStream metadata points at the entry and the program, and knows
    // this release.
    const Metainfo info = readMetainfo(
        installed(QStringLiteral("share/metainfo/") + appId + QStringLiteral(".metainfo.xml")));
    EXPECT_TRUE(info.wellFormed);
    EXPECT_EQ(info.type, u"desktop-application");
    EXPECT_EQ(info.id, appId);
    EXPECT_EQ(info.launchable, appId + QStringLiteral(".desktop"));
    EXPECT_TRUE(
        QFileInfo::exists(installed(QStringLiteral("share/applications/") + info.launchable)));
    EXPECT_EQ(info.binary, u"kavo");
    EXPECT_TRUE(info.releases.contains(version)) << info.releases.join(u' ').toStdString();

    // The manual page, compressed as man expects, for this version.
    const QString manual = installed(QStringLiteral("share/man/man1/kavo.1.gz"));
    const ToolResult page = runTool(QStringLiteral("gzip"), {QStringLiteral("-dc"), manual});
    ASSERT_EQ(page.exitCode, 0) << manual.toStdString() << ": " << page.err.toStdString();
    EXPECT_TRUE(page.out.startsWith(".TH KAVO 1 ")) << page.out.left(80).toStdString();
    EXPECT_TRUE(page.out.left(page.out.indexOf('\n')).contains(("Kavo " + version).toUtf8()))
        << page.out.left(80).toStdString();

    // Nothing else lands outside /usr.
    EXPECT_EQ(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("usr")});
}

// The whole session with the installed program.
class InstalledPackageSessionE2E : public InstalledPackageE2E
{
protected:
    void SetUp() override
    {
        InstalledPackageE2E::SetUp();
        if (HasFatalFailure())
            return;
        PointerScript::resetInput();
        ASSERT_TRUE(m_display.isValid());
        ASSERT_TRUE(m_x.isValid());
        m_kavo = std::make_unique<KavoSession>(installed(QStringLiteral("bin/kavo")));
        ASSERT_TRUE(m_kavo->isValid());
        // A home that has seen Kavo before: no welcome in the way.
        m_kavo->setPreference(QStringLiteral("hasLaunchedBefore"), true);
    }

    void TearDown() override { PointerScript::resetInput(); }

    QString errors() { return m_kavo ? m_kavo->programErrors() : QString(); }

    // Waits until `done` accepts the shelves; answers the last ones seen.
    ::testing::AssertionResult shelvesBecome(const std::function<bool(const Shelves&)>& done,
                                             Shelves* last = nullptr)
    {
        Shelves seen;
        if (m_kavo->waitForShelves(done, &seen)) {
            if (last)
                *last = seen;
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "kavo --list: " << describe(seen).toStdString()
                                             << "; kavo's errors: " << errors().toStdString();
    }

    static bool hotKeyAt(QPoint p)
    {
        return PointerScript::run(PointerScript::moveTo(p) +
                                  QStringList{QStringLiteral("key"), hotKey});
    }

    // A real drag with the primary button from `from` to `to`.
    static bool dragAcross(QPoint from, QPoint to)
    {
        return PointerScript::run(PointerScript::pressAt(from) + PointerScript::glide(from, to, 8) +
                                  PointerScript::release(0.5));
    }

    // The shelf's own window on the display, once it is on screen where
    // `kavo --list` says.
    std::optional<ProbedWindow> shelfWindow(const QRect& frame) const
    {
        return m_display.waitForWindow(
            [&](const ProbedWindow& w) {
                return w.viewable && !w.overrideRedirect && w.instance == u"kavo" &&
                       w.geometry == frame;
            },
            10000);
    }

    // A menu of the program, open on screen (a tooltip is too small to be
    // one).
    std::optional<ProbedWindow> openMenu() const
    {
        return m_display.waitForWindow(
            [](const ProbedWindow& w) {
                return w.viewable && w.overrideRedirect && w.instance == u"kavo" &&
                       w.geometry.height() > 60;
            },
            5000);
    }

    bool menuClosed(const ProbedWindow& menu) const
    {
        return TestEnv::waitUntil([&] {
            const auto again = m_display.describe(menu.id);
            return !again || !again->viewable;
        });
    }

    // Right-clicks the tray icon, then picks a menu entry with these keys.
    ::testing::AssertionResult chooseFromTrayMenu(const QStringList& keys)
    {
        const auto icon = m_trayer.kavoIcon();
        if (!icon)
            return ::testing::AssertionFailure() << "the tray icon is not in trayer's panel";
        // Two clicks on the same spot within the double-click time are one
        // double click, which opens no menu: a hand clicks again later.
        const double pause =
            1.5 * QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
        if (!PointerScript::run(PointerScript::moveTo(icon->geometry.center()) +
                                QStringList{QStringLiteral("sleep"), QString::number(pause),
                                            QStringLiteral("click"), QStringLiteral("3")}))
            return ::testing::AssertionFailure() << "xdotool failed";
        const auto menu = openMenu();
        if (!menu)
            return ::testing::AssertionFailure()
                   << "the tray menu did not open; on screen: " << windowsOnScreen().toStdString();
        if (!PointerScript::run(QStringList{QStringLiteral("key")} + keys))
            return ::testing::AssertionFailure() << "xdotool failed";
        return ::testing::AssertionSuccess();
    }

    // The mapped top-level windows, for failure messages.
    QString windowsOnScreen() const
    {
        QStringList out;
        for (const ProbedWindow& w : m_display.topLevels()) {
            if (w.viewable)
                out << QStringLiteral("%1 \"%2\" (%3) %4,%5 %6x%7")
                           .arg(w.id, 0, 16)
                           .arg(w.title, w.instance)
                           .arg(w.geometry.x())
                           .arg(w.geometry.y())
                           .arg(w.geometry.width())
                           .arg(w.geometry.height());
        }
        return out.join(QStringLiteral("; "));
    }

    xcb_window_t inputFocus() const
    {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(m_x.get(), xcb_get_input_focus(m_x.get()), nullptr);
        const xcb_window_t focus = reply ? reply->focus : XCB_NONE;
        std::free(reply);
        return focus;
    }

    // What a program that pastes finds on the clipboard (the helper's lines).
    QStringList clipboard() const
    {
        HelperProcess reader;
        if (!reader.start(HelperProcess::clipboardPath(),
                          {QStringLiteral("x-special/gnome-copied-files")}) ||
            !reader.waitForFinished())
            return {};
        return reader.lines();
    }

    DisplayProbe m_display;
    RawConnection m_x;
    Trayer m_trayer;
    std::unique_ptr<KavoSession> m_kavo;
};

TEST_F(InstalledPackageSessionE2E, TheInstalledProgramRunsAWholeSession)
{
    const QString files = m_kavo->root() + QStringLiteral("/files/");
    const QString first = files + QStringLiteral("first.txt");
    const QString second = files + QStringLiteral("second file.txt");
    const QString third = files + QStringLiteral("third.txt");
    ASSERT_TRUE(TestEnv::writeFile(first, "first"));
    ASSERT_TRUE(TestEnv::writeFile(second, "second"));
    ASSERT_TRUE(TestEnv::writeFile(third, "third"));
    const QString into = m_kavo->root() + QStringLiteral("/into");
    ASSERT_TRUE(QDir().mkpath(into));

    ASSERT_TRUE(m_trayer.start("bottom", "right")) << "no tray: " << m_trayer.errors().toStdString();
    ASSERT_TRUE(m_kavo->start()) << "the installed kavo did not answer --list: "
                                 << errors().toStdString();
    ASSERT_TRUE(m_trayer.kavoIcon()) << "the tray icon did not appear";
    Pcmanfm fileManager;
    ASSERT_TRUE(fileManager.open(QFileInfo(first).path(), filesAt, 3))
        << fileManager.errors().toStdString();
    Shelves shelves;

    // 1. The hot key opens a shelf at the pointer.
    ASSERT_TRUE(hotKeyAt(firstShelfAt));
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 1; }, &shelves));
    const QRect firstFrame = shelves[0].frame;
    EXPECT_TRUE(centredOn(firstFrame, firstShelfAt)) << describe(shelves).toStdString();
    EXPECT_TRUE(shelves[0].visible);
    EXPECT_EQ(shelves[0].mode, u"stack");
    EXPECT_TRUE(shelves[0].items.isEmpty());
    ASSERT_TRUE(shelfWindow(firstFrame)) << "no shelf window at the listed frame";

    // 2. A file dragged from another program lands on it, by reference. (The
    // source hands its data over after the drop: it stays until the shelf has
    // the file.)
    {
        ASSERT_TRUE(dragAcross(fileManager.row(0), stackCentre(firstFrame)));
        ASSERT_TRUE(shelvesBecome(
            [](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves));
    }
    EXPECT_EQ(shelves[0].paths(), QStringList{first});
    EXPECT_FALSE(shelves[0].items[0].temporary);
    EXPECT_TRUE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(m_kavo->droppedRoot()));

    // 3. Shaking a real drag away from the first shelf opens a second one
    // under the pointer, which takes the drop.
    QRect secondFrame;
    {
        const QPoint press = fileManager.row(1);
        const QPoint started = press + QPoint(-30, 0);
        const xcb_window_t before = m_display.selectionOwner("XdndSelection");
        ASSERT_TRUE(PointerScript::run(PointerScript::pressAt(press) +
                                       PointerScript::glide(press, started, 3, 0.05)));
        ASSERT_TRUE(TestEnv::waitUntil([&] {
            const xcb_window_t owner = m_display.selectionOwner("XdndSelection");
            return owner != XCB_NONE && owner != before;
        })) << "the drag did not start";
        ASSERT_TRUE(PointerScript::run(PointerScript::glide(started, shakeAt, 6, 0.05) +
                                       PointerScript::strokes(shakeAt, strokeCount, strokeLength)));
        // The shelf is there while the button is still down.
        ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 2; }, &shelves));
        EXPECT_TRUE(m_display.primaryButtonDown());
        secondFrame = shelves[1].frame;
        EXPECT_EQ(secondFrame.y() + secondFrame.height() / 2, shakeAt.y())
            << describe(shelves).toStdString();
        EXPECT_TRUE(secondFrame.contains(m_display.pointer())) << describe(shelves).toStdString();
        EXPECT_FALSE(secondFrame.intersects(firstFrame));
        EXPECT_EQ(shelves[0].paths(), QStringList{first});
        // A little motion lets the drag find the new window before the
        // release.
        const QPoint here = m_display.pointer();
        ASSERT_TRUE(PointerScript::run(PointerScript::glide(here, here + QPoint(12, 12), 3, 0.08) +
                                       PointerScript::release()));
        ASSERT_TRUE(shelvesBecome(
            [](const Shelves& s) { return s.size() == 2 && !s[1].items.isEmpty(); }, &shelves));
    }
    EXPECT_EQ(shelves[0].paths(), QStringList{first});
    EXPECT_EQ(shelves[1].paths(), QStringList{second});
    EXPECT_EQ(shelves[1].frame, secondFrame);

    // 4. The first shelf's pile dropped into a folder of the file manager,
    // which moves it there: the file leaves the shelf, and the emptied shelf
    // closes.
    {
        Pcmanfm target;
        ASSERT_TRUE(target.open(into, intoAt)) << target.errors().toStdString();
        ASSERT_TRUE(dragAcross(stackCentre(firstFrame), target.emptySpace()));
        ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 1; }, &shelves));
    }
    EXPECT_TRUE(QFileInfo::exists(into + QStringLiteral("/first.txt")));
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_EQ(shelves[0].frame, secondFrame);
    EXPECT_EQ(shelves[0].paths(), QStringList{second});

    // 5. "Copy", the third entry of the shelf's menu, puts the file on the
    // clipboard the way file managers paste it (also after the file manager
    // took a drop with the wrong kind of time, which Qt would adopt).
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(stackCentre(secondFrame)) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("3")}));
    const auto shelfMenu = openMenu();
    ASSERT_TRUE(shelfMenu) << "the shelf's menu did not open; on screen: "
                           << windowsOnScreen().toStdString();
    ASSERT_TRUE(
        PointerScript::run({QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Down"),
                            QStringLiteral("Down"), QStringLiteral("Return")}));
    EXPECT_TRUE(menuClosed(*shelfMenu));
    const QString url = fileUrl(second);
    QStringList pasted;
    EXPECT_TRUE(TestEnv::waitUntil(
        [&] {
            pasted = clipboard();
            return pasted.contains(QStringLiteral("url ") + url);
        },
        10000))
        << pasted.join(u'|').toStdString();
    EXPECT_TRUE(pasted.contains(QStringLiteral("format text/uri-list")));
    EXPECT_TRUE(pasted.contains(QStringLiteral("format x-special/gnome-copied-files")));
    EXPECT_EQ(pasted.filter(QRegularExpression(QStringLiteral("^url "))),
              QStringList{QStringLiteral("url ") + url});
    EXPECT_TRUE(pasted.contains(QStringLiteral("data x-special/gnome-copied-files copy\\n") + url))
        << pasted.join(u'|').toStdString();
    // Copying leaves the shelf as it was.
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 1; }, &shelves));
    EXPECT_EQ(shelves[0].paths(), QStringList{second});

    // 6. Clicked, the shelf has the keyboard; Escape closes it and leaves the
    // file where it is.
    const auto secondWindow = shelfWindow(secondFrame);
    ASSERT_TRUE(secondWindow) << "no shelf window at " << describe(shelves).toStdString();
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(headerBackground(secondFrame)) +
                                   QStringList{QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return inputFocus() == secondWindow->id; }))
        << "the clicked shelf did not take the keyboard";
    ASSERT_TRUE(PointerScript::run({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.isEmpty(); }));
    EXPECT_TRUE(QFileInfo::exists(second));

    // 7. Two shelves from the hot key and one holding a file: "Close All
    // Shelves" (shown while a shelf holds something) closes every one.
    ASSERT_TRUE(hotKeyAt(QPoint(400, 400)));
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 1; }));
    ASSERT_TRUE(hotKeyAt(QPoint(850, 400)));
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 2; }));
    ASSERT_TRUE(PointerScript::run(PointerScript::moveTo(QPoint(640, 300))));
    const KavoSession::Result added = m_kavo->run({QStringLiteral("--new-shelf"), third});
    EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.size() == 3; }, &shelves));
    EXPECT_TRUE(shelves[0].items.isEmpty());
    EXPECT_TRUE(shelves[1].items.isEmpty());
    EXPECT_EQ(shelves[2].paths(), QStringList{third});
    // New Shelf, the shelf holding the file, Close All Shelves.
    ASSERT_TRUE(chooseFromTrayMenu({QStringLiteral("Down"), QStringLiteral("Down"),
                                    QStringLiteral("Down"), QStringLiteral("Return")}));
    ASSERT_TRUE(shelvesBecome([](const Shelves& s) { return s.isEmpty(); }));
    EXPECT_TRUE(QFileInfo::exists(third));

    // 8. "Quit Kavo", the menu's last entry, ends the program normally.
    ASSERT_TRUE(chooseFromTrayMenu({QStringLiteral("Up"), QStringLiteral("Return")}));
    const std::optional<int> status = m_kavo->waitForExit(15000);
    ASSERT_TRUE(status) << "kavo did not end: " << errors().toStdString();
    EXPECT_EQ(*status, 0) << errors().toStdString();
    const KavoSession::Result after = m_kavo->run({QStringLiteral("--list")});
    EXPECT_EQ(after.exitCode, 1) << after.out.toStdString();
}

} // namespace
