#pragma once

#include "platform/PointerSource.h"

#include <QAbstractNativeEventFilter>

#include <chrono>
#include <memory>

struct xcb_connection_t;

// The pointer as the X server reports it (QueryPointer on the root window),
// which stays right while another client holds the pointer for a drag.
// Queries are pipelined: each sample collects the answer to the query sent
// by the previous one and sends the next, so a 60 Hz poll never waits for a
// round trip. A sample that finds no recent query outstanding asks and waits.
// Button presses anywhere are reported through XInput 2 raw events on the
// root window (delivered whatever client holds the pointer), when the server
// has XInput 2.2.
class X11PointerSource final : public PointerSource, private QAbstractNativeEventFilter
{
public:
    // `connection` is Qt's X connection and `root` the root window to ask.
    X11PointerSource(xcb_connection_t* connection, quint32 root);
    ~X11PointerSource() override;

    PointerState sample() override;
    bool notifiesPresses() const override { return m_xinputOpcode != 0; }

    // An answer to a query older than this is stale: it is thrown away and
    // the pointer asked for again, waiting for the answer.
    static constexpr std::chrono::milliseconds maxAnswerAge{100};

private:
    void send();
    bool collect(PointerState& state);
    bool selectRawPresses();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    xcb_connection_t* m_connection;
    quint32 m_root;
    bool m_outstanding = false;
    unsigned int m_sequence = 0;
    std::chrono::steady_clock::time_point m_sentAt;
    PointerState m_last;
    quint8 m_xinputOpcode = 0; // 0: no XInput 2.2, presses are not reported
    bool m_pressSeen = false;
    // Queued press reports hold this weakly and do nothing once it is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};
