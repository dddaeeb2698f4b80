#pragma once

namespace mt {

class Engine;

struct OutputConfig {
    int sampleRate = 44100;
    int channels = 2;
    int blockFrames = 256;
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
};

} // namespace mt
