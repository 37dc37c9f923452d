#pragma once

#include <QString>
#include <QUrl>

#include <memory>

// The receiving side of the X Direct Save protocol (XdndDirectSave0), which
// Qt lists as a drop format but does not implement: the drag source offers to
// write a file wherever the drop target says.
//
// Used from inside a dropEvent: read the name the source suggests, tell it
// where to save with setTarget(), then ask for the "XdndDirectSave0" data of
// the drop's QMimeData: "S" means saved, "F" failed (the target may take the
// data as application/octet-stream instead), "E" error.
class DirectSave
{
public:
    virtual ~DirectSave() = default;
    // The file name that the source of the current drag suggests (the
    // XdndDirectSave0 property of the window that the drag's messages come
    // from, else of the XdndSelection owner), as the source wrote it; empty
    // when there is none.
    virtual QString suggestedName() = 0;
    // Replaces that property with the file:// URI where the source should
    // save. Answers whether the property could be written.
    virtual bool setTarget(const QUrl& file) = 0;

    // The X11 implementation on the xcb platform, otherwise one that finds
    // no suggested name and cannot set a target.
    static std::unique_ptr<DirectSave> create();
    // Starts following the drags that enter this program's windows, so that
    // a drop knows the window it came from; called before drops can come
    // (more calls do nothing).
    static void followDrags();
};
