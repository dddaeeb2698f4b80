#pragma once

#include "audio/AudioOutput.h"
#include "audio/Engine.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace mt {

// An output with no device: the caller pulls rendered blocks, on whichever single thread it
// chooses to act as the audio thread. Used by tests, benchmarks and offline renders.
class OfflineOutput final : public AudioOutput {
public:
    // Which formats the pretend device takes; by default any rate of 1 kHz..400 kHz and one or
    // two channels.
    using FormatFilter = std::function<bool(const OutputConfig&)>;

    OfflineOutput() = default;
    explicit OfflineOutput(FormatFilter accepts) : m_accepts(std::move(accepts)) {}
    // A pretend device that runs at `rate` whatever it is asked for, as a JACK server does.
    static std::unique_ptr<OfflineOutput> AtOwnRate(int rate);

    bool open(const OutputConfig& config, Engine& engine) override;
    void close() noexcept override { m_engine = nullptr; }

    // The pretend audio thread. Never blocks or allocates. Renders `frames` frames into
    // `out` (interleaved, the engine's outputChannels()), in device blocks of the configured size;
    // silence when closed.
    void pull(float* out, std::size_t frames) noexcept;

    // Convenience for tests: allocates and renders.
    std::vector<float> render(std::size_t frames);

    OutputHealth health() noexcept override;
    int deviceRate() const noexcept override {
        return m_ownRate > 0 ? m_ownRate : m_config.sampleRate;
    }
    bool alive() noexcept override { return m_alive; }
    // A pretend device with any number of ports: track outputs whenever they are chosen.
    void choose(const OutputChoice& choice) override;
    bool trackOutputs() const noexcept override { return m_separate && m_engine != nullptr; }

    const OutputConfig& config() const noexcept { return m_config; }
    // The engine's frame clock (Engine::frameCount); 0 when closed.
    std::int64_t frameCount() const noexcept { return m_engine ? m_engine->frameCount() : 0; }
    bool isOpen() const noexcept { return m_engine != nullptr; }

    // Plays a device that died, as health() and alive() report it; the next open() brings it
    // back when the filter takes the format.
    void setAlive(bool alive) noexcept { m_alive = alive; }

private:
    FormatFilter m_accepts;
    OutputConfig m_config;
    Engine* m_engine = nullptr;
    bool m_alive = true;
    int m_ownRate = 0; // 0: the device takes the configured rate
    bool m_separate = false;
};

} // namespace mt
