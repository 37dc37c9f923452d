#pragma once

#include "model/ShelfStore.h"

#include <QList>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class BadgeView;
class ElidedLabel;
class FlippedView;
class HighlightView;
class ItemRowView;
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
    FlippedView* listDoc() const { return m_listDoc; }
    SymbolButton* closeButton() const { return m_closeButton; }
    SymbolButton* listButton() const { return m_listButton; }
    BadgeView* badge() const { return m_badge; }
    ElidedLabel* titleLabel() const { return m_titleLabel; }
    ElidedLabel* detailLabel() const { return m_detailLabel; }
    HighlightView* highlight() const { return m_highlight; }
    const QList<ItemRowView*>& rows() const { return m_rows; }

protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void setListMode(bool on);
    void layoutSubviews();
    void layoutRows();
    ItemRowView* makeRow(const ShelfItemPtr& item);
    void clearRows();
    // Starts a drag of these items out of the shelf from `source`.
    void beginDrag(const QList<ShelfItemPtr>& items, QWidget* source, QMouseEvent* event);

    ShelfStorePtr m_store;
    HighlightView* m_highlight;
    SymbolButton* m_closeButton;
    SymbolButton* m_listButton;
    BadgeView* m_badge;
    StackAreaView* m_stackArea;
    QScrollArea* m_scroll;
    FlippedView* m_listDoc;
    ElidedLabel* m_titleLabel;
    ElidedLabel* m_detailLabel;
    bool m_listMode = false;
    QList<ItemRowView*> m_rows;
    QList<ShelfItemPtr> m_draggingOut;
    QPointer<QVariantAnimation> m_pop;
    // Moving the shelf by hand where the window system cannot.
    std::optional<QPointF> m_moveOffset;
};
