#include "audio/OutputChoice.h"

#include <algorithm>
#include <cmath>

namespace mt {

const char* AudioSystemKey(AudioSystem system) noexcept {
    switch (system) {
    case AudioSystem::Jack:
        return "jack";
    case AudioSystem::Pulse:
        return "pulse";
    case AudioSystem::Alsa:
        return "alsa";
    case AudioSystem::Automatic:
        break;
    }
    return "auto";
}

AudioSystem AudioSystemFromKey(const std::string& key) noexcept {
    for (const AudioSystem s : {AudioSystem::Jack, AudioSystem::Pulse, AudioSystem::Alsa}) {
        if (key == AudioSystemKey(s)) {
            return s;
        }
    }
    return AudioSystem::Automatic;
}

int PulseQueueMs(double blockSeconds) noexcept {
    // RtAudio writes a whole block at a time, and a queue of barely one block runs dry before
    // the next write lands; below 10 ms the server's own wake-ups break it up (measured).
    return std::max(10, static_cast<int>(std::ceil(3000.0 * blockSeconds - 1e-9)));
}

double PlayedBlockSeconds(AudioSystem system, double blockSeconds, bool pipewire) noexcept {
    const bool pulse = system == AudioSystem::Pulse || system == AudioSystem::Automatic;
    return pulse && pipewire ? std::max(blockSeconds, kPipeWirePulseBlockSeconds) : blockSeconds;
}

double ExpectedLatency(AudioSystem system, double blockSeconds, bool pipewire) noexcept {
    if (system == AudioSystem::Pulse || system == AudioSystem::Automatic) {
        blockSeconds = PlayedBlockSeconds(system, blockSeconds, pipewire);
        return blockSeconds + PulseQueueMs(blockSeconds) / 1000.0;
    }
    return 2.0 * blockSeconds;
}

} // namespace mt
