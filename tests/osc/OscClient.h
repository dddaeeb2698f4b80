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

namespace mt::test {

// An OSC client on 127.0.0.1: sends to the program's port from its own socket and reads what
// comes back, each message as its path and first argument in text.
class OscClient {
public:
    struct Received {
        std::string path;
        std::string value; // the first argument: a string as is, a number as printed
    };

    explicit OscClient(int serverPort) : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
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
            const ssize_t got = recv(m_fd, buffer.data(), buffer.size(), 0);
            lo_message message =
                got > 0
                    ? lo_message_deserialise(buffer.data(), static_cast<std::size_t>(got), nullptr)
                    : nullptr;
            if (message == nullptr) {
                continue;
            }
            Received received{buffer.data(), {}};
            if (lo_message_get_argc(message) > 0) {
                lo_arg* argument = lo_message_get_argv(message)[0];
                switch (lo_message_get_types(message)[0]) {
                case 's':
                    received.value = reinterpret_cast<const char*>(argument);
                    break;
                case 'i': { // read as bytes: liblo aligns its arguments to 4, not 8
                    std::int32_t number = 0;
                    std::memcpy(&number, argument, sizeof number);
                    received.value = std::to_string(number);
                    break;
                }
                case 'f': {
                    float number = 0;
                    std::memcpy(&number, argument, sizeof number);
                    received.value = std::to_string(std::lround(number));
                    break;
                }
                default:
                    break;
                }
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
    int m_fd;
    sockaddr_in m_server{};
};

} // namespace mt::test
