#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace mt {

class Engine;
struct OutputChoice;

// The device block as a time: latency must not follow the chosen sample rate.
inline constexpr double kDefaultBlockSeconds = 0.003;

// The power of two of 32..4096 frames nearest (on a log scale) to `seconds` at `rate` Hz:
// 64 frames at 22.05 kHz, 128 at 44.1 and 48 kHz for the default.
inline int BlockFramesFor(int rate, double seconds) {
    const double frames = std::max(1.0, seconds * std::max(rate, 1));
    const int power = std::clamp(static_cast<int>(std::lround(std::log2(frames))), 5, 12);
    return 1 << power;
}

struct OutputConfig {
    int sampleRate = 44100;
    int channels = 2;
    int blockFrames = 128; // about 3 ms
};

// How the sound device keeps up, for the performer's status line.
struct OutputHealth {
    std::string api;             // "pulse", "jack", "alsa", "offline"; empty with no stream
    int pipewireQuantum = 0;     // "jack" served by PipeWire: the period asked, frames at 48 kHz
    bool pipewire = false;       // the server is PipeWire (its PulseAudio or JACK side)
    int deviceRate = 0;          // Hz
    int blockFrames = 0;         // frames per callback
    double latencySeconds = 0.0; // one block plus what the server queues ahead of it
    std::uint32_t underruns = 0; // since the stream opened
    float load = 0.0f;           // the largest callback time / block period since the last read
    bool alive = true;           // false once the stream has died
};

// Where the engine's blocks go: a sound device, or a test that pulls them.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // UI thread. May block while the device opens. Opens the stream in `config` and starts
    // calling engine.render() from its own thread. False, and closed, when the device refuses.
    virtual bool open(const OutputConfig& config, Engine& engine) = 0;

    // UI thread. May block until the running callback returns; afterwards render() is not
    // called again until the next open(). Harmless when already closed.
    virtual void close() noexcept = 0;

    // As open(), but the stream renders silence and leaves the engine alone until resume():
    // another thread may open it while the UI thread still stands in for the audio thread.
    // One thread at a time; may block.
    virtual bool openHeld(const OutputConfig& config, Engine& engine) {
        return open(config, engine);
    }

    // UI thread. Never blocks. After openHeld(): the engine renders from the next block on.
    virtual void resume() noexcept {}

    // UI thread. The stream stops rendering the engine (it plays silence, if it still plays);
    // once this returns no render() runs, so this thread may stand in for the audio thread.
    // Waits at most for one render to finish.
    virtual void hold() noexcept {}

    // UI thread. The rate the open stream really runs at: the configured one, or the device's
    // own when it will not take that (the engine then converts).
    virtual int deviceRate() const noexcept = 0;

    // UI thread. Whether the open stream carries a stereo pair per track after the main
    // channels (Engine::setTrackOutputs); the library sets the engine to match before resume().
    virtual bool trackOutputs() const noexcept { return false; }

    // UI thread. Never blocks. Reading takes the peak load, so the next read starts afresh.
    virtual OutputHealth health() noexcept { return {}; }

    // UI thread, while closed. Which audio system and device the next open() uses; an output
    // with no such choice ignores it.
    virtual void choose(const OutputChoice& /*choice*/) {}

    // UI thread. Never blocks. False once the open stream has died (its server went away, its
    // device was unplugged); the library then reopens it.
    virtual bool alive() noexcept { return true; }

    // UI thread. Never blocks. True when the audio system chosen first, which had no server
    // when the stream opened elsewhere, answers now (a JACK or PulseAudio server started or came
    // back): the library then reopens the stream on it.
    virtual bool preferredBack() { return false; }
};

} // namespace mt
