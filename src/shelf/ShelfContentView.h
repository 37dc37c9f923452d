#pragma once

#include "model/ShelfStore.h"

#include <QList>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class BadgeView;
class DropReader;
class QDrag;
class ElidedLabel;
class HighlightView;
class ItemRowView;
class MoveWatcher;
class OverlayScrollBar;
class QMenu;
class QMimeData;
class QScrollArea;
class QVariantAnimation;
class StackAreaView;
class SymbolButton;

// The root view of one shelf: header (close button, count badge, mode
// button), the item area (the pile in stack mode, a scrolling list in list
// mode) and footer (title and detail). It rebuilds itself from its store on
// every change, receives drops, starts drags out, and carries the shelf's
// commands and keys.
class ShelfContentView : public QWidget
{
    Q_OBJECT
public:
    explicit ShelfContentView(ShelfStorePtr store, QWidget* parent = nullptr);
    ~ShelfContentView() override;

    const ShelfStorePtr& store() const { return m_store; }

    // Asks the owner to close the shelf.
    std::function<void()> onClose;
    // Asks the owner for a new height, in points.
    std::function<void(qreal)> onWantsHeight;

    // Rebuilds everything shown from the store.
    void reload();
    // The appearance animation: the whole shelf springs from 0.85 to 1.
    void popIn();
    // The attention animation: the pile rocks while the shelf pops.
    void wiggle();
    // The mode button's action (also a click on the pile).
    void toggleList();
    // The close button's action.
    void closeTapped();

    bool isListMode() const { return m_listMode; }
    bool isPopping() const;

    // Commands on all items (the context menu and the keys).
    void revealAll();
    void togglePreview();
    void copyAll();
    void share();
    void removeAll();
    // Adds what the clipboard holds as a drop of it would (in the
    // background); `done` gets whether anything was added.
    void paste(std::function<void(bool taken)> done = {});
    // The context menu, or null for an empty shelf with nothing to paste
    // (then it has "Paste" alone); the caller owns it.
    QMenu* makeMenu();

    // The list's selected row: its index in the store's items (-1 when none
    // is selected or the list is not on show) and its item (null when none).
    // The selection follows the item across rebuilds of the list.
    qsizetype selectedIndex() const;
    ShelfItemPtr selectedItem() const;
    // Selects the list's row `i`, shows it as selected and scrolls it into
    // view (building it if needed); -1, or an index out of range, clears the
    // selection. Does nothing outside list mode.
    void selectIndex(qsizetype i);
    // What a row's Open, Show in File Manager and Remove do.
    void openItem(const ShelfItemPtr& item);
    void revealItem(const ShelfItemPtr& item);
    void removeItem(const ShelfItemPtr& item);
    // The list's own keys and keyboard menu, from the list while it has the
    // focus: false where the key or menu is the shelf's.
    bool listKeyPress(QKeyEvent* e);
    bool listContextMenu(QContextMenuEvent* e);
    // The menu "Share…" opens: the sharing services found on this machine.
    QMenu* makeShareMenu();

    // Takes dropped content from `source` (another view, or null for another
    // program); answers whether anything was taken.
    bool takeDrop(const QMimeData* mime, QObject* source);

    // Starts a drag of these items out of the shelf from `source` (the stack
    // area or a row), as the press `event` began it.
    void beginDrag(const QList<ShelfItemPtr>& items, QWidget* source, QMouseEvent* event);
    // Runs a drag and answers what the target did; tests replace it.
    std::function<Qt::DropAction(QDrag*)> execDrag;
    // The items of the drag in progress.
    const QList<ShelfItemPtr>& draggingOut() const { return m_draggingOut; }
    // The picture a drag of `items` shows, and where the pointer holds it.
    static QPixmap dragImage(const QList<ShelfItemPtr>& items, int side, QPoint* hotSpot,
                             qreal devicePixelRatio);

    // Shelf geometry, in points.
    static constexpr int shelfWidth = 216;
    static constexpr int stackHeight = 244;
    static constexpr qreal radius = 20;
    static constexpr int headerH = 36;
    static constexpr int footerH = 50;
    static constexpr int rowH = 44;
    // The window height list mode asks for with n items: 178 for up to 2
    // items, 44 more per item, at most 398 (7 rows; more scroll).
    static int listHeight(qsizetype n);

    // The parts, for the owner and for tests.
    StackAreaView* stackArea() const { return m_stackArea; }
    QScrollArea* scroll() const { return m_scroll; }
    OverlayScrollBar* scrollBar() const { return m_scrollBar; }
    QWidget* listDoc() const { return m_listDoc; }
    SymbolButton* closeButton() const { return m_closeButton; }
    SymbolButton* listButton() const { return m_listButton; }
    BadgeView* badge() const { return m_badge; }
    ElidedLabel* titleLabel() const { return m_titleLabel; }
    ElidedLabel* detailLabel() const { return m_detailLabel; }
    HighlightView* highlight() const { return m_highlight; }
    // A row for each item of the list, null where none is built: rows are
    // made only around what the list shows, and go again once scrolled far.
    const QList<ItemRowView*>& rows() const { return m_rows; }
    // The items the list shows, one a row (empty outside list mode).
    const QList<ShelfItemPtr>& listedItems() const { return m_listed; }
    // The items dragged out earlier, watched for their files leaving.
    MoveWatcher* moves() const { return m_moves; }
    // What turns dropped content into items (and tells what it could not).
    DropReader* drops() const { return m_drops; }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    // Tab and Shift+Tab go round the shelf's controls.
    bool focusNextPrevChild(bool next) override;

private:
    void setListMode(bool on);
    // Shift+F10: the context menu at the control that has the focus, as the
    // Menu key brings it.
    void showKeyboardMenu();
    // Ctrl+V and Ctrl+C (and their other keys): answers whether `e` was one.
    bool clipboardKey(QKeyEvent* e);
    // Puts the files of `items` on the clipboard, as file managers take them.
    void copyItems(const QList<ShelfItemPtr>& items);
    // Closes a shelf that a drag out (or a move after it) left empty.
    void closeEmptied();
    void layoutSubviews();
    void layoutRows();
    // Builds the rows in view and a few around them, and lets go of rows
    // twice as far away.
    void buildRowsInView();
    ItemRowView* makeRow(const ShelfItemPtr& item);
    void clearRows();
    void setSelection(qsizetype i);
    // Finds the selected item again after the list was built anew.
    void keepSelection();
    void previewItem(qsizetype i);
    void letGo(const QList<ItemRowView*>& rows);
    void setDropHover(bool on);
    bool isOwnDrag(const QObject* source) const;
    void endDrag(const QList<ShelfItemPtr>& dragged, Qt::DropAction action);

    ShelfStorePtr m_store;
    HighlightView* m_highlight;
    SymbolButton* m_closeButton;
    SymbolButton* m_listButton;
    BadgeView* m_badge;
    StackAreaView* m_stackArea;
    QScrollArea* m_scroll;
    OverlayScrollBar* m_scrollBar;
    QWidget* m_listDoc; // the list's rows, from the top down
    ElidedLabel* m_titleLabel;
    ElidedLabel* m_detailLabel;
    bool m_listMode = false;
    QList<ShelfItemPtr> m_listed; // the items the list shows
    QList<ItemRowView*> m_rows; // null where no row is built
    ShelfItemPtr m_selected; // the list's selected item, or null
    qsizetype m_selectedAt = -1; // its index in m_listed
    qsizetype m_builtFirst = 0, m_builtEnd = 0; // rows outside [first, end) are null
    static constexpr int rowsAround = 7;
    QList<ShelfItemPtr> m_draggingOut;
    MoveWatcher* m_moves;
    DropReader* m_drops;
    bool m_closedEmpty = false;
    QPointer<QVariantAnimation> m_pop;
    // A press on the background, until it moves the shelf; moving the shelf
    // by hand where the window system cannot.
    std::optional<QPointF> m_pressAt, m_moveOffset;
};
