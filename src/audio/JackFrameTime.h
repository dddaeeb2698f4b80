#pragma once

#include <jack/types.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace mt {

// The JACK server's frame time for the audio callback, which RtAudio's client does not show:
// a client of our own with no ports and no process callback, so it takes no part in the
// server's cycles. Activated only to hear of the server's end.
class JackFrameTime {
public:
    // Null when no server answers. Any thread but the audio thread.
    static std::unique_ptr<JackFrameTime> open();
    // Closes the client; one whose server has gone is kept instead, for as long as the
    // process lives (libjack must never close it, see MidiPorts::abandonPorts).
    ~JackFrameTime();
    JackFrameTime(const JackFrameTime&) = delete;
    JackFrameTime& operator=(const JackFrameTime&) = delete;

    // Inside a JACK process callback. Never blocks (a read of the server's shared frame
    // timer). The frame time at the start of the cycle under way.
    std::uint32_t cycleStart() const noexcept;

private:
    JackFrameTime() = default;
    static void serverGone(void* self);

    jack_client_t* m_client = nullptr;
    std::atomic<bool> m_gone{false};
};

} // namespace mt
