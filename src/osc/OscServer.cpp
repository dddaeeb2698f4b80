#include "osc/OscServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace mt {

OscServer::OscServer(Handler handler) : m_handler(std::move(handler)) {}

OscServer::~OscServer() {
    stop();
}

bool OscServer::start(int port, bool allInterfaces, int& error) {
    stop();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(allInterfaces ? INADDR_ANY : INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t size = sizeof local;
    // No SO_REUSEADDR: a port another program listens on is refused, not shared.
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        error = errno;
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0) {
        error = errno;
        close(fd);
        return false;
    }
    m_socket = fd;
    m_port = ntohs(local.sin_port);
    m_thread = std::thread([this] { run(); });
    return true;
}

void OscServer::stop() {
    if (m_socket < 0) {
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
    m_thread.join();
    close(m_socket);
    close(m_wake);
    m_socket = -1;
    m_wake = -1;
    m_port = 0;
}

void OscServer::run() {
    // A UDP datagram's largest payload: nothing read is ever cut short.
    std::vector<char> buffer(65536);
    std::array<pollfd, 2> waits{{{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}}};
    for (;;) {
        if (poll(waits.data(), waits.size(), -1) < 0 && errno != EINTR) {
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        for (;;) {
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t got = recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &size);
            if (got < 0) {
                break; // EAGAIN: all read; anything else: the next poll tells
            }
            m_handler(buffer.data(), static_cast<std::size_t>(got), OscPeer::from(from));
        }
    }
}

bool OscServer::send(const OscPeer& to, const std::vector<char>& bytes) const {
    const sockaddr_in address = to.socketAddress();
    return m_socket >= 0 && !bytes.empty() &&
           sendto(m_socket, bytes.data(), bytes.size(), MSG_DONTWAIT,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address) >= 0;
}

} // namespace mt
