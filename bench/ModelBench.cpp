// Shelf model figures: adding many files, the shelf texts, and thumbnails of
// real photos made off the UI thread.
#include "model/ShelfStore.h"
#include "platform/freedesktop/FreedesktopThumbnailer.h"

#include "Bench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QList<QUrl> fileUrls(const QString& prefix, int n)
{
    QList<QUrl> urls;
    urls.reserve(n);
    for (int i = 0; i < n; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("%1/file-%2.dat").arg(prefix).arg(i));
    return urls;
}

// A photo-like JPEG (noise and gradients compress like a real picture).
void writePhoto(const QString& path, int index)
{
    QImage img(3000, 2000, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 3000, 2000);
    g.setColorAt(0, QColor::fromHsv((index * 37) % 360, 160, 230));
    g.setColorAt(1, QColor::fromHsv((index * 37 + 120) % 360, 200, 90));
    p.fillRect(img.rect(), g);
    QRandomGenerator rng(index);
    for (int i = 0; i < 400; ++i) {
        p.setBrush(QColor::fromRgb(rng.generate()));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(rng.bounded(3000), rng.bounded(2000)), rng.bounded(200), rng.bounded(200));
    }
    p.end();
    img.save(path, "JPEG", 85);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/.cache"));
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Thumbnailer::setShared(std::make_unique<FreedesktopThumbnailer>());

    // add() of 10,000 new file URLs to a store already holding 10,000.
    std::vector<double> addOnly;
    for (int i = 0; i < 7; ++i) {
        auto store = std::make_shared<ShelfStore>();
        store->add(fileUrls("/bench/held", 10000), false);
        const QList<QUrl> fresh = fileUrls("/bench/new", 10000);
        QElapsedTimer t;
        t.start();
        store->add(fresh, false);
        addOnly.push_back(t.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    std::sort(addOnly.begin(), addOnly.end());
    Bench::report("model.add_10k_to_10k", addOnly[addOnly.size() / 2], "ms", "< 50");

    // summary + detail on a shelf of 1,000 real files.
    QTemporaryDir files;
    QList<QUrl> real;
    for (int i = 0; i < 1000; ++i) {
        const QString p = files.filePath(QStringLiteral("f%1.txt").arg(i));
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(100 + i, 'x'));
        real << QUrl::fromLocalFile(p);
    }
    auto shelf = std::make_shared<ShelfStore>();
    shelf->add(real, false);
    const double textMs = Bench::medianMs(21, [&] {
        const QString s = shelf->summary() + shelf->detail();
        Q_UNUSED(s);
    });
    Bench::report("model.summary_detail_1000_files", textMs, "ms", "< 20");

    // Thumbnails of 200 JPEG photos, delivered to a live store.
    QTemporaryDir photos;
    QList<QUrl> jpegs;
    for (int i = 0; i < 200; ++i) {
        const QString p = photos.filePath(QStringLiteral("photo%1.jpg").arg(i, 3, 10, QChar('0')));
        if (i < 8)
            writePhoto(p, i);
        else
            QFile::copy(photos.filePath(QStringLiteral("photo%1.jpg").arg(i % 8, 3, 10, QChar('0'))), p);
        jpegs << QUrl::fromLocalFile(p);
    }
    auto store = std::make_shared<ShelfStore>();
    int arrived = 0;
    store->onChange = [&] { ++arrived; };
    Bench::LatencyProbe probe;
    probe.start();
    QElapsedTimer t;
    t.start();
    store->add(jpegs, false);
    while (arrived < 201 && t.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double allMs = t.nsecsElapsed() / 1e6;
    probe.stop();
    Bench::report("model.thumbnails_200_jpeg_all_delivered", allMs, "ms");
    Bench::report("model.thumbnails_200_jpeg_longest_ui_block", probe.longestBlockMs(), "ms", "< 8");
    Bench::report("model.thumbnails_200_jpeg_delivered", arrived - 1, "count", "200");
    Bench::report("model.thumbnails_200_jpeg_probe_ticks", probe.ticks(), "count");
    Thumbnailer::setShared(nullptr);
    return 0;
}
