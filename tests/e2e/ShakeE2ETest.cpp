// The shake gesture in the running program: real drags from another process,
// real pointer strokes at 60 Hz. The program's shake log (turned on through
// its hidden preference) records every release, so each test knows when the
// program has seen the whole press.
#include "HelperProcess.h"
#include "KavoTest.h"
#include "Pcmanfm.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>

namespace {

using Shelves = QList<ListedShelf>;

constexpr QPoint fileManagerAt(20, 20);
constexpr int strokeLength = 60;
constexpr int strokeCount = 4;

class ShakeE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        m_kavo.setPreference(QStringLiteral("debugShake"), true);
    }

    // The release records written so far, without their date.
    QStringList releases() const
    {
        QFile log(m_kavo.shakeLogPath());
        QStringList out;
        if (!log.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const qsizetype at = line.indexOf("release: ");
            if (at >= 0)
                out << QString::fromUtf8(line.mid(at));
        }
        return out;
    }

    // Waits for the record of release number `n` (from 1) and answers it.
    QString waitForRelease(qsizetype n) const
    {
        QStringList seen;
        TestEnv::waitUntil(
            [&] {
                seen = releases();
                return seen.size() >= n;
            },
            10000);
        return seen.size() >= n ? seen[n - 1] : QString();
    }

    // Shows `file` in the file manager and begins a real drag of it there:
    // a press on its row and a move far enough for the drag to start.
    ::testing::AssertionResult startDrag(Pcmanfm& files, const QString& file)
    {
        if (!files.open(QFileInfo(file).path(), fileManagerAt, 1))
            return ::testing::AssertionFailure() << "pcmanfm: " << files.errors().toStdString();
        pressPoint = files.row(0);
        dragStarted = pressPoint + QPoint(30, 0);
        const xcb_window_t before = m_display.selectionOwner("XdndSelection");
        if (!PointerScript::run(PointerScript::pressAt(pressPoint) +
                                PointerScript::glide(pressPoint, dragStarted, 3, 0.05)))
            return ::testing::AssertionFailure() << "xdotool failed";
        // The drag has begun once the file manager owns the drag selection.
        if (!TestEnv::waitUntil([&] {
                const xcb_window_t owner = m_display.selectionOwner("XdndSelection");
                return owner != XCB_NONE && owner != before;
            }))
            return ::testing::AssertionFailure() << "the drag did not start";
        return ::testing::AssertionSuccess();
    }

    // Carries the drag on from where it started to `to`, then shakes there.
    bool shakeAt(QPoint to) const
    {
        return PointerScript::run(PointerScript::glide(dragStarted, to, 6, 0.05) +
                                  PointerScript::strokes(to, strokeCount, strokeLength));
    }

    QPoint pressPoint, dragStarted;
};

TEST_F(ShakeE2E, ShakingAFileDragOpensAShelfUnderThePointerThatTakesTheDrop)
{
    const QString file = makeFile(QStringLiteral("shaken.txt"), "shaken");
    ASSERT_TRUE(startKavo());
    Pcmanfm files;
    ASSERT_TRUE(startDrag(files, file));

    const QPoint spot(700, 450);
    ASSERT_TRUE(shakeAt(spot));
    // Still dragging: the shelf is there before the button comes up.
    Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(m_display.primaryButtonDown());
    // Centred on the pointer where the shake was recognised: somewhere on the
    // last stroke, at the shake's height.
    const QRect frame = shelves[0].frame;
    EXPECT_EQ(frame.size(), placed(spot).size());
    EXPECT_EQ(frame.y(), placed(spot).y());
    EXPECT_GE(frame.x(), placed(spot).x());
    EXPECT_LE(frame.x(), placed(spot + QPoint(strokeLength, 0)).x());
    EXPECT_TRUE(frame.contains(m_display.pointer()));
    EXPECT_TRUE(shelves[0].items.isEmpty());

    // The drop target under the pointer is new: a little motion lets the
    // drag find it before the release.
    const QPoint here = m_display.pointer();
    ASSERT_TRUE(PointerScript::run(PointerScript::glide(here, here + QPoint(12, 12), 3, 0.08) +
                                   PointerScript::release()));
    ASSERT_TRUE(m_kavo.waitForShelves(
        [](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves).toStdString();
    EXPECT_EQ(shelves[0].paths(), QStringList{file});
    EXPECT_FALSE(shelves[0].items[0].temporary);

    const QString record = waitForRelease(1);
    EXPECT_TRUE(record.startsWith(QStringLiteral("release: swings=3 fired=true dock=false "
                                                 "stack=false at=%1,%2 count ")
                                      .arg(pressPoint.x())
                                      .arg(pressPoint.y())))
        << record.toStdString();
}

TEST_F(ShakeE2E, ShakingWithoutADragOpensNothing)
{
    ASSERT_TRUE(startKavo());
    // Pressed on the bare root window: the button is down, nothing is dragged.
    const QPoint at(700, 400);
    ASSERT_TRUE(PointerScript::run(PointerScript::pressAt(at) +
                                   PointerScript::strokes(at, strokeCount, strokeLength) +
                                   PointerScript::release()));
    // The program saw the whole shake, and let it pass.
    const QString record = waitForRelease(1);
    EXPECT_TRUE(record.startsWith(
        QStringLiteral("release: swings=3 fired=false dock=false stack=false at=700,400 count ")))
        << record.toStdString();
    const auto shelves = m_kavo.list();
    ASSERT_TRUE(shelves);
    EXPECT_TRUE(shelves->isEmpty()) << describe(*shelves).toStdString();
}

TEST_F(ShakeE2E, ShakingNearAnEmptyShelfWigglesItInsteadOfOpeningAnother)
{
    const QString file = makeFile(QStringLiteral("shaken.txt"), "shaken");
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(
        PointerScript::run(PointerScript::moveTo(QPoint(700, 450)) +
                           QStringList{QStringLiteral("key"), QStringLiteral("ctrl+alt+space")}));
    const Shelves before = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(before.size(), 1);
    const QRect frame = before[0].frame;

    Pcmanfm files;
    ASSERT_TRUE(startDrag(files, file));
    // Just left of the shelf, within its 60-pixel reach.
    const QPoint near(frame.x() - 50, frame.center().y());
    ASSERT_TRUE(shakeAt(near));
    // Then away from the shelf, where the drag is dropped on nothing.
    const QPoint away(150, 600);
    ASSERT_TRUE(PointerScript::run(PointerScript::glide(m_display.pointer(), away, 5, 0.05) +
                                   PointerScript::release()));

    // The shake was recognised, and it went to the shelf that was there.
    const QString record = waitForRelease(1);
    EXPECT_TRUE(record.startsWith(QStringLiteral("release: swings=3 fired=true ")))
        << record.toStdString();
    const auto after = m_kavo.list();
    ASSERT_TRUE(after);
    ASSERT_EQ(after->size(), 1) << describe(*after).toStdString();
    EXPECT_EQ((*after)[0].frame, frame);
    EXPECT_TRUE((*after)[0].items.isEmpty());
}

} // namespace
