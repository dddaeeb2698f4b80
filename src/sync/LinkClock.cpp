#include "sync/LinkClock.h"

#include "audio/OutputClock.h"
#include "core/FrameClock.h"

#include <ableton/Link.hpp>

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace mt {

namespace {

std::chrono::microseconds Micros(double micros) {
    return std::chrono::microseconds(std::llround(micros));
}

} // namespace

LinkClock::LinkClock(const FrameClock& frames, double bpm)
    : m_frames(frames), m_link(std::make_unique<ableton::Link>(std::clamp(bpm, kMinBpm, kMaxBpm))) {
    // Link is made disabled: nothing goes out on the network before setEnabled(true).
    m_link->setNumPeersCallback(
        [this](std::size_t peers) { m_peers.store(static_cast<int>(peers)); });
}

LinkClock::~LinkClock() = default;

void LinkClock::setEnabled(bool on) {
    m_link->enable(on);
    if (!on) {
        m_peers.store(0);
    }
}

bool LinkClock::enabled() const {
    return m_link->isEnabled();
}

void LinkClock::setBeatsPerBar(int beats) {
    m_quantum.store(static_cast<double>(std::max(beats, 1)));
}

void LinkClock::setStartStopSync(bool on) {
    m_link->enableStartStopSync(on);
    m_startStopSync.store(on);
}

void LinkClock::setPlaying(bool playing) {
    auto state = m_link->captureAppSessionState();
    state.setIsPlaying(playing, m_link->clock().micros());
    m_link->commitAppSessionState(state);
}

void LinkClock::renderStarts(std::int64_t frame, int rate, const OutputClock& clock) noexcept {
    double micros = 0.0;
    if (rate <= 0 || !clock.hostTimeOf(static_cast<double>(frame), micros)) {
        m_placed.store(false, std::memory_order_release);
        return;
    }
    const auto state = m_link->captureAudioSessionState();
    const double beat = state.beatAtTime(Micros(micros), m_quantum.load(std::memory_order_relaxed));
    // Each field is stored with release: a reader that takes one of them sees the odd count
    // stored before it. (No fences: ThreadSanitizer does not follow them.)
    const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(sequence + 1, std::memory_order_relaxed);
    m_frame.store(frame, std::memory_order_release);
    m_micros.store(micros, std::memory_order_release);
    m_beat.store(beat, std::memory_order_release);
    m_bpm.store(state.tempo(), std::memory_order_release);
    m_playing.store(state.isPlaying(), std::memory_order_release);
    m_sequence.store(sequence + 2, std::memory_order_release);
    m_placed.store(true, std::memory_order_release);
}

bool LinkClock::published(Snapshot& snapshot) const noexcept {
    if (!m_placed.load(std::memory_order_acquire)) {
        return false;
    }
    // The writer takes a few stores; a reader that keeps meeting it falls back to the session.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::uint32_t before = m_sequence.load(std::memory_order_acquire);
        if (before % 2 != 0) {
            continue;
        }
        snapshot.frame = m_frame.load(std::memory_order_acquire);
        snapshot.micros = m_micros.load(std::memory_order_acquire);
        snapshot.beat = m_beat.load(std::memory_order_acquire);
        snapshot.bpm = m_bpm.load(std::memory_order_acquire);
        snapshot.playing = m_playing.load(std::memory_order_acquire);
        if (m_sequence.load(std::memory_order_relaxed) == before) {
            return before != 0 && OutputClock::HostMicros() - snapshot.micros < kStaleMicros;
        }
    }
    return false;
}

LinkClock::Snapshot LinkClock::fromSession() const {
    Snapshot s;
    s.micros = OutputClock::HostMicros();
    if (const auto output = m_frames.outputClock()) {
        s.frame = output->frames();
        output->hostTimeOf(static_cast<double>(s.frame), s.micros);
    }
    const auto state = m_link->captureAppSessionState();
    s.beat = state.beatAtTime(Micros(s.micros), m_quantum.load());
    s.bpm = state.tempo();
    s.playing = state.isPlaying();
    return s;
}

ClockReading LinkClock::read() const {
    Snapshot s;
    if (!published(s)) {
        s = fromSession();
    }
    ClockReading r;
    r.peers = m_peers.load();
    r.present = m_link->isEnabled() && r.peers > 0;
    r.bpm = std::clamp(s.bpm, kMinBpm, kMaxBpm);
    // Out of range, the session's beats run at a tempo the beat clock does not take: only the
    // clamped tempo is followed.
    r.rolling = r.bpm == s.bpm && (!m_startStopSync.load() || s.playing);
    r.frame = s.frame;
    r.beat = s.beat;
    r.beatsPerBar = static_cast<int>(m_quantum.load());
    watch(s.bpm, r.bpm);
    return r;
}

void LinkClock::watch(double sessionBpm, double bpm) const {
    const double now = OutputClock::HostMicros();
    m_readTempos[m_nextRead] = {now, bpm};
    m_nextRead = (m_nextRead + 1) % m_readTempos.size();
    if (bpm != sessionBpm && !m_loggedRange) {
        m_loggedRange = true;
        qWarning("Link: the session's tempo %.2f BPM is outside %.0f..%.0f; followed at %.2f "
                 "with its beat left free (logged once)",
                 sessionBpm, kMinBpm, kMaxBpm, bpm);
    }
    if (bpm == m_lastBpm) {
        return;
    }
    m_lastBpm = bpm;
    // The oldest of the last kRestlessChanges changes within a second: it will not settle.
    const double oldest = m_changes[m_nextChange];
    m_changes[m_nextChange] = now;
    m_nextChange = (m_nextChange + 1) % m_changes.size();
    if (oldest > 0.0 && now - oldest < 1e6 && !m_loggedRestless) {
        m_loggedRestless = true;
        qWarning("Link: the session's tempo changed %zu times within a second (now %.2f BPM); "
                 "each change is followed as it comes (logged once)",
                 kRestlessChanges, bpm);
    }
}

void LinkClock::offerTempo(double bpm) {
    bpm = std::clamp(bpm, kMinBpm, kMaxBpm);
    const double now = OutputClock::HostMicros();
    for (const ReadTempo& seen : m_readTempos) {
        if (now - seen.micros < kEchoMicros && std::fabs(seen.bpm - bpm) < kSameBpm) {
            return;
        }
    }
    auto state = m_link->captureAppSessionState();
    if (std::fabs(state.tempo() - bpm) < kSameBpm) {
        return;
    }
    state.setTempo(bpm, m_link->clock().micros());
    m_link->commitAppSessionState(state);
}

} // namespace mt
