#pragma once

#include <QtGlobal>

#include <functional>

struct xcb_connection_t;

// The X server's clock now, read without waiting: a zero-length change of a
// property of one of Kavo's own windows comes back as a PropertyNotify that
// carries the server's time. Answers arrive on the main thread, from the
// event loop; a server that does not answer within `timeoutMs` is answered
// for with 0 ("current time").
namespace X11ServerTime {

inline constexpr int timeoutMs = 1000;

// `window` must be a window of this connection that selects property
// changes (every Qt top level does).
void ask(xcb_connection_t* connection, quint32 window, std::function<void(quint32 time)> then);

} // namespace X11ServerTime
