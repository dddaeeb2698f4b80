#pragma once

#include "audio/AudioOutput.h"

#include <string>

namespace mt {

// Which audio system carries the output; Automatic tries JACK (when a server runs), then
// PulseAudio, then ALSA. A chosen one is tried first, the others after it.
enum class AudioSystem { Automatic, Jack, Pulse, Alsa };

// The performer's choice of output, kept in the program's own settings: the audio system,
// the device by its name (empty, or a name no longer present: the system's default), the
// block as a time, and whether each track gets a stereo pair of its own beside the main one.
// Only a JACK stream has those; elsewhere the wish is kept for when JACK is there again.
struct OutputChoice {
    AudioSystem system = AudioSystem::Automatic;
    std::string device;
    double blockSeconds = kDefaultBlockSeconds;
    bool separateOutputs = false;

    bool operator==(const OutputChoice&) const = default;
};

// The block lengths offered, in seconds, shortest first; the default among them.
inline constexpr double kBlockPresets[] = {0.0015, 0.003, 0.006, 0.012, 0.024};

// The settings' word for a system ("auto", "jack", "pulse", "alsa") and back; an unknown word
// is Automatic.
const char* AudioSystemKey(AudioSystem system) noexcept;
AudioSystem AudioSystemFromKey(const std::string& key) noexcept;

// The shortest block PipeWire's PulseAudio side plays without dropouts, in seconds: it takes a
// client's sound in quanta of 256 frames (5.3 ms) or more, and shorter blocks, even with a
// longer queue, dropped out several times a minute (measured).
inline constexpr double kPipeWirePulseBlockSeconds = 0.012;

// The block played for the one chosen: on PipeWire's PulseAudio side at least the above.
double PlayedBlockSeconds(AudioSystem system, double blockSeconds, bool pipewire) noexcept;

// What the performer will hear as delay with this block on this system, in seconds: the block
// played plus the queue the server is asked for (PulseAudio: three blocks, at least 10 ms; JACK
// and ALSA: one more period).
double ExpectedLatency(AudioSystem system, double blockSeconds, bool pipewire = false) noexcept;

// The queue RtAudio's PulseAudio stream is asked to keep, in milliseconds, for this block.
int PulseQueueMs(double blockSeconds) noexcept;

} // namespace mt
