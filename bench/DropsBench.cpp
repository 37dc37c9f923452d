// Drops on an open shelf, from the drop event to the rebuilt and repainted
// shelf: 5,000 file URLs (stack mode, and list mode as the worst case) and a
// 5 MB text that becomes a file. The shelf is a real ShelfWindowController,
// whose store's onChange reloads its content view, with the real
// thumbnailer; the drops are real QDropEvents carrying the bytes another
// program would send.
#include "model/ShelfStore.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"
#include "shelf/ShelfContentView.h"
#include "shelf/ShelfPanel.h"
#include "shelf/ShelfWindowController.h"

#include "Bench.h"
#include "BenchHome.h"

#include <QApplication>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int fileCount = 5000;
constexpr qint64 textBytes = 5'000'000;

// Runs the event loop until a widget of `window` has been painted. A
// rebuild's repaint paints every changed widget in one pass; the loop ends
// after that pass, since the quit is queued behind it.
class RepaintWatch : public QObject
{
public:
    explicit RepaintWatch(QWidget* window) : m_window(window)
    {
        m_timeout.setSingleShot(true);
        QObject::connect(&m_timeout, &QTimer::timeout, &m_loop, [this] {
            m_timedOut = true;
            m_loop.quit();
        });
        qApp->installEventFilter(this);
    }
    ~RepaintWatch() override { qApp->removeEventFilter(this); }

    // Call before the event that should lead to a repaint.
    void arm()
    {
        m_armed = true;
        m_timedOut = false;
    }
    // Answers false when no repaint came within `timeoutMs`.
    bool wait(int timeoutMs)
    {
        m_timeout.start(timeoutMs);
        m_loop.exec();
        m_timeout.stop();
        return !m_timedOut;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (m_armed && e->type() == QEvent::Paint && o->isWidgetType() &&
            static_cast<QWidget*>(o)->window() == m_window) {
            m_armed = false;
            QMetaObject::invokeMethod(&m_loop, &QEventLoop::quit, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget* m_window;
    QEventLoop m_loop;
    QTimer m_timeout;
    bool m_armed = false;
    bool m_timedOut = false;
};

// The posted work a rebuild leaves behind (layouts, polishing new rows,
// deleting old ones) is part of its cost.
void finishPostedWork()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// An open shelf as the program has it after its appearance animation.
std::unique_ptr<ShelfWindowController> openShelf()
{
    auto shelf = std::make_unique<ShelfWindowController>();
    shelf->show(QPointF(640, 400), false);
    QElapsedTimer t;
    t.start();
    while (shelf->content()->isPopping() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    finishPostedWork();
    return shelf;
}

// Drag enter and move as Qt delivers them from another program (not timed),
// then the timed drop. Answers the milliseconds from the drop to the rebuilt
// shelf, or a negative value when the drop was refused or nothing repainted.
double timedDrop(ShelfWindowController& shelf, QMimeData* mime)
{
    ShelfContentView* view = shelf.content();
    const QPoint at(view->width() / 2, view->height() / 2);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    QDragMoveEvent move(at, offered, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    if (!enter.isAccepted() || !move.isAccepted())
        return -1;
    finishPostedWork();

    RepaintWatch watch(shelf.window());
    watch.arm();
    QElapsedTimer t;
    t.start();
    QDropEvent drop(QPointF(at), offered, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &drop);
    if (!drop.isAccepted())
        return -1;
    if (!watch.wait(30000))
        return -1;
    finishPostedWork();
    return t.nsecsElapsed() / 1e6;
}

// Files of several kinds and sizes, with names a file manager percent-encodes.
QByteArray makeFiles(const QString& folder)
{
    static const char* const kinds[] = {"txt", "pdf", "odt", "csv", "zip"};
    QByteArray uriList;
    for (int i = 0; i < fileCount; ++i) {
        const QString path = QStringLiteral("%1/Report %2 – draft.%3")
                                 .arg(folder)
                                 .arg(i, 4, 10, QChar(u'0'))
                                 .arg(QLatin1String(kinds[i % 5]));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(100 + (i * 37) % 5000, 'x'));
        uriList += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
    }
    return uriList;
}

// About 5 MB of UTF-8 prose.
QByteArray makeText()
{
    QByteArray text = "Minutes of the planning meeting\n\n";
    text.reserve(textBytes + 200);
    for (int i = 0; text.size() < textBytes; ++i)
        text += "Item " + QByteArray::number(i) +
                ": the café agreed to deliver the order before the weekend, as discussed.\n";
    text.truncate(textBytes);
    return text;
}

QMimeData* fileDrop(const QByteArray& uriList)
{
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/uri-list"), uriList);
    return mime;
}

QMimeData* textDrop(const QByteArray& text)
{
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/plain;charset=utf-8"), text);
    mime->setData(QStringLiteral("text/plain"), text);
    return mime;
}

struct Series
{
    std::vector<double> ms;
    int failed = 0;
};

void reportSeries(const char* name, const Series& s, const char* aim)
{
    if (s.ms.empty())
        return;
    std::vector<double> sorted = s.ms;
    std::sort(sorted.begin(), sorted.end());
    Bench::report(name, sorted[sorted.size() / 2], "ms", aim);
    const QByteArray runs = QByteArray(name) + "_runs";
    Bench::report(runs.constData(), double(sorted.size()), "count");
}

} // namespace

int main(int argc, char** argv)
{
    Bench::Home home;
    if (!home.isValid())
        return 1;
    Bench::setUpOffscreen();
    QApplication app(argc, argv);
    auto* thumbnails = new FreedesktopThumbnailer;
    Thumbnailer::setShared(std::unique_ptr<Thumbnailer>(thumbnails));

    const QByteArray uriList = makeFiles(home.folder(QStringLiteral("Files")));
    const QByteArray text = makeText();
    bool ok = true;

    // 5,000 files on an empty shelf (stack mode); the first run warms up.
    Series stack;
    for (int i = 0; i <= 7; ++i) {
        std::unique_ptr<ShelfWindowController> shelf = openShelf();
        std::unique_ptr<QMimeData> mime(fileDrop(uriList));
        const double ms = timedDrop(*shelf, mime.get());
        if (ms < 0 || shelf->store()->items.size() != fileCount)
            ++stack.failed;
        else if (i > 0)
            stack.ms.push_back(ms);
        thumbnails->waitForIdle();
        shelf.reset();
        finishPostedWork();
    }
    reportSeries("drops.files_5000_stack", stack, "< 100");

    // The same drop on a shelf showing its list: every item gets a row.
    Series list;
    const QString firstFile = QString::fromUtf8(uriList.left(uriList.indexOf('\r')));
    for (int i = 0; i <= 3; ++i) {
        std::unique_ptr<ShelfWindowController> shelf = openShelf();
        shelf->store()->add({QUrl(firstFile)}, false);
        shelf->content()->toggleList();
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < ShelfWindowController::resizeMs + 100)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        finishPostedWork();
        std::unique_ptr<QMimeData> mime(fileDrop(uriList));
        const double ms = timedDrop(*shelf, mime.get());
        if (ms < 0 || !shelf->content()->isListMode() ||
            shelf->content()->rows().size() != fileCount)
            ++list.failed;
        else if (i > 0)
            list.ms.push_back(ms);
        thumbnails->waitForIdle();
        shelf.reset();
        finishPostedWork();
    }
    reportSeries("drops.files_5000_list", list, "");

    // A 5 MB text: written to a new file in a drop folder, then held.
    Series textSeries;
    for (int i = 0; i <= 9; ++i) {
        std::unique_ptr<ShelfWindowController> shelf = openShelf();
        std::unique_ptr<QMimeData> mime(textDrop(text));
        const double ms = timedDrop(*shelf, mime.get());
        const QList<ShelfItemPtr>& items = shelf->store()->items;
        if (ms < 0 || items.size() != 1 || QFileInfo(items[0]->path()).size() != textBytes)
            ++textSeries.failed;
        else if (i > 0)
            textSeries.ms.push_back(ms);
        thumbnails->waitForIdle();
        shelf.reset();
        finishPostedWork();
    }
    reportSeries("drops.text_5mb", textSeries, "< 50");

    for (const auto& [name, s] :
         {std::pair{"files in stack mode", &stack}, std::pair{"files in list mode", &list},
          std::pair{"text", &textSeries}}) {
        if (s->failed) {
            std::fprintf(stderr, "%d drops of %s failed or did not repaint\n", s->failed, name);
            ok = false;
        }
    }
    Thumbnailer::setShared(nullptr);
    return ok ? 0 : 1;
}
