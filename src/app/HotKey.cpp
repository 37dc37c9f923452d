#include "app/HotKey.h"

#include "platform/KeyGrabber.h"

HotKey::HotKey() = default;

HotKey::~HotKey() = default;

bool HotKey::registerKey(Qt::Key key, Qt::KeyboardModifiers modifiers,
                         std::function<void()> action)
{
    m_action = std::move(action);
    if (!m_grabber)
        m_grabber = KeyGrabber::create();
    // The grabber reports presses from the event loop, never inside its own
    // event handling; the action may open windows or run dialogs.
    m_grabber->onPressed = [this] {
        if (m_action)
            m_action();
    };
    return m_grabber->grab(key, modifiers);
}
