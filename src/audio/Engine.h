#pragma once

#include "audio/BlockListener.h"
#include "audio/EngineCommand.h"
#include "audio/HostTimeFilter.h"
#include "audio/OutputClock.h"
#include "audio/SpscRing.h"
#include "audio/Voice.h"
#include "audio/VoiceStatus.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mt {

// The realtime mixer: up to kMaxSlots sound buffers, each with one voice, plus fading tails
// and further AudioSources, mixed into a stereo bus and written to the device's format.
//
// Realtime contract of render(): noexcept; takes no lock, allocates nothing, does no I/O and
// no logging; every array is sized at construction. All control arrives through the command
// ring, drained at the top of each call; buffers and sources the engine has finished with
// leave through the return ring and are deleted by the UI thread. Denormals are flushed while
// it runs. Gain, pan and speed glide across one block; play over a sounding buffer, stop and
// release fade the old sound out over kFadeSeconds, so nothing the engine does clicks.
class Engine {
public:
    static constexpr int kMaxSlots = 256;
    static constexpr int kMaxTails = 64;
    static constexpr int kMaxSources = 8;
    static constexpr int kMaxScheduled = 64; // Play and Stop waiting for their frame
    static constexpr int kMaxBlockFrames = 4096;
    static constexpr int kMinBlockFrames = 32;
    static constexpr double kFadeSeconds = 0.003;
    static constexpr int kMaxCatchUpFrames = 8 * kMaxBlockFrames;
    // With track outputs on, each of these has a stereo pair of its own after the main ones.
    static constexpr int kTrackOutputs = 8;
    static constexpr int kMaxOutputChannels = 2 + 2 * kTrackOutputs;
    // The levels meters read are the largest over the last one to two of these: a reader at
    // display rate (~30 Hz) sees every peak, and one that stopped is read as silence soon.
    static constexpr double kMeterWindowSeconds = 0.04;

    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // UI thread, only while nothing renders (the output closed). Sets the device format and
    // the block across which changes glide; voices keep their place and their frequency in Hz.
    // `bits` = 8 quantises the output to 8 bits with triangular dither.
    void prepare(int sampleRate, int channels, int bits, int blockFrames);

    // UI thread, only while nothing renders. The rate the device runs at, when it will not run
    // at the prepared one (a JACK server at 48 kHz, a system without 11.025 kHz): the mix is
    // still made at the prepared rate, quantised and mixed down as prepared, then converted
    // (4-point Hermite) to this rate, so the output format sounds as chosen. 0 or the
    // prepared rate: no conversion.
    void setDeviceRate(int deviceRate);

    // UI thread, only while nothing renders. With `on`, every render writes, after the main
    // channels, one stereo pair per track output (kTrackOutputs of them): the voices routed
    // to that output (Route), after their gain and pan, as the main mix takes them, and not
    // limited; converted to the device's rate as the main channels are, and not quantised or
    // mixed down. The main channels stay exactly as without. Off by default.
    void setTrackOutputs(bool on);

    // UI thread only. Never blocks. False when the ring is full; the caller retries later.
    bool post(const EngineCommand& command) noexcept;

    // UI thread only. Never blocks. False when nothing is waiting.
    bool collect(EngineReturn& item) noexcept;

    // UI thread, only while nothing renders: applies every queued command now, as the next
    // block would. Used before the output reopens so no request is lost across it.
    void applyPending() noexcept;

    // Audio thread only. Never blocks. Writes `frames` interleaved frames of outputChannels().
    void render(float* out, std::size_t frames) noexcept;
    // Audio thread only, right before render(). Never blocks. The device's own frame clock
    // (JACK's frame time) at the first frame the render writes: the output clock places the
    // engine's frames on it. A render without it says the device has none.
    // A device frame later than the last render's end means the device skipped cycles (an
    // xrun): the engine mixes those frames unheard, so its frames, and the beat clock's grid
    // on them, keep the device's time (up to kMaxCatchUpFrames at once).
    void setDeviceFrame(std::uint32_t frame) noexcept;
    // Audio thread only, right before render(). The host time (OutputClock::HostMicros) at
    // which the callback began: the output clock places the engine's frames on the host's
    // clock from these, smoothed, plus the output's latency.
    void setCallbackTime(double micros) noexcept;
    // UI thread, only while nothing renders. How long after its callback begins a block's
    // first frame is heard.
    void setOutputLatency(double seconds) noexcept;
    // Any thread but the audio thread. `listener` hears of every render from now on; null for
    // none. Returns once the one it replaces is no longer being called, so that one may go.
    void setBlockListener(BlockListener* listener) noexcept;

    // Any thread. Never blocks.
    VoiceStatus status(int slot) const noexcept;

    // Any thread. Never blocks. The largest absolute sample of the whole output, before it is
    // limited to full scale (above 1: clipped), over the meter window as for status().peak.
    float masterPeak() const noexcept { return m_masterPeak.load(std::memory_order_relaxed); }

    // Any thread. Never blocks. The frames mixed since the engine was made, at the prepared
    // rate: the clock a scheduled command's atFrame counts in.
    std::int64_t frameCount() const noexcept { return m_clock->frames(); }
    // Any thread. Never blocks. The first frame a command posted now is certain to act at
    // exactly: past the render that may be under way and the next one.
    std::int64_t frameHorizon() const noexcept;

    // Any thread. The engine's frames as other threads place them; kept by its holders after
    // the engine has gone.
    std::shared_ptr<const OutputClock> outputClock() const noexcept { return m_clock; }

    int sampleRate() const noexcept { return m_sampleRate; }
    int channels() const noexcept { return m_channels; }
    int blockFrames() const noexcept { return m_blockFrames; }
    bool trackOutputs() const noexcept { return m_trackOutputs; }
    // The prepared channels, and a pair per track output when they are on.
    int outputChannels() const noexcept {
        return m_channels + (m_trackOutputs ? 2 * kTrackOutputs : 0);
    }

private:
    struct SlotMeter {
        std::atomic<bool> playing{false};
        std::atomic<std::int64_t> position{0};
        std::atomic<float> peak{0.0f};
        float running = 0.0f;  // audio thread only: the largest within the current window
        float previous = 0.0f; // and within the window before
    };

    void apply(const EngineCommand& c) noexcept;
    // A command with a frame still ahead waits; the rest apply now.
    void accept(const EngineCommand& c) noexcept;
    // Applies the waiting commands whose frame has come, in frame order; returns the frame of
    // the next one still waiting (INT64_MAX for none).
    std::int64_t applyDue() noexcept;
    void cutToTail(Voice& v) noexcept;
    void unref(int slot) noexcept;
    // Mixes `frames` into the bus, split at the frames scheduled commands wait for.
    void mixBlock(int frames) noexcept;
    // Mixes `frames` frames from bus frame `offset` on.
    void mixVoices(int offset, int frames) noexcept;
    void writeOutput(float* out, int frames) noexcept;
    void renderMixed(float* out, std::size_t frames) noexcept;
    void renderConverted(float* out, std::size_t frames) noexcept;
    // The engine's position, fractional when converting, of the device frame the next
    // render writes first.
    double devicePosition() const noexcept;
    // Places this render on the device's clock (mixing what a skipped cycle missed first)
    // and on the host's.
    void placeRender(std::size_t frames) noexcept;
    void advanceMeters(int frames, float masterPeak) noexcept;

    SpscRing<EngineCommand, 1024> m_commands;
    SpscRing<EngineReturn, 512> m_returns; // holds every slot and source at once: never full

    std::array<Voice, kMaxSlots> m_voices{};
    std::array<int, kMaxSlots> m_refs{}; // the slot itself plus its tails; 0 = free
    std::array<Voice, kMaxTails> m_tails{};
    std::array<AudioSource*, kMaxSources> m_sources{};
    std::array<EngineCommand, kMaxScheduled> m_scheduled{};
    int m_scheduledCount = 0;
    std::int64_t m_frame = 0;             // audio thread: frames mixed so far
    std::shared_ptr<OutputClock> m_clock; // m_frame published, and where the device plays it
    std::uint32_t m_deviceFrame = 0;      // audio thread: setDeviceFrame's, for the next render
    bool m_deviceFrameSet = false;
    std::uint32_t m_nextDeviceFrame = 0; // audio thread: where the last render ended
    bool m_deviceFrameKnown = false;
    double m_deviceCount = 0.0;         // audio thread: device frames, skipped ones too
    std::unique_ptr<float[]> m_unheard; // what a skipped cycle missed, mixed unheard
    double m_callbackMicros = 0.0;      // audio thread: setCallbackTime's
    bool m_callbackTimeSet = false;
    double m_latencyMicros = 0.0;
    HostTimeFilter m_hostTime; // audio thread only
    std::atomic<BlockListener*> m_listener{nullptr};
    std::atomic<bool> m_inListener{false};           // the audio thread is calling m_listener
    std::atomic<std::int64_t> m_lastRenderFrames{0}; // mix frames the last render call took
    std::unique_ptr<SlotMeter[]> m_meters;
    std::unique_ptr<float[]> m_bus; // stereo, kMaxBlockFrames frames
    // kTrackOutputs stereo buses of kMaxBlockFrames frames one after the other; mixed only
    // with m_trackOutputs.
    std::unique_ptr<float[]> m_trackBus;
    bool m_trackOutputs = false;

    // The meter window, audio thread only but for the published atomic.
    int m_meterFrames = 0;       // frames into the current window
    int m_meterWindowFrames = 0; // its length at the prepared rate
    float m_masterRunning = 0.0f;
    float m_masterPrevious = 0.0f;
    std::atomic<float> m_masterPeak{0.0f};

    // Rate conversion to the device, audio thread only (reset by prepare and setDeviceRate).
    std::unique_ptr<float[]> m_formatBlock; // one block of outputChannels(), interleaved
    int m_formatFrames = 0;                 // frames in it
    int m_formatNext = 0;                   // the next one to take
    // 4 frames around the read point, kMaxOutputChannels apart.
    std::array<float, std::size_t{4} * kMaxOutputChannels> m_history{};
    double m_phase = 0.0; // between history frames 1 and 2, 0..1
    double m_step = 1.0;  // format frames per device frame
    int m_deviceRate = 0; // 0: the device runs at m_sampleRate

    int m_sampleRate = 44100;
    int m_channels = 2;
    int m_bits = 16;
    int m_blockFrames = 256;
    int m_fadeFrames = 132;
    std::uint32_t m_dither = 0x9e3779b9u; // xorshift state; audio thread only
};

} // namespace mt
