#pragma once

#include "model/ShelfItem.h"

#include <QtGlobal>

class QWidget;

// What a screen reader sees of a shelf's list (ShelfListView): one list
// whose children are the shelf's items, each a list item with a "Remove from
// shelf" button inside it. The items are not widgets: their accessible
// interfaces are made when a reader asks for them, so that a list of
// thousands of files costs nothing until it is read, and they are there
// whether or not the list has built a row for them.
namespace ShelfListAccessible {

// Adds the list's interface factory to Qt's accessibility (once).
void install();

// Tells readers what changed in `list` (a ShelfListView): the items it shows
// went from `before` to `after`.
void itemsChanged(QWidget* list, const QList<ShelfItemPtr>& before,
                  const QList<ShelfItemPtr>& after);
// The selected row is now `index` (-1: none).
void selectionChanged(QWidget* list, qsizetype index);
// The list took the focus with row `index` selected (-1: none).
void focusChanged(QWidget* list, qsizetype index);

// The item interfaces that exist now for `list` (they are made on request).
qsizetype madeCount(const QWidget* list);

// How a reader hears an item: its kind and size ("PNG image, 9.1 MB").
QString describe(const ShelfItem& item);

} // namespace ShelfListAccessible
