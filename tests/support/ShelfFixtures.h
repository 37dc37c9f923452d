#pragma once

#include "model/ShelfStore.h"

#include "ManualThumbnailer.h"
#include "TestEnvironment.h"

#include <QTemporaryDir>

// Waits until the store has heard from the file system about every item
// (asked off the UI thread, names first, then contents where the names do
// not tell the type); answers whether it did in time.
inline bool factsArrived(const ShelfStore& store, int timeoutMs = 5000)
{
    return TestEnv::waitUntil(
        [&] {
            for (const ShelfItemPtr& item : store.items) {
                if (!item->facts() || item->facts()->typeIsUnknown())
                    return false;
            }
            return true;
        },
        timeoutMs);
}

// Real files for shelf tests, in a private temporary folder.
class TestFiles
{
public:
    // n small files named file0.txt, file1.txt, …
    QList<QUrl> make(int n, const QString& prefix = QStringLiteral("file"))
    {
        QList<QUrl> urls;
        for (int i = 0; i < n; ++i) {
            const QString p = m_dir.filePath(QStringLiteral("%1%2.txt").arg(prefix).arg(m_next++));
            TestEnv::writeFile(p, QByteArray(100, 'x'));
            urls << QUrl::fromLocalFile(p);
        }
        return urls;
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    int m_next = 0;
};
