#pragma once

#include "osc/OscMessage.h"

#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace mt {

// A UDP socket for OSC with a thread of its own that waits on it (poll, with an eventfd that
// stops it at once) and hands every datagram to the handler on that thread. Bound to
// 127.0.0.1, or to every interface when asked. Constructed, started and stopped on one thread.
class OscServer {
public:
    // The datagram's bytes (valid during the call) and its sender. The server's thread.
    using Handler = std::function<void(const void* data, std::size_t size, const OscPeer& from)>;

    explicit OscServer(Handler handler);
    ~OscServer(); // stops
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds `port` (0: any free one) and starts the thread. False with errno's value in
    // `error` when the socket cannot be bound (EADDRINUSE: another program has the port).
    // A running server is stopped first.
    bool start(int port, bool allInterfaces, int& error);
    // The thread ends and the socket closes; waits only for the handler under way.
    void stop();
    bool running() const { return m_socket >= 0; }
    // The port bound, 0 when not running.
    int port() const { return m_port; }

    // Any thread: one datagram from the server's own port. Never blocks; false when the
    // system refused it.
    bool send(const OscPeer& to, const std::vector<char>& bytes) const;

private:
    void run();

    Handler m_handler;
    int m_socket = -1;
    int m_wake = -1; // eventfd: readable once stop() wants the thread to end
    int m_port = 0;
    std::thread m_thread;
};

} // namespace mt
