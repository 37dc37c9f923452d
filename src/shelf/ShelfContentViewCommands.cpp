// The shelf's commands on all of its items: the context menu, the keys, the
// clipboard, sharing and the preview.
#include "shelf/ShelfContentView.h"

#include "drops/DropReader.h"
#include "platform/freedesktop/FileManager.h"
#include "platform/freedesktop/FileTransfer.h"
#include "shelf/PreviewPanel.h"
#include "shelf/StackAreaView.h"
#include "shelf/SymbolButton.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
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
    const bool canPaste = DropReader::canPaste();
    if (m_store->items.isEmpty()) {
        if (!canPaste)
            return nullptr;
        // An empty shelf can take what was copied, and has nothing else.
        auto* menu = new QMenu(this);
        menu->addAction(tr("Paste"), this, [this] { paste(); });
        return menu;
    }
    auto* menu = new QMenu(this);
    menu->addAction(tr("Show in File Manager"), this, &ShelfContentView::revealAll);
    menu->addAction(tr("Preview"), this, &ShelfContentView::togglePreview);
    menu->addAction(tr("Copy"), this, &ShelfContentView::copyAll);
    if (canPaste)
        menu->addAction(tr("Paste"), this, [this] { paste(); });
    menu->addAction(tr("Share\u2026"), this, &ShelfContentView::share);
    menu->addSeparator();
    menu->addAction(tr("Remove All"), this, &ShelfContentView::removeAll);
    menu->addAction(tr("Close Shelf"), this, &ShelfContentView::closeTapped);
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

// The keys reach the shelf from whichever of its controls has the focus
// (each passes on the keys it does not use), also when the window manager
// made the shelf active without a click in it.
void ShelfContentView::keyPressEvent(QKeyEvent* e)
{
    if (clipboardKey(e))
        return;
    if (e->key() == Qt::Key_F10 && (e->modifiers() & Qt::ShiftModifier)) {
        showKeyboardMenu();
        e->accept();
        return;
    }
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

void ShelfContentView::showKeyboardMenu()
{
    // Where Qt puts the Menu key's menu: at the focus widget's text cursor,
    // the middle of a widget without one. The focus widget gets it first, so
    // that a control with a menu of its own (the list's rows) shows that.
    QWidget* target = QApplication::focusWidget();
    if (!target || !(target == this || isAncestorOf(target)))
        target = this;
    const QPoint at = target->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at),
                           QApplication::keyboardModifiers());
    QApplication::sendEvent(target, &menu);
}

bool ShelfContentView::focusNextPrevChild(bool next)
{
    // Round the controls on show: the pile or the list, the list toggle, the
    // close button.
    QList<QWidget*> controls;
    QWidget* const area = m_listMode ? static_cast<QWidget*>(m_scroll) : m_stackArea;
    for (QWidget* w : {area, static_cast<QWidget*>(m_listButton),
                       static_cast<QWidget*>(m_closeButton)}) {
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            controls << w;
    }
    if (controls.isEmpty())
        return QWidget::focusNextPrevChild(next);
    const QWidget* focus = QApplication::focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        if (controls[i] == focus || controls[i]->isAncestorOf(focus))
            at = i;
    }
    const qsizetype n = controls.size();
    at = at < 0 ? (next ? 0 : n - 1) : (at + (next ? 1 : n - 1)) % n;
    controls[at]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void ShelfContentView::revealAll() { FileManager::reveal(urlsOf(m_store->items)); }

void ShelfContentView::copyAll() { copyItems(m_store->items); }

bool ShelfContentView::clipboardKey(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Paste)) {
        paste();
    } else if (e->matches(QKeySequence::Copy)) {
        // The list's selected row alone, else every item; nothing from an
        // empty shelf (the clipboard keeps what it had).
        const ShelfItemPtr selected = selectedItem();
        if (selected)
            copyItems({selected});
        else if (!m_store->items.isEmpty())
            copyItems(m_store->items);
    } else {
        return false;
    }
    e->accept();
    return true;
}

void ShelfContentView::paste(std::function<void(bool taken)> done)
{
    m_drops->paste(std::move(done));
}

void ShelfContentView::copyItems(const QList<ShelfItemPtr>& items)
{
    const QList<QUrl> urls = urlsOf(items);
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
        menu->addAction(tr("Email"), this, [email, paths] {
            QStringList args;
            for (const QString& p : paths)
                args << QStringLiteral("--attach") << p;
            QProcess::startDetached(email, args);
        });
    }
    const QString bluetooth = QStandardPaths::findExecutable(QStringLiteral("bluetooth-sendto"));
    if (!bluetooth.isEmpty()) {
        menu->addAction(tr("Bluetooth"), this,
                        [bluetooth, paths] { QProcess::startDetached(bluetooth, paths); });
    }
    if (menu->actions().isEmpty())
        menu->addAction(tr("No sharing services"))->setEnabled(false);
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
