#include "audio/JackFrameTime.h"

#include <jack/jack.h>

#include <vector>

namespace mt {
namespace {

// A client whose server has gone, kept for as long as the process lives: libjack must never
// close it (see MidiPorts::abandonPorts).
void KeepForGood(jack_client_t* client) {
    static auto* const kept = new std::vector<jack_client_t*>();
    kept->push_back(client);
}

} // namespace

std::unique_ptr<JackFrameTime> JackFrameTime::open() {
    std::unique_ptr<JackFrameTime> time(new JackFrameTime);
    time->m_client = jack_client_open("Marrowtune frame time", JackNoStartServer, nullptr);
    if (time->m_client == nullptr) {
        return nullptr;
    }
    jack_on_shutdown(time->m_client, &JackFrameTime::serverGone, time.get());
    // A client that is not active may never hear that its server went.
    if (jack_activate(time->m_client) != 0) {
        return nullptr;
    }
    return time;
}

JackFrameTime::~JackFrameTime() {
    if (m_client == nullptr) {
        return;
    }
    if (m_gone.load()) {
        KeepForGood(m_client);
        return;
    }
    jack_client_close(m_client);
}

std::uint32_t JackFrameTime::cycleStart() const noexcept {
    return jack_last_frame_time(m_client);
}

void JackFrameTime::serverGone(void* self) {
    static_cast<JackFrameTime*>(self)->m_gone.store(true);
}

} // namespace mt
