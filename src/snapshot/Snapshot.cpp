#include "snapshot/Snapshot.h"

#include "core/NativePath.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <memory>

namespace Snapshot {
namespace {

constexpr int renderDelayMs = 500;
constexpr int stackDelayMs = 1500;
constexpr int listDelayMs = 600;
const QPointF shelfPoint(600, 500);

// Pictures that could not be written, told at the end.
QStringList& unwritten()
{
    static QStringList paths;
    return paths;
}

// Captures the shelf's window half a second from now (so animations have
// run), writes it as PNG, then continues.
void render(const std::shared_ptr<ShelfWindowController>& shelf, const QString& path,
            std::function<void()> then)
{
    QTimer::singleShot(renderDelayMs, [shelf, path, then = std::move(then)] {
        ShelfPanel* panel = shelf->window();
        const QImage image = panel ? panel->grab().toImage() : QImage();
        if (image.isNull() || !image.save(path, "PNG"))
            unwritten() << path;
        then();
    });
}

// Ends the program: status 0 when every picture was written, else 1 with
// the pictures named on stderr.
void finish()
{
    for (const QString& path : unwritten()) {
        const QString text = QCoreApplication::translate("main", "kavo: could not write \u201c%1\u201d\n").arg(path);
        std::fputs(text.toLocal8Bit().constData(), stderr);
    }
    QCoreApplication::exit(unwritten().isEmpty() ? 0 : 1);
}

} // namespace

void run(const QString& folder, const QList<QByteArray>& paths)
{
    const QDir out(folder);
    if (!QDir().mkpath(folder)) {
        unwritten() << folder;
        QTimer::singleShot(0, finish);
        return;
    }
    QList<QUrl> files;
    for (const QByteArray& path : paths)
        files << NativePath::toUrl(path);

    // Not one of the program's shelves: it lives until the process ends.
    auto shelf = std::make_shared<ShelfWindowController>();
    shelf->show(shelfPoint, false);
    render(shelf, out.filePath(QLatin1String(emptyFile)), [shelf, out, files] {
        shelf->store()->add(files, false);
        QTimer::singleShot(stackDelayMs, [shelf, out] {
            render(shelf, out.filePath(QLatin1String(stackFile)), [shelf, out] {
                if (ShelfContentView* content = shelf->content())
                    content->toggleList();
                QTimer::singleShot(listDelayMs, [shelf, out] {
                    render(shelf, out.filePath(QLatin1String(listFile)), finish);
                });
            });
        });
    });
}

} // namespace Snapshot
