#include "snapshot/Snapshot.h"

#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace Snapshot {
namespace {

constexpr int renderDelayMs = 500;
constexpr int stackDelayMs = 1500;
constexpr int listDelayMs = 600;
const QPointF shelfPoint(600, 500);

// Captures the shelf's window half a second from now (so animations have
// run), writes it as PNG, then continues; failures are silent.
void render(const std::shared_ptr<ShelfWindowController>& shelf, const QString& path,
            std::function<void()> then)
{
    QTimer::singleShot(renderDelayMs, [shelf, path, then = std::move(then)] {
        if (ShelfPanel* panel = shelf->window()) {
            const QImage image = panel->grab().toImage();
            if (!image.isNull())
                image.save(path, "PNG");
        }
        then();
    });
}

} // namespace

std::optional<Request> parse(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--snapshot"));
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return Request{arguments[at + 1], arguments.mid(at + 2)};
}

bool runIfRequested(const QStringList& arguments)
{
    const std::optional<Request> request = parse(arguments);
    if (!request)
        return false;
    const QDir folder(request->folder);
    QList<QUrl> files;
    for (const QString& f : request->files)
        files << QUrl::fromLocalFile(QDir::current().absoluteFilePath(f));

    // Not one of the program's shelves: it lives until the process ends.
    auto shelf = std::make_shared<ShelfWindowController>();
    shelf->show(shelfPoint, false);
    render(shelf, folder.filePath(QLatin1String(emptyFile)), [shelf, folder, files] {
        shelf->store()->add(files, false);
        QTimer::singleShot(stackDelayMs, [shelf, folder] {
            render(shelf, folder.filePath(QLatin1String(stackFile)), [shelf, folder] {
                if (ShelfContentView* content = shelf->content())
                    content->toggleList();
                QTimer::singleShot(listDelayMs, [shelf, folder] {
                    render(shelf, folder.filePath(QLatin1String(listFile)),
                           [] { QCoreApplication::exit(0); });
                });
            });
        });
    });
    return true;
}

} // namespace Snapshot
