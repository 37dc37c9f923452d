#pragma once

#include "DisplayProbe.h"
#include "KavoSession.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

class HelperProcess;

// Starts a helper program's window at `at` and waits until it is on screen.
::testing::AssertionResult startHelper(HelperProcess& helper, const QString& program, QPoint at,
                                       const QStringList& arguments);

// The fixture of the whole-program tests: a session of the real program in a
// private home that has launched before (so no welcome blocks), a probe of the
// display, and a clean pointer before and after each test.
class KavoTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program; a failed start fails the test with its errors.
    ::testing::AssertionResult startKavo();

    // A file with this content in the session's own folder.
    QString makeFile(const QString& name, const QByteArray& content);

    // Where a shelf opened at `p` belongs: centred on the point (or with its
    // top edge there), clamped into the visible screen less an 8-pixel margin.
    static QRect placed(QPointF p, bool anchorTop = false);
    // The middle of a shelf's stack area: where a drag of its pile starts.
    static QPoint stackCentre(const QRect& frame);

    KavoSession m_kavo;
    DisplayProbe m_display;
};
