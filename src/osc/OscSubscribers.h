#pragma once

#include "osc/OscMessage.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace mt {

// The clients that asked for the program's state (/marrowtune/subscribe), each until it
// unsubscribes, its lease runs out without a renewal, or a send to it is refused (its port
// closed: the ICMP answer makes the next send fail with ECONNREFUSED). Each has a UDP socket
// connected to it, so that refusal is told for it alone. At most kMax at once. One thread.
class OscSubscribers {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMax = 16;
    static constexpr std::chrono::milliseconds kLease{60000};

    explicit OscSubscribers(std::chrono::milliseconds lease = kLease) : m_lease(lease) {}
    ~OscSubscribers();
    OscSubscribers(const OscSubscribers&) = delete;
    OscSubscribers& operator=(const OscSubscribers&) = delete;

    enum class Added { New, Renewed, Full, Failed };
    // Adds `peer` or renews its lease (and its wish for levels).
    Added add(const OscPeer& peer, bool levels, Clock::time_point now);
    void remove(const OscPeer& peer);
    void removeAll();
    // Drops those whose lease ran out by `now`.
    void expire(Clock::time_point now);

    // To every subscriber, or only to those that asked for levels. Never blocks.
    void send(const std::vector<char>& bytes, bool levelsOnly = false);
    void sendTo(const OscPeer& peer, const std::vector<char>& bytes);

    std::size_t size() const { return m_subscribers.size(); }
    bool empty() const { return m_subscribers.empty(); }
    bool anyWantsLevels() const;
    std::chrono::milliseconds lease() const { return m_lease; }

private:
    struct Subscriber {
        OscPeer peer;
        int socket = -1;
        bool levels = false;
        Clock::time_point expires;
    };
    // False when the subscriber's port refused it: the caller drops it.
    static bool deliver(const Subscriber& subscriber, const std::vector<char>& bytes);
    void dropAt(std::size_t index);

    std::chrono::milliseconds m_lease;
    std::vector<Subscriber> m_subscribers;
};

} // namespace mt
