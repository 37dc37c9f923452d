#pragma once

#include "DisplayProbe.h"
#include "HelperProcess.h"

#include <QPoint>
#include <QRect>
#include <QString>

// pcmanfm, a GTK file manager, showing one folder: a real drag source and
// drop target of the kind users have. Like GIO file managers it finishes a
// drop first and moves the files afterwards, in a job of its own. Its window
// is a list sorted by name (folders first), 500×300, where the test puts it.
class Pcmanfm
{
public:
    ~Pcmanfm();

    // Opens `folder` with its window's top-left corner at `at`; answers
    // whether the window is there and shows `rows` rows.
    bool open(const QString& folder, QPoint at, int rows = 0);

    // Where row `n` (from 0) is grabbed, and a point below the rows where a
    // drop goes into the folder itself.
    QPoint row(int n) const { return m_frame.topLeft() + QPoint(50, 68 + 28 * n); }
    QPoint emptySpace() const { return m_frame.topLeft() + QPoint(250, 230); }

    QString errors() const { return m_process.errorOutput(); }

private:
    HelperProcess m_process;
    DisplayProbe m_display;
    QRect m_frame;
};
