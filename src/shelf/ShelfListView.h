#pragma once

#include <QScrollArea>

class ShelfContentView;

// The scrolling list of a shelf in list mode: one control for the keyboard
// (it takes the focus, shows the focus ring and hands its keys to the shelf,
// which moves the selection and acts on the selected row) and one list for
// screen readers (see ShelfListAccessible). Its rows are built by the shelf.
class ShelfListView : public QScrollArea
{
    Q_OBJECT
public:
    explicit ShelfListView(QWidget* parent = nullptr);

    // The shelf the list belongs to (its parent), or null before it has one.
    ShelfContentView* content() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QWidget* m_ring; // drawn over the rows while the list has the focus
};
