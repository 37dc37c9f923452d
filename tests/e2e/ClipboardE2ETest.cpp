// The shelf's "Copy", pasted into file managers that read the clipboard
// each in a form of their own.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
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
    const QMimeData* copied = nullptr;
    ASSERT_TRUE(TestEnv::waitUntil([&] {
        copied = QGuiApplication::clipboard()->mimeData();
        return copied && copied->hasFormat("x-special/gnome-copied-files");
    }));
    // As Nautilus reads it: "copy", then the URIs, with no newline at the end.
    QByteArray expected("copy");
    for (const QString& path : held)
        expected += '\n' + QUrl::fromLocalFile(path).toEncoded();
    EXPECT_EQ(copied->data("x-special/gnome-copied-files"), expected);

    ASSERT_TRUE(Input::run(QStringList{"windowactivate", "--sync", QString::number(caja.window())} +
                           Input::key("ctrl+v")));
    for (const QString& path : held) {
        const QString copy = into + u'/' + QFileInfo(path).fileName();
        EXPECT_TRUE(TestEnv::waitUntil([&] { return QFileInfo::exists(copy); }, 10000)) << "not pasted: "
                                                                                       << copy.toStdString();
        EXPECT_TRUE(QFileInfo::exists(path));
    }
    EXPECT_EQ(m_kavo.list().value_or(Shelves{}).value(0).paths(), held);
}

} // namespace
