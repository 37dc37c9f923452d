// How long a shelf takes to rebuild itself (reload) in stack and list mode.
#include "model/ShelfStore.h"
#include "platform/Thumbnailer.h"
#include "shelf/ShelfContentView.h"

#include "Bench.h"

#include <QApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Thumbnailer::setShared(std::make_unique<NullThumbnailer>());

    QTemporaryDir files;
    for (int n : {10, 100, 1000}) {
        QList<QUrl> urls;
        for (int i = 0; i < n; ++i) {
            const QString p = files.filePath(QStringLiteral("n%1-%2.txt").arg(n).arg(i));
            QFile f(p);
            f.open(QIODevice::WriteOnly);
            f.write("some text");
            urls << QUrl::fromLocalFile(p);
        }
        auto store = std::make_shared<ShelfStore>();
        store->add(urls, false);
        ShelfContentView view(store);
        view.show();
        QCoreApplication::processEvents();
        // A rebuild costs the reload itself, the repaint and the events it
        // leaves behind (polishing new rows, deleting old ones).
        const double stack = Bench::medianMs(15, [&] {
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        view.toggleList();
        view.resize(216, ShelfContentView::listHeight(n));
        QCoreApplication::processEvents();
        // Only pictures changed: the rows stay.
        const double list = Bench::medianMs(15, [&] {
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        // The items changed (here their order): every row is built anew.
        const double rebuilt = Bench::medianMs(15, [&] {
            store->items.swapItemsAt(0, 1);
            view.reload();
            view.repaint();
            QCoreApplication::processEvents();
        });
        const QByteArray s = "shelf.reload_stack_" + QByteArray::number(n);
        const QByteArray l = "shelf.reload_list_" + QByteArray::number(n);
        const QByteArray r = "shelf.reload_list_new_rows_" + QByteArray::number(n);
        Bench::report(s.constData(), stack, "ms", n == 100 ? "< 16" : "");
        Bench::report(l.constData(), list, "ms", "");
        Bench::report(r.constData(), rebuilt, "ms", n == 100 ? "< 16" : "");
    }
    return 0;
}
