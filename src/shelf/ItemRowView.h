#pragma once

#include "model/ShelfItem.h"

#include <QPointF>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class QMouseEvent;
class SymbolButton;

// One row of the list: the item's picture and name, a faint highlight and a
// remove button while hovered. It can be dragged off on its own, opened with a
// double click, and has a context menu.
class ItemRowView : public QWidget
{
    Q_OBJECT
public:
    explicit ItemRowView(ShelfItemPtr item, QWidget* parent = nullptr);

    const ShelfItemPtr& item() const { return m_item; }
    // Shows the item's picture as it is now (a preview may have arrived).
    void refreshPicture();

    std::function<void(QMouseEvent*)> onDragStart;
    std::function<void()> onRemove;
    std::function<void()> onOpen;
    std::function<void()> onReveal;
    // A press on the row (any button): the list selects it.
    std::function<void()> onSelect;

    // The list's selected row is drawn in the palette's highlight colours
    // and shows its remove button.
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    bool isHovering() const { return m_hovering; }
    // The item's name as shown at the current width.
    QString shownName() const;
    QRect nameRect() const;
    // The remove button; made when the row is first hovered or selected (a
    // list may hold thousands of rows and only a few are ever hovered).
    // Null until then.
    SymbolButton* removeButton() const { return m_remove; }
    // The context menu (the same for every row); the caller owns it.
    QMenu* makeMenu();

    static constexpr int rowH = 44;

protected:
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void setHovering(bool hovering);
    // Shows the remove button where the row is hovered or selected.
    void showRemoveButton();

    ShelfItemPtr m_item;
    QImage m_picture; // the item's picture when the row was made
    QString m_name;
    SymbolButton* m_remove = nullptr;
    std::optional<QPointF> m_mouseDownPoint;
    bool m_hovering = false;
    bool m_selected = false;
};
