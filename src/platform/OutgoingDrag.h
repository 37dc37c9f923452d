#pragma once

class QDrag;
class QMimeData;

// The drags this program runs, known to the platform code that answers drop
// targets on Qt's behalf where Qt's own drag source turns them away or
// offers them the wrong choice. Main thread.
namespace OutgoingDrag {

// From now until `drag` is destroyed (Qt keeps a drag until its target has
// finished the drop), its data is this program's drag data.
void track(QDrag* drag);
// The data of the newest tracked drag that is still alive; nullptr when none.
const QMimeData* data();
// Counts the drags tracked so far: tells code that looks now and then that a
// new drag has begun.
unsigned generation();

} // namespace OutgoingDrag
