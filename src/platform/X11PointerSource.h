#pragma once

#include "platform/PointerSource.h"

#include <chrono>

struct xcb_connection_t;

// The pointer as the X server reports it (QueryPointer on the root window),
// which stays right while another client holds the pointer for a drag.
// Queries are pipelined: each sample collects the answer to the query sent
// by the previous one and sends the next, so a 60 Hz poll never waits for a
// round trip. A sample that finds no recent query outstanding asks and waits.
class X11PointerSource final : public PointerSource
{
public:
    // `connection` is Qt's X connection and `root` the root window to ask.
    X11PointerSource(xcb_connection_t* connection, quint32 root);
    ~X11PointerSource() override;

    PointerState sample() override;

    // An answer to a query older than this is stale: it is thrown away and
    // the pointer asked for again, waiting for the answer.
    static constexpr std::chrono::milliseconds maxAnswerAge{100};

private:
    void send();
    bool collect(PointerState& state);

    xcb_connection_t* m_connection;
    quint32 m_root;
    bool m_outstanding = false;
    unsigned int m_sequence = 0;
    std::chrono::steady_clock::time_point m_sentAt;
    PointerState m_last;
};
