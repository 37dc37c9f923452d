// The list's selection and what a row does: the keys of the list, its rows'
// commands and the row menu that the keyboard opens.
#include "shelf/ShelfContentView.h"

#include "platform/freedesktop/FileManager.h"
#include "shelf/ItemRowView.h"
#include "shelf/PreviewPanel.h"
#include "shelf/ShelfListAccessible.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

qsizetype ShelfContentView::selectedIndex() const
{
    return m_listMode && m_selected ? m_selectedAt : -1;
}

ShelfItemPtr ShelfContentView::selectedItem() const
{
    return m_listMode ? m_selected : nullptr;
}

void ShelfContentView::selectIndex(qsizetype i)
{
    if (!m_listMode)
        return;
    if (i < 0 || i >= m_listed.size()) {
        setSelection(-1);
        return;
    }
    setSelection(i);
    // Into view: the least scroll that shows the whole row.
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const int top = int(i) * rowH;
    const int viewH = m_scroll->viewport()->height();
    if (top < bar->value())
        bar->setValue(top);
    else if (top + rowH > bar->value() + viewH)
        bar->setValue(top + rowH - viewH);
    // A scroll builds the rows it reaches; an unchanged one builds nothing.
    buildRowsInView();
}

void ShelfContentView::setSelection(qsizetype i)
{
    const qsizetype before = m_selectedAt;
    const ShelfItemPtr was = m_selected;
    m_selectedAt = i;
    m_selected = i >= 0 ? m_listed[i] : nullptr;
    if (before >= 0 && before < m_rows.size() && m_rows[before])
        m_rows[before]->setSelected(false);
    if (i >= 0 && m_rows[i])
        m_rows[i]->setSelected(true);
    if (was != m_selected)
        ShelfListAccessible::selectionChanged(m_scroll, i);
}

void ShelfContentView::keepSelection()
{
    // The same item where it is now; where it went, the row that took its
    // place (or the one before it at the end).
    if (!m_selected)
        return;
    const qsizetype at = m_listed.indexOf(m_selected);
    if (at >= 0) {
        m_selectedAt = at;
        return;
    }
    const qsizetype neighbour = std::min(m_selectedAt, m_listed.size() - 1);
    m_selectedAt = -1;
    m_selected = nullptr;
    if (neighbour >= 0)
        setSelection(neighbour);
    else
        ShelfListAccessible::selectionChanged(m_scroll, -1);
}

void ShelfContentView::openItem(const ShelfItemPtr& item)
{
    if (item)
        FileManager::open(item->url());
}

void ShelfContentView::revealItem(const ShelfItemPtr& item)
{
    if (item)
        FileManager::reveal({item->url()});
}

void ShelfContentView::removeItem(const ShelfItemPtr& item)
{
    // Through the store, which stops following the file.
    if (item && m_store->items.contains(item))
        m_store->remove({item});
}

void ShelfContentView::previewItem(qsizetype i)
{
    PreviewPanel* panel = PreviewPanel::shared();
    const bool ours = panel->isVisible() && panel->isControlledBy(this);
    if (ours && panel->currentIndex() != i) {
        panel->setCurrentIndex(int(i));
        return;
    }
    togglePreview();
    if (panel->isVisible())
        panel->setCurrentIndex(int(i));
    // The keys stay with the list once the preview has gone.
    m_scroll->setFocus(Qt::OtherFocusReason);
}

bool ShelfContentView::listKeyPress(QKeyEvent* e)
{
    if (!m_listMode || m_listed.isEmpty())
        return false;
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier)
        return false;
    const qsizetype n = m_listed.size();
    const qsizetype at = selectedIndex();
    const int page = std::max(1, m_scroll->viewport()->height() / rowH);
    switch (e->key()) {
    case Qt::Key_Down:
        selectIndex(at < 0 ? 0 : std::min(at + 1, n - 1));
        return true;
    case Qt::Key_Up:
        selectIndex(at < 0 ? n - 1 : std::max<qsizetype>(at - 1, 0));
        return true;
    case Qt::Key_Home:
        selectIndex(0);
        return true;
    case Qt::Key_End:
        selectIndex(n - 1);
        return true;
    case Qt::Key_PageDown:
        selectIndex(std::min(std::max<qsizetype>(at, 0) + page, n - 1));
        return true;
    case Qt::Key_PageUp:
        selectIndex(std::max<qsizetype>(at - page, 0));
        return true;
    default:
        break;
    }
    // The rest act on the selected row; with none they are the shelf's.
    if (at < 0)
        return false;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openItem(m_selected);
        return true;
    case Qt::Key_Space:
        previewItem(at);
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        removeItem(m_selected);
        return true;
    default:
        return false;
    }
}

bool ShelfContentView::listContextMenu(QContextMenuEvent* e)
{
    // A click opens the menu of the row under it (the row's own handler);
    // the keyboard opens the selected row's, at the row.
    if (e->reason() != QContextMenuEvent::Keyboard || selectedIndex() < 0)
        return false;
    const qsizetype at = selectedIndex();
    selectIndex(at);
    ItemRowView* row = m_rows.value(at);
    if (!row)
        return false;
    QMenu* menu = row->makeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(row->mapToGlobal(QPoint(row->nameRect().left(), row->height() / 2)));
    e->accept();
    return true;
}
