#pragma once

#include "model/ShelfStore.h"
#include "platform/Thumbnailer.h"
#include "shelf/ShelfContentView.h"

#include "TestEnvironment.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A thumbnailer that keeps every request until the test answers it, so that
// tests decide when (and whether) previews arrive.
class ManualThumbnailer final : public Thumbnailer
{
public:
    std::vector<std::pair<std::shared_ptr<Callback>, qsizetype>> pending; // the answer, and to which path

    void request(const QList<QByteArray>& paths, int, Callback done) override
    {
        auto shared = std::make_shared<Callback>(std::move(done));
        for (qsizetype i = 0; i < paths.size(); ++i)
            pending.emplace_back(shared, i);
    }
    // Answers request i (counted over all requests) the way a worker would:
    // on the main thread, in a later turn of the event loop.
    void deliver(size_t i)
    {
        QImage green(8, 8, QImage::Format_ARGB32);
        green.fill(Qt::green);
        QMetaObject::invokeMethod(qApp, [p = pending.at(i), green] { (*p.first)(p.second, green); }, Qt::QueuedConnection);
    }
    // Installed for the life of a test.
    struct Scoped
    {
        ManualThumbnailer* instance = new ManualThumbnailer;
        Scoped() { Thumbnailer::setShared(std::unique_ptr<Thumbnailer>(instance)); }
        ~Scoped() { Thumbnailer::setShared(nullptr); }
        ManualThumbnailer* operator->() { return instance; }
    };
};

// Real files in a private folder: make(n) writes n small files.
class TestFiles
{
public:
    QList<QUrl> make(int n)
    {
        QList<QUrl> urls;
        for (int i = 0; i < n; ++i) {
            urls << QUrl::fromLocalFile(path(QStringLiteral("file%1.txt").arg(m_next++)));
            TestEnv::writeFile(urls.last().toLocalFile(), QByteArray(100, 'x'));
        }
        return urls;
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    int m_next = 0;
};

// Waits until the store has heard from the file system about every item
// (asked off the UI thread, names first, then contents where names do not
// tell the type).
inline bool factsArrived(const ShelfStore& store)
{
    return TestEnv::waitUntil([&] {
        return std::all_of(store.items.begin(), store.items.end(), [](const ShelfItemPtr& item) {
            return item->facts() && !item->facts()->typeIsUnknown();
        });
    });
}

// A mouse event with exact positions, sent straight to a widget.
inline void sendMouse(QWidget* w, QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent e(type, at, w->mapTo(w->window(), at), w->mapToGlobal(at),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// One shelf's content view over a real store, wired as its controller wires
// it, with previews only when the test delivers them.
class ShelfTest : public ::testing::Test
{
protected:
    ShelfTest()
    {
        store->onChange = [this] { ++changes, view.reload(); };
        view.onClose = [this] { ++closes; };
        view.onWantsHeight = [this](qreal h) { heights << h; };
        view.show();
    }
    void hold(int n) { store->add(files.make(n), false); }

    ManualThumbnailer::Scoped thumbnails;
    TestFiles files;
    ShelfStorePtr store = std::make_shared<ShelfStore>();
    ShelfContentView view{store};
    int changes = 0, closes = 0;
    QList<qreal> heights;
};
