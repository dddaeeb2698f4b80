#pragma once

#include "osc/OscMessage.h"

#include <lo/lo.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mt::test {

// An OSC client on 127.0.0.1: sends to the program's port from its own socket and reads what comes
// back, each message as its path and its arguments in text.
class OscClient {
public:
    struct Received {
        std::string path;
        std::string value;                  // the first argument, or empty
        std::vector<std::string> arguments; // a string as is, a number as printed, else "<t>"
    };

    // `answerSender`: sends go to wherever the last message came from, as a server's do.
    explicit OscClient(int serverPort, bool answerSender = false)
        : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), m_answerSender(answerSender) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ADD_FAILURE() << "the client's socket: " << std::strerror(errno);
        }
        m_server = local;
        m_server.sin_port = htons(static_cast<std::uint16_t>(serverPort));
    }
    ~OscClient() { close(); }
    OscClient(const OscClient&) = delete;
    OscClient& operator=(const OscClient&) = delete;

    void close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    // The client's own address, as the server sees it.
    OscPeer peer() const {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &size);
        return OscPeer::from(local);
    }
    void sendBytes(const std::vector<char>& bytes) {
        sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&m_server),
               sizeof m_server);
    }
    void send(const char* path, const OscMessage& message = OscMessage()) {
        sendBytes(message.bytes(path));
    }

    // The next message within `timeoutMs`, running `pump` (the UI thread's events) meanwhile.
    std::optional<Received> next(int timeoutMs = 2000, const std::function<void()>& pump = {}) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<char> buffer(65536);
        while (std::chrono::steady_clock::now() < end) {
            if (pump) {
                pump();
            }
            pollfd wait{m_fd, POLLIN, 0};
            if (poll(&wait, 1, pump ? 5 : timeoutMs) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            lo_message message =
                got > 0
                    ? lo_message_deserialise(buffer.data(), static_cast<std::size_t>(got), nullptr)
                    : nullptr;
            if (message == nullptr) {
                continue;
            }
            if (m_answerSender) {
                m_server = from;
            }
            Received received{buffer.data(), {}, {}};
            const char* types = lo_message_get_types(message);
            for (int i = 0; i < lo_message_get_argc(message); ++i) {
                received.arguments.push_back(
                    argumentText(types[i], lo_message_get_argv(message)[i]));
            }
            if (!received.arguments.empty()) {
                received.value = received.arguments.front();
            }
            lo_message_free(message);
            return received;
        }
        return std::nullopt;
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

    int m_fd;
    bool m_answerSender;
    sockaddr_in m_server{};
};

} // namespace mt::test
