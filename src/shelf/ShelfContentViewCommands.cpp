// The shelf's commands on all of its items: the context menu, the keys, the
// clipboard, sharing and the preview.
#include "shelf/ShelfContentView.h"

#include "platform/freedesktop/FileManager.h"
#include "platform/freedesktop/FileTransfer.h"
#include "shelf/PreviewPanel.h"
#include "shelf/StackAreaView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QScrollArea>
#include <QStandardPaths>

namespace {

QList<QUrl> urlsOf(const QList<ShelfItemPtr>& items)
{
    QList<QUrl> urls;
    urls.reserve(items.size());
    for (const ShelfItemPtr& item : items)
        urls << item->url();
    return urls;
}

} // namespace

QMenu* ShelfContentView::makeMenu()
{
    if (m_store->items.isEmpty())
        return nullptr;
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("Show in File Manager"), this, &ShelfContentView::revealAll);
    menu->addAction(QStringLiteral("Quick Look"), this, &ShelfContentView::togglePreview);
    menu->addAction(QStringLiteral("Copy"), this, &ShelfContentView::copyAll);
    menu->addAction(QStringLiteral("Share\u2026"), this, &ShelfContentView::share);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Remove All"), this, &ShelfContentView::removeAll);
    menu->addAction(QStringLiteral("Close Shelf"), this, &ShelfContentView::closeTapped);
    return menu;
}

void ShelfContentView::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = makeMenu();
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
    e->accept();
}

void ShelfContentView::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Space:
        if (m_store->items.isEmpty()) {
            QWidget::keyPressEvent(e);
            return;
        }
        togglePreview();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        removeAll();
        break;
    case Qt::Key_Escape:
        if (onClose)
            onClose();
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void ShelfContentView::revealAll() { FileManager::reveal(urlsOf(m_store->items)); }

void ShelfContentView::copyAll()
{
    const QList<QUrl> urls = urlsOf(m_store->items);
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    // File managers paste files from their own form of the list: "copy" on
    // a line, then one URI a line, LF line ends, no newline at the end (a
    // last empty line would be read as one more file). Nautilus and its
    // GNOME relatives read the first name, Caja (MATE) only the second.
    QByteArray copied("copy");
    for (const QUrl& url : urls)
        copied += '\n' + url.toEncoded();
    mime->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    mime->setData(QStringLiteral("x-special/mate-copied-files"), copied);
    QGuiApplication::clipboard()->setMimeData(mime);
    // Sandboxed programs paste through the desktop's portal: a new key for
    // every paste.
    FileTransfer::instance()->offer(mime, urls, false, true);
}

void ShelfContentView::removeAll()
{
    // Through the store, which stops following the files.
    m_store->remove(m_store->items);
}

QMenu* ShelfContentView::makeShareMenu()
{
    auto* menu = new QMenu(this);
    const QList<QUrl> urls = urlsOf(m_store->items);
    QStringList paths;
    for (const QUrl& url : urls)
        paths << url.toLocalFile();

    const QString email = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (!email.isEmpty()) {
        menu->addAction(QStringLiteral("Email"), this, [email, paths] {
            QStringList args;
            for (const QString& p : paths)
                args << QStringLiteral("--attach") << p;
            QProcess::startDetached(email, args);
        });
    }
    const QString bluetooth = QStandardPaths::findExecutable(QStringLiteral("bluetooth-sendto"));
    if (!bluetooth.isEmpty()) {
        menu->addAction(QStringLiteral("Bluetooth"), this,
                        [bluetooth, paths] { QProcess::startDetached(bluetooth, paths); });
    }
    if (menu->actions().isEmpty())
        menu->addAction(QStringLiteral("No sharing services"))->setEnabled(false);
    return menu;
}

void ShelfContentView::share()
{
    QMenu* menu = makeShareMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Above the item area that is on show.
    const QWidget* area = m_listMode ? static_cast<QWidget*>(m_scroll) : m_stackArea;
    const QPoint top = area->mapToGlobal(QPoint(area->width() / 2, 0));
    menu->popup(top - QPoint(menu->sizeHint().width() / 2, menu->sizeHint().height()));
}

void ShelfContentView::togglePreview()
{
    if (QWidget* w = window()) {
        w->activateWindow();
        setFocus(Qt::OtherFocusReason);
    }
    PreviewPanel* panel = PreviewPanel::shared();
    if (panel->isVisible()) {
        panel->hide();
        return;
    }
    QPointer<ShelfContentView> self(this);
    panel->setDataSource({this,
                          [self] { return self ? int(self->m_store->items.size()) : 0; },
                          [self](int i) {
                              if (!self || i < 0 || i >= self->m_store->items.size())
                                  return QUrl();
                              return self->m_store->items[i]->url();
                          }});
    panel->show();
    panel->raise();
    panel->activateWindow();
}
