#pragma once

#include "osc/OscServer.h"

#include <netinet/in.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mt::test {

// An OSC client on 127.0.0.1: sends to the program's port from a socket of its own (a server on
// a free port, whose thread takes what comes back) and reads each message that came as its path
// and its arguments in text.
class OscClient {
public:
    struct Received {
        std::string path;
        std::string value;                  // the first argument, or empty
        std::vector<std::string> arguments; // a string as is, a number as printed, else "<t>"
    };

    // `answerSender`: sends go to wherever the last message came from, as a server's do.
    explicit OscClient(int serverPort, bool answerSender = false)
        : m_to{htonl(INADDR_LOOPBACK), htons(static_cast<std::uint16_t>(serverPort))},
          m_answerSender(answerSender) {
        int error = 0;
        EXPECT_TRUE(m_socket.start(0, false, error))
            << "the client's socket: " << std::strerror(error);
    }

    // The socket closes: what is sent to it from now on is answered "unreachable".
    void close() { m_socket.stop(); }
    // The client's own address, as the server sees it.
    OscPeer peer() const {
        return {htonl(INADDR_LOOPBACK), htons(static_cast<std::uint16_t>(m_socket.port()))};
    }
    void sendBytes(const std::vector<char>& bytes) {
        const std::lock_guard lock(m_mutex);
        m_socket.send(m_to, bytes);
    }
    void send(const char* path, const OscMessage& message = OscMessage()) {
        sendBytes(message.bytes(path));
    }

    // The next message within `timeoutMs`, running `pump` (the UI thread's events) meanwhile.
    std::optional<Received> next(int timeoutMs = 2000, const std::function<void()>& pump = {}) {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock lock(m_mutex);
        while (m_came.empty()) {
            if (Clock::now() >= end) {
                return std::nullopt;
            }
            if (pump) {
                lock.unlock();
                pump();
                lock.lock();
            }
            m_arrived.wait_until(
                lock, pump ? std::min(end, Clock::now() + std::chrono::milliseconds(5)) : end);
        }
        Received got = std::move(m_came.front());
        m_came.pop_front();
        return got;
    }
    // Reads until a message at `path` comes (with `value` when given); nullopt if none in time.
    std::optional<Received> until(const std::string& path, const std::function<void()>& pump,
                                  const std::optional<std::string>& value = std::nullopt) {
        while (std::optional<Received> got = next(2000, pump)) {
            if (got->path == path && (!value || got->value == *value)) {
                return got;
            }
        }
        return std::nullopt;
    }

private:
    // The socket's thread: a datagram that is an OSC message is kept for next().
    void take(const void* data, std::size_t size, const OscPeer& from) {
        lo_message message = lo_message_deserialise(const_cast<void*>(data), size, nullptr);
        if (message == nullptr) {
            return;
        }
        Received received{static_cast<const char*>(data), {}, {}};
        const char* types = lo_message_get_types(message);
        for (int i = 0; i < lo_message_get_argc(message); ++i) {
            received.arguments.push_back(argumentText(types[i], lo_message_get_argv(message)[i]));
        }
        received.value = received.arguments.empty() ? "" : received.arguments.front();
        lo_message_free(message);
        const std::lock_guard lock(m_mutex);
        m_to = m_answerSender ? from : m_to;
        m_came.push_back(std::move(received));
        m_arrived.notify_all();
    }
    // An argument as text; numbers read as bytes: liblo aligns its arguments to 4, not 8.
    static std::string argumentText(char type, const lo_arg* argument) {
        const auto* raw = reinterpret_cast<const char*>(argument);
        if (type == 's') {
            return raw;
        }
        if (type == 'i' || type == 'f') {
            std::int32_t number = 0;
            float real = 0;
            std::memcpy(&number, raw, sizeof number);
            std::memcpy(&real, raw, sizeof real);
            return std::to_string(type == 'i' ? number : std::lround(real));
        }
        return '<' + std::string(1, type) + '>';
    }

    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Received> m_came;
    OscPeer m_to;
    bool m_answerSender;
    OscServer m_socket{[this](const void* data, std::size_t size, const OscPeer& from) {
        take(data, size, from);
    }}; // last: its thread starts once everything above exists
};

} // namespace mt::test
