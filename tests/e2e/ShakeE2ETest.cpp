// The shake gesture in the running program: real drags from a file manager,
// real pointer strokes at 60 Hz. The program's shake log (turned on through
// its hidden preference) records every release, so each test knows when the
// program has seen the whole press.
#include "Input.h"
#include "Kavo.h"
#include "Peers.h"
#include "TestEnvironment.h"

#include <QFileInfo>

namespace {

constexpr int strokeLength = 60;

class ShakeE2E : public KavoTest
{
protected:
    void SetUp() override
    {
        KavoTest::SetUp();
        m_kavo.setPreference("debugShake", true);
    }
    // The first release record, without its date, once there is one.
    QString firstRelease() const
    {
        QByteArray text;
        TestEnv::waitUntil([&] {
            QFile log(m_kavo.root() + "/state/Kavo/shake.log");
            text = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
            return text.contains("release: ") && text.indexOf('\n', text.indexOf("release: ")) > 0;
        }, 10000);
        return QString::fromUtf8(text.mid(text.indexOf("release: "))).section(u'\n', 0, 0);
    }
    // Shows `file` in the file manager and begins a real drag of it there:
    // a press on its row and a move far enough for the drag to start.
    ::testing::AssertionResult startDrag(const QString& file)
    {
        if (!files.open(QFileInfo(file).path(), {20, 20}, 1))
            return ::testing::AssertionFailure() << "pcmanfm: " << files.errors().toStdString();
        pressPoint = files.row(0);
        dragStarted = pressPoint + QPoint(30, 0);
        const xcb_window_t before = m_display.selectionOwner("XdndSelection");
        // The drag has begun once the file manager owns the drag selection.
        if (!Input::run(Input::pressAt(pressPoint) + Input::glide(pressPoint, dragStarted, 3, 0.05)) ||
            !TestEnv::waitUntil([&] {
                const xcb_window_t owner = m_display.selectionOwner("XdndSelection");
                return owner != XCB_NONE && owner != before;
            }))
            return ::testing::AssertionFailure() << "the drag did not start";
        return ::testing::AssertionSuccess();
    }
    // Carries the drag on from where it started to `to`, then shakes there.
    bool shakeAt(QPoint to) const
    {
        return Input::run(Input::glide(dragStarted, to, 6, 0.05) + Input::strokes(to, 4, strokeLength));
    }

    Pcmanfm files;
    QPoint pressPoint, dragStarted;
};

TEST_F(ShakeE2E, ShakingAFileDragOpensAShelfUnderThePointerThatTakesTheDrop)
{
    const QString file = makeFile("shaken.txt", "shaken");
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(startDrag(file));
    const QPoint spot(700, 450);
    ASSERT_TRUE(shakeAt(spot));
    // Still dragging: the shelf is there before the button comes up,
    // centred on the pointer where the shake was recognised: somewhere on
    // the last stroke, at the shake's height.
    Shelves shelves = m_kavo.waitForShelfCount(1);
    ASSERT_EQ(shelves.size(), 1);
    EXPECT_TRUE(m_display.primaryButtonDown());
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
    ASSERT_TRUE(Input::run(Input::glide(here, here + QPoint(12, 12), 3, 0.08) + Input::release()));
    ASSERT_TRUE(m_kavo.waitForShelves([](const Shelves& s) { return s.size() == 1 && !s[0].items.isEmpty(); }, &shelves))
        << describe(shelves);
    EXPECT_EQ(shelves[0].paths(), QStringList{file});
    EXPECT_FALSE(shelves[0].items[0].temporary);
    EXPECT_EQ(firstRelease().section(" count ", 0, 0),
              QStringLiteral("release: swings=3 fired=true dock=false stack=false at=%1,%2").arg(pressPoint.x()).arg(pressPoint.y()));
}

TEST_F(ShakeE2E, ShakingWithoutADragOpensNothing)
{
    ASSERT_TRUE(startKavo());
    // Pressed on the bare root window: the button is down, nothing is dragged.
    ASSERT_TRUE(Input::run(Input::pressAt({700, 400}) + Input::strokes({700, 400}, 4, strokeLength) + Input::release()));
    // The program saw the whole shake, and let it pass.
    EXPECT_EQ(firstRelease().section(" count ", 0, 0), "release: swings=3 fired=false dock=false stack=false at=700,400");
    EXPECT_EQ(m_kavo.list().value_or(Shelves(1)).size(), 0);
}

TEST_F(ShakeE2E, ShakingNearAnEmptyShelfWigglesItInsteadOfOpeningAnother)
{
    const QString file = makeFile("shaken.txt", "shaken");
    ASSERT_TRUE(startKavo());
    ASSERT_TRUE(Input::run(Input::moveTo({700, 450}) + Input::key("ctrl+alt+space")));
    const QRect frame = m_kavo.waitForShelfCount(1).value(0).frame;
    ASSERT_TRUE(startDrag(file));
    // Just left of the shelf, within its 60-pixel reach, then away from it,
    // where the drag is dropped on nothing.
    ASSERT_TRUE(shakeAt({frame.x() - 50, frame.center().y()}));
    ASSERT_TRUE(Input::run(Input::glide(m_display.pointer(), {150, 600}, 5, 0.05) + Input::release()));
    // The shake was recognised, and it went to the shelf that was there.
    EXPECT_TRUE(firstRelease().startsWith("release: swings=3 fired=true ")) << firstRelease().toStdString();
    const Shelves after = m_kavo.list().value_or(Shelves{});
    ASSERT_EQ(after.size(), 1) << describe(after);
    EXPECT_EQ(after[0].frame, frame);
    EXPECT_TRUE(after[0].items.isEmpty());
}

} // namespace
