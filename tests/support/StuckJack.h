#pragma once

// A libjack that never comes back from opening a client, as when a dead JACK client left the
// metadata database's lock held; the probe's thread is let go, and libjack restored, at the end.
#include "platform/JackProbe.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace mt::test {

class StuckJack {
public:
    StuckJack() {
        SetJackOpenForTests([state = m_state] {
            ++state->opens;
            std::unique_lock lock(state->mutex);
            state->changed.wait(lock, [&] { return state->released; });
            state->left = true;
            state->changed.notify_all();
            return false;
        });
    }
    ~StuckJack() {
        SetJackOpenForTests({});
        std::unique_lock lock(m_state->mutex);
        m_state->released = true;
        m_state->changed.notify_all();
        m_state->changed.wait(lock, [&] { return m_state->left || m_state->opens == 0; });
    }
    StuckJack(const StuckJack&) = delete;
    StuckJack& operator=(const StuckJack&) = delete;

    // How many times libjack was asked to open a client.
    int opens() const { return m_state->opens.load(); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        bool left = false;
        std::atomic<int> opens{0};
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace mt::test
