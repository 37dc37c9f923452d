#pragma once

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <sys/uio.h>

#include <cstdint>
#include <cstdlib>

namespace Bench {

// Synthetic input through the XTEST extension on the caller's own X
// connection. The server handles it as real input: passive grabs fire, the
// pointer moves, QueryPointer sees the button held.
//
// The one request needed (FakeInput) is written out here from the protocol
// description, so that the benchmarks need no extra development package.
class XTest
{
public:
    XTest(xcb_connection_t* connection, xcb_window_t root) : m_connection(connection), m_root(root)
    {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &extension());
        m_available = ext && ext->present;
    }

    bool isAvailable() const { return m_available; }

    void key(uint8_t keycode, bool press)
    {
        fakeInput(press ? keyPress : keyRelease, keycode, 0, 0);
    }
    void button(uint8_t button, bool press)
    {
        fakeInput(press ? buttonPress : buttonRelease, button, 0, 0);
    }
    // Moves the pointer to a root-window position.
    void moveTo(int x, int y) { fakeInput(motionNotify, 0, int16_t(x), int16_t(y)); }

    // Returns once the server has handled everything sent so far.
    void sync()
    {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    static constexpr uint8_t keyPress = 2;
    static constexpr uint8_t keyRelease = 3;
    static constexpr uint8_t buttonPress = 4;
    static constexpr uint8_t buttonRelease = 5;
    static constexpr uint8_t motionNotify = 6;
    static constexpr uint8_t fakeInputOpcode = 2;

    struct FakeInputRequest
    {
        uint8_t majorOpcode;
        uint8_t minorOpcode;
        uint16_t length;
        uint8_t type;
        uint8_t detail;
        uint8_t pad0[2];
        uint32_t time; // 0: at once
        uint32_t root; // motion only
        uint8_t pad1[8];
        int16_t rootX;
        int16_t rootY;
        uint8_t pad2[7];
        uint8_t deviceId; // 0: the core devices
    };
    static_assert(sizeof(FakeInputRequest) == 36);

    // libxcb keys an extension's data by the address of this record and
    // fills in its id on first use.
    static xcb_extension_t& extension()
    {
        static xcb_extension_t id{"XTEST", 0};
        return id;
    }

    void fakeInput(uint8_t type, uint8_t detail, int16_t x, int16_t y)
    {
        if (!m_available)
            return;
        FakeInputRequest out{};
        out.type = type;
        out.detail = detail;
        out.root = type == motionNotify ? m_root : 0;
        out.rootX = x;
        out.rootY = y;
        // xcb_send_request uses the two slots before the request itself.
        iovec parts[4] = {};
        parts[2].iov_base = &out;
        parts[2].iov_len = sizeof(out);
        const xcb_protocol_request_t request{2, &extension(), fakeInputOpcode, 1};
        xcb_send_request(m_connection, 0, parts + 2, &request);
        xcb_flush(m_connection);
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    bool m_available = false;
};

} // namespace Bench
