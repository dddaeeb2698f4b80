#include "osc/OscSubscribers.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace mt {

OscSubscribers::~OscSubscribers() {
    removeAll();
}

OscSubscribers::Added OscSubscribers::add(const OscPeer& peer, bool levels, Clock::time_point now) {
    for (Subscriber& s : m_subscribers) {
        if (s.peer == peer) {
            s.levels = levels;
            s.expires = now + m_lease;
            return Added::Renewed;
        }
    }
    if (m_subscribers.size() >= kMax) {
        return Added::Full;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = peer.socketAddress();
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return Added::Failed;
    }
    m_subscribers.push_back({peer, fd, levels, now + m_lease});
    return Added::New;
}

void OscSubscribers::dropAt(std::size_t index) {
    close(m_subscribers[index].socket);
    m_subscribers.erase(m_subscribers.begin() + static_cast<std::ptrdiff_t>(index));
}

void OscSubscribers::remove(const OscPeer& peer) {
    for (std::size_t i = 0; i < m_subscribers.size(); ++i) {
        if (m_subscribers[i].peer == peer) {
            dropAt(i);
            return;
        }
    }
}

void OscSubscribers::removeAll() {
    while (!m_subscribers.empty()) {
        dropAt(m_subscribers.size() - 1);
    }
}

void OscSubscribers::expire(Clock::time_point now) {
    for (std::size_t i = m_subscribers.size(); i-- > 0;) {
        if (m_subscribers[i].expires <= now) {
            dropAt(i);
        }
    }
}

bool OscSubscribers::deliver(const Subscriber& subscriber, const std::vector<char>& bytes) {
    if (bytes.empty()) {
        return true;
    }
    // A full socket buffer loses the datagram, as UDP may; only a refusal ends the client.
    return ::send(subscriber.socket, bytes.data(), bytes.size(), MSG_DONTWAIT) >= 0 ||
           errno != ECONNREFUSED;
}

void OscSubscribers::send(const std::vector<char>& bytes, bool levelsOnly) {
    for (std::size_t i = m_subscribers.size(); i-- > 0;) {
        if ((!levelsOnly || m_subscribers[i].levels) && !deliver(m_subscribers[i], bytes)) {
            dropAt(i);
        }
    }
}

void OscSubscribers::sendTo(const OscPeer& peer, const std::vector<char>& bytes) {
    for (std::size_t i = 0; i < m_subscribers.size(); ++i) {
        if (m_subscribers[i].peer == peer && !deliver(m_subscribers[i], bytes)) {
            dropAt(i);
            return;
        }
    }
}

bool OscSubscribers::anyWantsLevels() const {
    return std::any_of(m_subscribers.begin(), m_subscribers.end(),
                       [](const Subscriber& s) { return s.levels; });
}

} // namespace mt
