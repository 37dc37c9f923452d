#pragma once

#include "model/ShelfItem.h"

#include <QList>
#include <QString>

class ShelfContentView;

// What a screen reader sees of a shelf and of the program's open menus:
// the shelf is a window named for what it holds ("Shelf, 3 items"); its
// pile is a button named for the files in it whose action shows the list;
// the empty shelf's hint, the title and the detail are texts; the count
// badge and the highlight, which only repeat or decorate, are left out; and
// menus that are open (a shelf's, a row's, the tray's on XEmbed trays) are
// in the application's tree, which Qt's own leaves popup windows out of.
namespace ShelfAccessible {

// Adds the interface factory to Qt's accessibility (once). Before the
// accessibility bridge first asks for the application's interface: it
// keeps the first one it gets.
void install();

// Tells readers that the shelf of `view` changed what it holds: the names of
// the shelf and of its pile, and the pile or the hint in its place. Costs
// nothing while no reader listens.
void contentChanged(ShelfContentView* view);

// The shelf window's name with `count` items.
QString shelfName(qsizetype count);
// The pile's name: the count, then the first few names, newest first, and
// "…" when there are more.
QString pileName(const QList<ShelfItemPtr>& items);

} // namespace ShelfAccessible
