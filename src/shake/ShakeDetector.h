#pragma once

#include "shake/ShakeInput.h"

#include <QPointF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

// Recognises the shake gesture: while the primary button is held during a
// drag, quick left-right movements of the pointer. Polls its input sixty
// times a second; counts reversals of horizontal direction that end a swing
// of at least `minSwing` points, and fires `onShake` (at most once per press)
// when `reversalsNeeded` of them lie within `window` seconds while a drag is
// in progress. A press that began on the desktop's panel, and the first press
// elsewhere shortly after it, count as drags too (dragging out of a panel
// does not always use the drag selection). Main thread only.
class ShakeDetector
{
public:
    // Reads the drag selection's change count now; `input` must not be null.
    explicit ShakeDetector(std::unique_ptr<ShakeInput> input);
    ~ShakeDetector();
    ShakeDetector(const ShakeDetector&) = delete;
    ShakeDetector& operator=(const ShakeDetector&) = delete;

    // Called synchronously inside a tick with the pointer location of that tick.
    std::function<void(QPointF)> onShake;
    // While false, ticks do nothing but forget a press under way, and the
    // poll rests.
    bool isEnabled = true;

    // Starts polling every `tickInterval` on the main thread, for the life of
    // the detector; the timer fires inside menus, drags and modal dialogs too.
    // Where the input reports presses, the poll rests while no button is held
    // (a tick then could only find nothing to do) and wakes on each press.
    // Calling it again changes nothing.
    void start();
    // Whether the poll is running now.
    bool isPolling() const;
    // One polling step (the timer's action).
    void tick();

    static constexpr double minSwing = 24.0;
    static constexpr int reversalsNeeded = 3;
    static constexpr double window = 0.8;
    static constexpr double stackStaysOpen = 20.0;
    static constexpr double tickInterval = 1.0 / 60.0;
    // A sample closer than this to the last counted x is ignored.
    static constexpr double jitter = 1.5;

    // The most reversals counted in the press under way (or the last one).
    int maxReversalsThisPress() const { return m_maxReversalsThisPress; }

private:
    void wake();
    void beginPress(const ShakeSample& s);
    void release();
    bool isDragging();

    std::unique_ptr<ShakeInput> m_input;
    std::unique_ptr<QTimer> m_timer;
    bool m_buttonWasDown = false;
    bool m_firedThisDrag = false;
    quint64 m_dragChangeCountBeforePress = 0;
    bool m_pressStartedInDock = false;
    bool m_pressInFreshStack = false;
    std::optional<double> m_dockClickTime;
    QPointF m_pressPoint;
    double m_lastX = 0;
    int m_direction = 0;
    double m_swingStartX = 0;
    std::vector<double> m_reversals; // uptimes of counted reversals, oldest first
    int m_maxReversalsThisPress = 0;
};
