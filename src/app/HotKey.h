#pragma once

#include <Qt>

#include <functional>
#include <memory>

class KeyGrabber;

// One system-wide key combination: its action runs on the main thread, in a
// later turn of the event loop, each time the combination is pressed,
// whichever application is active. Destruction releases the combination.
class HotKey
{
public:
    HotKey();
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // Grabs the combination; answers whether the window system granted it
    // (failure is otherwise silent: the keys then do nothing).
    bool registerKey(Qt::Key key, Qt::KeyboardModifiers modifiers, std::function<void()> action);

private:
    std::unique_ptr<KeyGrabber> m_grabber;
    std::function<void()> m_action;
};
