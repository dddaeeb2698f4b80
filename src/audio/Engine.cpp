#include "audio/Engine.h"

#include "audio/AudioSource.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <utility>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace mt {
namespace {

// Flush-to-zero and denormals-are-zero for the scope of one render call; a decaying tail
// must never fall into the slow denormal range.
class DenormalGuard {
public:
#if defined(__SSE__)
    DenormalGuard() noexcept : m_saved(_mm_getcsr()) {
        _mm_setcsr(m_saved | 0x8040u);
    }
    ~DenormalGuard() {
        _mm_setcsr(m_saved);
    }

private:
    unsigned int m_saved;
#endif
};

} // namespace

Engine::Engine()
    : m_clock(std::make_shared<OutputClock>()),
      m_unheard(std::make_unique<float[]>(kMaxOutputChannels *
                                          static_cast<std::size_t>(kMaxBlockFrames))),
      m_meters(std::make_unique<SlotMeter[]>(kMaxSlots)),
      m_bus(std::make_unique<float[]>(2 * static_cast<std::size_t>(kMaxBlockFrames))),
      m_trackBus(std::make_unique<float[]>(std::size_t{2} * kTrackOutputs * kMaxBlockFrames)),
      m_formatBlock(std::make_unique<float[]>(kMaxOutputChannels *
                                              static_cast<std::size_t>(kMaxBlockFrames))) {
    prepare(44100, 2, 16, 256);
}

Engine::~Engine() {
    m_clock->clearDevicePlace();
    m_clock->clearHostPlace();
    m_clock->setRate(0);
}

void Engine::prepare(int sampleRate, int channels, int bits, int blockFrames) {
    m_sampleRate = std::max(sampleRate, 1);
    m_channels = std::clamp(channels, 1, 2);
    m_bits = bits;
    m_blockFrames = std::clamp(blockFrames, kMinBlockFrames, kMaxBlockFrames);
    m_fadeFrames = std::max(1, static_cast<int>(std::lround(kFadeSeconds * m_sampleRate)));
    m_clock->setRate(m_sampleRate);
    m_meterWindowFrames =
        std::max(1, static_cast<int>(std::lround(kMeterWindowSeconds * m_sampleRate)));
    for (AudioSource* s : m_sources) {
        if (s != nullptr) {
            s->prepare(m_sampleRate, 2, static_cast<std::size_t>(m_blockFrames));
        }
    }
    setDeviceRate(m_deviceRate);
}

void Engine::setDeviceRate(int deviceRate) {
    m_deviceRate = deviceRate == m_sampleRate ? 0 : std::max(deviceRate, 0);
    m_step = m_deviceRate > 0 ? static_cast<double>(m_sampleRate) / m_deviceRate : 1.0;
    m_formatFrames = 0;
    m_formatNext = 0;
    m_history.fill(0.0f);
    m_phase = 0.0;
    m_deviceFrameKnown = false;
    m_hostTime.reset();
}

void Engine::setTrackOutputs(bool on) {
    if (on != m_trackOutputs) {
        m_trackOutputs = on;
        setDeviceRate(m_deviceRate == 0 ? m_sampleRate : m_deviceRate); // a block of new width
    }
}

bool Engine::post(const EngineCommand& command) noexcept {
    return m_commands.push(command);
}

bool Engine::collect(EngineReturn& item) noexcept {
    return m_returns.pop(item);
}

void Engine::applyPending() noexcept {
    EngineCommand c;
    while (m_commands.pop(c)) {
        accept(c);
    }
}

std::int64_t Engine::frameHorizon() const noexcept {
    // A render may be mixing past the published count now, without this command; the next
    // render takes it. A block more covers a caller that posts a moment after asking.
    return frameCount() + 2 * m_lastRenderFrames.load(std::memory_order_relaxed) + m_blockFrames;
}

void Engine::accept(const EngineCommand& c) noexcept {
    const bool timed = c.kind == EngineCommand::Kind::Play || c.kind == EngineCommand::Kind::Stop;
    if (timed && c.atFrame > m_frame && m_scheduledCount < kMaxScheduled) {
        m_scheduled[static_cast<std::size_t>(m_scheduledCount++)] = c;
        return; // a full table plays the command now rather than lose it
    }
    if (!timed && c.kind != EngineCommand::Kind::SetGain &&
        c.kind != EngineCommand::Kind::SetFrequency && c.kind != EngineCommand::Kind::Route) {
        // Cancel, and a buffer attached or released: nothing waiting for the slot survives.
        int kept = 0;
        for (int i = 0; i < m_scheduledCount; ++i) {
            const EngineCommand& w = m_scheduled[static_cast<std::size_t>(i)];
            if (w.slot != c.slot || c.kind == EngineCommand::Kind::AddSource ||
                c.kind == EngineCommand::Kind::RemoveSource) {
                m_scheduled[static_cast<std::size_t>(kept++)] = w;
            }
        }
        m_scheduledCount = kept;
    }
    apply(c);
}

std::int64_t Engine::applyDue() noexcept {
    for (;;) {
        // The earliest waiting command; among equal frames the first posted.
        int first = -1;
        for (int i = 0; i < m_scheduledCount; ++i) {
            if (first < 0 || m_scheduled[static_cast<std::size_t>(i)].atFrame <
                                 m_scheduled[static_cast<std::size_t>(first)].atFrame) {
                first = i;
            }
        }
        if (first < 0) {
            return std::numeric_limits<std::int64_t>::max();
        }
        const EngineCommand c = m_scheduled[static_cast<std::size_t>(first)];
        if (c.atFrame > m_frame) {
            return c.atFrame;
        }
        std::copy(m_scheduled.begin() + first + 1, m_scheduled.begin() + m_scheduledCount,
                  m_scheduled.begin() + first);
        --m_scheduledCount;
        apply(c);
    }
}

VoiceStatus Engine::status(int slot) const noexcept {
    if (slot < 0 || slot >= kMaxSlots) {
        return {};
    }
    const SlotMeter& m = m_meters[static_cast<std::size_t>(slot)];
    return {m.playing.load(std::memory_order_relaxed), m.position.load(std::memory_order_relaxed),
            m.peak.load(std::memory_order_relaxed)};
}

void Engine::cutToTail(Voice& v) noexcept {
    if (!v.playing) {
        return;
    }
    // A full tail table loses its most faded member rather than the new sound.
    Voice* free = nullptr;
    for (Voice& t : m_tails) {
        if (!t.playing) {
            free = &t;
            break;
        }
        if (free == nullptr || t.fadeLevel() < free->fadeLevel()) {
            free = &t;
        }
    }
    if (free->playing) {
        unref(free->slot);
    }
    *free = v;
    ++m_refs[static_cast<std::size_t>(v.slot)];
    if (!free->fading) {
        free->beginFade(m_fadeFrames);
    }
    v.playing = false;
}

void Engine::unref(int slot) noexcept {
    auto& refs = m_refs[static_cast<std::size_t>(slot)];
    if (refs > 0 && --refs == 0) {
        EngineReturn r;
        r.kind = EngineReturn::Kind::SlotFree;
        r.slot = static_cast<std::uint16_t>(slot);
        m_returns.push(r); // sized for every slot at once
    }
}

void Engine::apply(const EngineCommand& c) noexcept {
    if (c.kind == EngineCommand::Kind::AddSource || c.kind == EngineCommand::Kind::RemoveSource) {
        for (AudioSource*& s : m_sources) {
            if (c.kind == EngineCommand::Kind::AddSource && s == nullptr) {
                s = c.source;
                return;
            }
            if (c.kind == EngineCommand::Kind::RemoveSource && s == c.source) {
                s = nullptr;
                break;
            }
        }
        EngineReturn r;
        r.kind = EngineReturn::Kind::SourceRemoved;
        r.source = c.source;
        m_returns.push(r);
        return;
    }
    if (c.slot >= kMaxSlots) {
        return;
    }
    Voice& v = m_voices[c.slot];
    const double rate = m_sampleRate;
    switch (c.kind) {
    case EngineCommand::Kind::Attach:
        v = Voice{};
        v.buffer = c.buffer;
        v.slot = c.slot;
        v.frequency = c.buffer != nullptr ? c.buffer->sampleRate() : rate;
        v.settle(rate);
        m_refs[c.slot] = 1;
        m_meters[c.slot].running = m_meters[c.slot].previous = 0.0f; // a new sound's meter
        m_meters[c.slot].peak.store(0.0f, std::memory_order_relaxed);
        break;
    case EngineCommand::Kind::Release:
        cutToTail(v);
        v.buffer = nullptr;
        unref(c.slot);
        break;
    case EngineCommand::Kind::Play:
        if (v.buffer != nullptr) {
            cutToTail(v);
            v.targetLeft = c.gainLeft;
            v.targetRight = c.gainRight;
            v.frequency = c.frequency;
            v.startFrom(c.startIndex, c.loop, rate);
        }
        break;
    case EngineCommand::Kind::Stop:
        cutToTail(v);
        v.index = 0;
        v.frac = 0.0;
        break;
    case EngineCommand::Kind::SetGain:
        v.targetLeft = c.gainLeft;
        v.targetRight = c.gainRight;
        if (!v.playing) {
            v.settle(rate);
        }
        break;
    case EngineCommand::Kind::SetFrequency:
        v.frequency = c.frequency;
        if (!v.playing) {
            v.settle(rate);
        }
        break;
    case EngineCommand::Kind::Route:
        // A sound already fading out goes on where it went.
        v.output = c.output >= 0 && c.output < kTrackOutputs ? c.output : -1;
        break;
    case EngineCommand::Kind::AddSource:
    case EngineCommand::Kind::RemoveSource:
    case EngineCommand::Kind::Cancel:
        break;
    }
}

void Engine::mixBlock(int frames) noexcept {
    float* bus = m_bus.get();
    std::fill(bus, bus + 2 * static_cast<std::ptrdiff_t>(frames), 0.0f);
    if (m_trackOutputs) {
        for (int t = 0; t < kTrackOutputs; ++t) {
            float* track = m_trackBus.get() + 2 * static_cast<std::ptrdiff_t>(t) * kMaxBlockFrames;
            std::fill(track, track + 2 * static_cast<std::ptrdiff_t>(frames), 0.0f);
        }
    }
    for (int done = 0; done < frames;) {
        const std::int64_t next = applyDue();
        const int part = static_cast<int>(std::min<std::int64_t>(frames - done, next - m_frame));
        mixVoices(done, part);
        done += part;
        m_frame += part;
    }
    m_clock->setFrames(m_frame);
}

void Engine::mixVoices(int offset, int frames) noexcept {
    const double rate = m_sampleRate;
    float* bus = m_bus.get() + 2 * static_cast<std::ptrdiff_t>(offset);
    // The stereo bus a voice feeds beside the main one; null for none.
    const auto trackOf = [this, offset](const Voice& v) -> float* {
        if (!m_trackOutputs || v.output < 0) {
            return nullptr;
        }
        return m_trackBus.get() +
               2 * (static_cast<std::ptrdiff_t>(v.output) * kMaxBlockFrames + offset);
    };
    for (std::size_t i = 0; i < m_voices.size(); ++i) {
        Voice& v = m_voices[i];
        if (v.buffer == nullptr) {
            continue;
        }
        const float peak = v.renderAdd(bus, frames, rate, trackOf(v));
        if (!v.playing) {
            // A one-shot that ran out is ready to play again from its start.
            v.index = 0;
            v.frac = 0.0;
        }
        SlotMeter& m = m_meters[i];
        m.running = std::max(m.running, peak);
        m.playing.store(v.playing, std::memory_order_relaxed);
        m.position.store(v.index, std::memory_order_relaxed);
        m.peak.store(std::max(m.running, m.previous), std::memory_order_relaxed);
    }
    for (Voice& t : m_tails) {
        if (!t.playing) {
            continue;
        }
        t.renderAdd(bus, frames, rate, trackOf(t));
        if (!t.playing) {
            unref(t.slot);
        }
    }
    for (AudioSource* s : m_sources) {
        if (s != nullptr) {
            s->renderAdd(bus, static_cast<std::size_t>(frames));
        }
    }
}

void Engine::writeOutput(float* out, int frames) noexcept {
    float* bus = m_bus.get();
    if (m_channels == 1) {
        for (std::ptrdiff_t n = 0; n < frames; ++n) {
            bus[n] = 0.5f * (bus[2 * n] + bus[2 * n + 1]);
        }
    }
    const int samples = frames * m_channels;
    if (m_bits == 8) {
        // Triangular dither of one 8-bit step, then the step itself.
        for (int i = 0; i < samples; ++i) {
            m_dither ^= m_dither << 13;
            m_dither ^= m_dither >> 17;
            m_dither ^= m_dither << 5;
            const float u1 = static_cast<float>(m_dither & 0xffffu) / 65536.0f;
            const float u2 = static_cast<float>(m_dither >> 16) / 65536.0f;
            bus[i] = std::floor(bus[i] * 128.0f + (u1 - u2) + 0.5f) / 128.0f;
        }
    }
    float peak = 0.0f;
    const int stride = outputChannels();
    if (stride == m_channels) {
        for (int i = 0; i < samples; ++i) {
            peak = std::max(peak, std::fabs(bus[i]));
            out[i] = std::clamp(bus[i], -1.0f, 1.0f);
        }
        advanceMeters(frames, peak);
        return;
    }
    for (std::ptrdiff_t n = 0; n < frames; ++n) {
        float* frame = out + n * stride;
        for (int c = 0; c < m_channels; ++c) {
            const float x = bus[n * m_channels + c];
            peak = std::max(peak, std::fabs(x));
            frame[c] = std::clamp(x, -1.0f, 1.0f);
        }
        for (int t = 0; t < kTrackOutputs; ++t) {
            const float* track = m_trackBus.get() + 2 * (t * std::ptrdiff_t{kMaxBlockFrames} + n);
            frame[m_channels + 2 * t] = track[0];
            frame[m_channels + 2 * t + 1] = track[1];
        }
    }
    advanceMeters(frames, peak);
}

void Engine::advanceMeters(int frames, float masterPeak) noexcept {
    m_masterRunning = std::max(m_masterRunning, masterPeak);
    m_masterPeak.store(std::max(m_masterRunning, m_masterPrevious), std::memory_order_relaxed);
    m_meterFrames += frames;
    if (m_meterFrames < m_meterWindowFrames) {
        return;
    }
    m_meterFrames = 0;
    m_masterPrevious = std::exchange(m_masterRunning, 0.0f);
    for (int i = 0; i < kMaxSlots; ++i) {
        SlotMeter& m = m_meters[static_cast<std::size_t>(i)];
        m.previous = std::exchange(m.running, 0.0f);
    }
}

void Engine::renderConverted(float* out, std::size_t frames) noexcept {
    constexpr std::size_t kStride = kMaxOutputChannels; // between history frames
    const auto channels = static_cast<std::size_t>(outputChannels());
    const auto limited = static_cast<std::size_t>(m_channels); // the main ones
    for (std::size_t n = 0; n < frames; ++n) {
        while (m_phase >= 1.0) {
            if (m_formatNext >= m_formatFrames) {
                m_formatFrames = m_blockFrames;
                mixBlock(m_formatFrames);
                writeOutput(m_formatBlock.get(), m_formatFrames);
                m_formatNext = 0;
            }
            const float* frame =
                m_formatBlock.get() + static_cast<std::size_t>(m_formatNext++) * channels;
            for (std::size_t c = 0; c < channels; ++c) {
                m_history[c] = m_history[kStride + c];
                m_history[kStride + c] = m_history[2 * kStride + c];
                m_history[2 * kStride + c] = m_history[3 * kStride + c];
                m_history[3 * kStride + c] = frame[c];
            }
            m_phase -= 1.0;
        }
        const auto t = static_cast<float>(m_phase);
        for (std::size_t c = 0; c < channels; ++c) {
            const float xm1 = m_history[c];
            const float x0 = m_history[kStride + c];
            const float x1 = m_history[2 * kStride + c];
            const float x2 = m_history[3 * kStride + c];
            const float c1 = 0.5f * (x1 - xm1);
            const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
            const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
            const float y = ((c3 * t + c2) * t + c1) * t + x0;
            out[n * channels + c] = c < limited ? std::clamp(y, -1.0f, 1.0f) : y;
        }
        m_phase += m_step;
    }
}

double Engine::devicePosition() const noexcept {
    if (m_deviceRate == 0) {
        return static_cast<double>(m_frame);
    }
    // The next device frame is made between history frames 1 and 2, at m_phase; history frame
    // 3 is the block's frame m_formatNext - 1, and the block ends at m_frame. Taking frames
    // (and mixing the next block) as the phase passes 1 leaves this sum as it is.
    return static_cast<double>(m_frame - m_formatFrames + m_formatNext - 3) + m_phase;
}

void Engine::setDeviceFrame(std::uint32_t frame) noexcept {
    m_deviceFrame = frame;
    m_deviceFrameSet = true;
}

void Engine::setBlockListener(BlockListener* listener) noexcept {
    m_listener.store(listener, std::memory_order_seq_cst);
    while (m_inListener.load(std::memory_order_seq_cst)) {
        std::this_thread::yield(); // one listener call: a session read, microseconds
    }
}

void Engine::setCallbackTime(double micros) noexcept {
    m_callbackMicros = micros;
    m_callbackTimeSet = true;
}

void Engine::setOutputLatency(double seconds) noexcept {
    m_latencyMicros = std::max(seconds, 0.0) * 1e6;
}

void Engine::placeRender(std::size_t frames) noexcept {
    if (std::exchange(m_deviceFrameSet, false)) {
        // Frames the device played while no render came: mixed unheard, a block at a time.
        const auto skipped = static_cast<std::int32_t>(m_deviceFrame - m_nextDeviceFrame);
        if (m_deviceFrameKnown && skipped > 0 && skipped <= kMaxCatchUpFrames) {
            for (std::int32_t left = skipped; left > 0;) {
                const int n = std::min<int>(left, kMaxBlockFrames);
                renderMixed(m_unheard.get(), static_cast<std::size_t>(n));
                left -= n;
            }
            m_deviceCount += skipped;
        } else if (m_deviceFrameKnown && skipped != 0) {
            m_hostTime.reset(); // a new server, or one that stalled for long: a new line
        }
        m_clock->setDevicePlace(m_deviceFrame, devicePosition(), 1.0 / m_step);
        m_nextDeviceFrame = m_deviceFrame + static_cast<std::uint32_t>(frames);
        m_deviceFrameKnown = true;
    } else {
        m_clock->clearDevicePlace();
        m_deviceFrameKnown = false;
    }
    if (std::exchange(m_callbackTimeSet, false)) {
        const int deviceRate = m_deviceRate > 0 ? m_deviceRate : m_sampleRate;
        m_hostTime.add(m_deviceCount, m_callbackMicros);
        double micros = 0.0;
        double perFrame = 0.0;
        m_hostTime.place(m_deviceCount, 1e6 / deviceRate, micros, perFrame);
        m_clock->setHostPlace(devicePosition(), micros + m_latencyMicros, m_step / perFrame);
    } else {
        m_clock->clearHostPlace();
    }
    m_deviceCount += static_cast<double>(frames);
}

void Engine::render(float* out, std::size_t frames) noexcept {
    const DenormalGuard denormals;
    applyPending();
    placeRender(frames);
    // With setBlockListener, a store-then-load handshake on both sides (sequentially
    // consistent): either the setter sees this call under way and waits, or this call sees
    // the new listener.
    m_inListener.store(true, std::memory_order_seq_cst);
    if (BlockListener* listener = m_listener.load(std::memory_order_seq_cst)) {
        listener->renderStarts(m_frame, m_sampleRate, *m_clock);
    }
    m_inListener.store(false, std::memory_order_release);
    const std::int64_t before = m_frame;
    renderMixed(out, frames);
    m_lastRenderFrames.store(m_frame - before, std::memory_order_relaxed);
}

void Engine::renderMixed(float* out, std::size_t frames) noexcept {
    if (m_deviceRate > 0) {
        renderConverted(out, frames);
        return;
    }
    const auto channels = static_cast<std::size_t>(outputChannels());
    for (std::size_t done = 0; done < frames;) {
        const int n = static_cast<int>(
            std::min<std::size_t>(static_cast<std::size_t>(m_blockFrames), frames - done));
        mixBlock(n);
        writeOutput(out + done * channels, n);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace mt
