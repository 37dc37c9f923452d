#include "platform/x11/X11ServerTime.h"

#include "platform/x11/X11Util.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QList>
#include <QTimer>

#include <xcb/xcb.h>

namespace X11ServerTime {
namespace {

// The property whose changes tell the time; it never holds anything.
const char* const clockProperty = "_KAVO_SERVER_TIME";

struct Question
{
    quint32 window = 0;
    std::function<void(quint32)> then;
    QTimer* deadline = nullptr;
};

class Clock final : public QAbstractNativeEventFilter
{
public:
    Clock() { QCoreApplication::instance()->installNativeEventFilter(this); }

    void ask(xcb_connection_t* c, quint32 window, std::function<void(quint32)> then)
    {
        const quint32 property = X11Util::atom(clockProperty);
        if (property == 0 || window == 0) {
            answerLater(std::move(then), XCB_CURRENT_TIME);
            return;
        }
        auto* deadline = new QTimer(QCoreApplication::instance());
        deadline->setSingleShot(true);
        const quint64 id = ++m_lastId;
        QObject::connect(deadline, &QTimer::timeout, QCoreApplication::instance(),
                         [this, id] { answer(id, XCB_CURRENT_TIME); });
        deadline->start(timeoutMs);
        m_questions.append({id, {window, std::move(then), deadline}});
        xcb_change_property(c, XCB_PROP_MODE_APPEND, window, property, XCB_ATOM_INTEGER, 32, 0, nullptr);
        xcb_flush(c);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t" || m_questions.isEmpty())
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->atom != X11Util::atom(clockProperty))
            return false;
        // Every question about this window is answered by its first change.
        QList<quint64> answered;
        for (const auto& [id, q] : std::as_const(m_questions)) {
            if (q.window == notify->window)
                answered << id;
        }
        for (quint64 id : answered)
            answer(id, notify->time);
        return true;
    }

private:
    void answer(quint64 id, quint32 time)
    {
        for (qsizetype i = 0; i < m_questions.size(); ++i) {
            if (m_questions[i].first != id)
                continue;
            Question q = m_questions.takeAt(i).second;
            q.deadline->stop();
            q.deadline->deleteLater();
            answerLater(std::move(q.then), time);
            return;
        }
    }

    // Out of the event filter (and out of the timer's own signal): the
    // answer may create or destroy windows.
    static void answerLater(std::function<void(quint32)> then, quint32 time)
    {
        QTimer::singleShot(0, QCoreApplication::instance(), [then = std::move(then), time] {
            if (then)
                then(time);
        });
    }

    quint64 m_lastId = 0;
    QList<std::pair<quint64, Question>> m_questions;
};

} // namespace

void ask(xcb_connection_t* connection, quint32 window, std::function<void(quint32 time)> then)
{
    static Clock clock;
    clock.ask(connection, window, std::move(then));
}

} // namespace X11ServerTime
