#include "platform/OutgoingDrag.h"

#include <QDrag>
#include <QList>
#include <QPointer>

namespace OutgoingDrag {
namespace {

// Usually one; a new drag may begin while an earlier target still works.
QList<QPointer<QDrag>>& tracked()
{
    static QList<QPointer<QDrag>> drags;
    return drags;
}

unsigned tracks = 0;

} // namespace

void track(QDrag* drag)
{
    tracked().removeAll(nullptr);
    if (drag)
        tracked().append(drag), ++tracks;
}

unsigned generation() { return tracks; }

const QMimeData* data()
{
    tracked().removeAll(nullptr);
    return tracked().isEmpty() ? nullptr : tracked().last()->mimeData();
}

} // namespace OutgoingDrag
