// A `kavo --new-shelf` of 100,000 files handed to the running program over
// its command socket: how long the UI thread goes without its event loop
// while the request is read, parsed and its files are added, and how long
// the whole request takes.
#include "app/CommandServer.h"
#include "app/ShelfRegistry.h"
#include "app/SingleInstance.h"
#include "core/NativePath.h"
#include "model/ShelfStore.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"
#include "shelf/ShelfWindowController.h"

#include "Bench.h"
#include "BenchHome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int fileCount = 100000;

// Empty files with names as long as a user's usually are.
QJsonArray makeFiles(const QString& folder)
{
    QJsonArray uris;
    for (int i = 0; i < fileCount; ++i) {
        const QByteArray path =
            QFile::encodeName(folder) + "/Holiday photos " + QByteArray::number(i) + ".txt";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        uris.append(QString::fromUtf8(NativePath::toUrl(path).toEncoded()));
    }
    return uris;
}

} // namespace

int main(int argc, char** argv)
{
    Bench::Home home;
    if (!home.isValid())
        return 1;
    Bench::setUpOffscreen();
    QApplication app(argc, argv);
    Thumbnailer::setShared(std::make_unique<FreedesktopThumbnailer>());

    const QJsonObject request{
        {QStringLiteral("command"), QStringLiteral("new-shelf")},
        {QStringLiteral("files"), makeFiles(home.folder(QStringLiteral("Files")))}};

    ShelfRegistry shelves;
    CommandServer commands(shelves);
    commands.pointerLocation = [] { return QPointF(640, 400); };
    SingleInstance instance;
    QString error;
    if (!instance.claim(&error) ||
        !instance.listen(
            [&commands](const QByteArray& line, SingleInstance::Answer answer) {
                commands.answer(line, std::move(answer));
            },
            &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 1;
    }

    // The other `kavo` process, played by a thread that needs no event loop.
    std::atomic<bool> answered = false;
    SingleInstance::Reply reply;
    Bench::LatencyProbe probe;
    QElapsedTimer total;
    probe.start();
    total.start();
    std::thread client([&] {
        reply = SingleInstance::send(request, 60000);
        answered = true;
    });
    // Until the answer has come and every file is on the shelf with what the
    // file system says about it.
    const auto done = [&] {
        if (!answered || shelves.shelves().empty())
            return false;
        const QList<ShelfItemPtr>& items = shelves.shelves().front()->store()->items;
        return items.size() == fileCount && items.back()->facts().has_value();
    };
    double answeredMs = -1;
    while (!done() && total.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (answered && answeredMs < 0)
            answeredMs = double(total.nsecsElapsed()) / 1e6;
    }
    const double settledMs = double(total.nsecsElapsed()) / 1e6;
    probe.stop();
    client.join();
    if (!done() || reply.status != SingleInstance::Reply::Status::Answered ||
        !reply.object.value(QStringLiteral("ok")).toBool()) {
        std::fprintf(stderr, "the request was not carried out (status %d, %zu shelves)\n",
                     int(reply.status), shelves.shelves().size());
        return 1;
    }
    Bench::report("commands.new_shelf_100000_longest_block", probe.longestBlockMs(), "ms", "< 33");
    Bench::report("commands.new_shelf_100000_answered", answeredMs, "ms", "< 3000");
    Bench::report("commands.new_shelf_100000_settled", settledMs, "ms");
    Thumbnailer::setShared(nullptr);
    return 0;
}
