#include "core/BeatClock.h"

#include <algorithm>
#include <cmath>

namespace mt {

BeatClock::BeatClock(const FrameClock& frames) : m_frames(frames), m_rate(frames.frameRate()) {
    m_poll.setInterval(kFollowMs);
    connect(&m_poll, &QTimer::timeout, this, &BeatClock::poll);
}

void BeatClock::attach(TempoSource source, ExternalClock* clock) {
    m_externals[static_cast<std::size_t>(source)] = clock;
    poll();
}

ExternalClock* BeatClock::followed() const {
    return IsExternal(m_source) ? m_externals[static_cast<std::size_t>(m_source)] : nullptr;
}

void BeatClock::poll() {
    const FollowState before = m_followState;
    const ClockReading last = m_reading;
    if (!IsExternal(m_source)) {
        m_poll.stop();
        m_followState = FollowState::Own;
        m_reading = {};
    } else {
        m_poll.start(); // no-op while it runs
        if (ExternalClock* clock = followed()) {
            follow(clock->read());
        } else {
            m_reading = {};
            m_followState = FollowState::FreeRunning;
        }
    }
    if (m_followState != before || m_reading.present != last.present ||
        m_reading.peers != last.peers || m_reading.rolling != last.rolling) {
        emit followChanged();
    }
}

void BeatClock::follow(const ClockReading& reading) {
    m_reading = reading;
    if (!reading.present || !(reading.bpm >= kMinBpm && reading.bpm <= kMaxBpm)) {
        m_followState = FollowState::FreeRunning;
        return;
    }
    m_followState = FollowState::Following;
    bool moved = false;
    if (reading.beatsPerBar >= 1 && reading.beatsPerBar <= kMaxBeatsPerBar &&
        reading.beatsPerBar != m_beatsPerBar) {
        m_beatsPerBar = reading.beatsPerBar;
        moved = true;
    }
    const bool newTempo = std::abs(reading.bpm - m_bpm) > kTempoTolerance;
    if (reading.rolling && running()) {
        // The source's beat at the horizon against ours: moved when they differ by more than
        // the tolerance, or when the tempo does.
        const double perBeat = framesPerBeat();
        const BeatGrid theirs{reading.frame, reading.beat, m_rate * 60.0 / reading.bpm,
                              m_beatsPerBar};
        const std::int64_t now = m_frames.frameHorizon();
        const double apart = std::abs(beatAt(now) - theirs.beatAt(now)) * perBeat / m_rate;
        if (newTempo || apart > kPhaseTolerance) {
            m_anchorFrame = reading.frame;
            m_anchorBeat = reading.beat;
            m_bpm = reading.bpm;
            moved = true;
        }
    } else if (newTempo) {
        reanchor();
        m_bpm = reading.bpm;
        moved = true;
    }
    if (moved) {
        emit changed();
    }
}

bool BeatClock::setTypedBpm(double bpm) {
    if (!setBpm(bpm)) {
        return false;
    }
    if (m_source == TempoSource::Link) {
        if (ExternalClock* clock = followed()) {
            clock->offerTempo(bpm);
        }
        return true;
    }
    setSource(TempoSource::Typed);
    return true;
}

bool BeatClock::setBpm(double bpm) {
    if (!(bpm >= kMinBpm && bpm <= kMaxBpm)) {
        return false; // NaN falls here too
    }
    if (bpm != m_bpm) {
        reanchor();
        m_bpm = bpm;
        emit changed();
    }
    return true;
}

void BeatClock::setBeatsPerBar(int beats) {
    beats = std::clamp(beats, 1, kMaxBeatsPerBar);
    if (beats != m_beatsPerBar) {
        m_beatsPerBar = beats;
        emit changed();
    }
}

void BeatClock::setSource(TempoSource source) {
    if (source != m_source) {
        m_source = source;
        emit changed();
        poll();
    }
}

void BeatClock::offer(TempoSource source, double bpm) {
    if (source == m_source) {
        setBpm(bpm);
    }
}

double BeatClock::barSeconds() const {
    return m_beatsPerBar * 60.0 / m_bpm;
}

void BeatClock::reanchor() {
    const std::int64_t now = m_frames.frameHorizon();
    m_anchorBeat = beatAt(now);
    m_anchorFrame = now;
}

void BeatClock::followRate() const {
    const int rate = m_frames.frameRate();
    if (rate <= 0) {
        return;
    }
    const std::int64_t now = m_frames.frameHorizon();
    if (m_rate > 0 && now + m_rate < m_lastHorizon) {
        // A new output counts its frames from 0 again (the horizon wavers by a few blocks,
        // never by a second): the beat where the old one was goes on from here.
        m_anchorBeat +=
            static_cast<double>(m_lastHorizon - m_anchorFrame) / (m_rate * 60.0 / m_bpm);
        m_anchorFrame = now;
    } else if (rate != m_rate && m_rate > 0) {
        // The output reopened at another rate: the beat at its horizon stays, the frames on
        // from there count at the new rate.
        m_anchorBeat += static_cast<double>(now - m_anchorFrame) / (m_rate * 60.0 / m_bpm);
        m_anchorFrame = now;
    }
    m_rate = rate;
    m_lastHorizon = now;
}

double BeatClock::framesPerBeat() const {
    followRate();
    return m_rate * 60.0 / m_bpm;
}

double BeatClock::beatAt(std::int64_t frame) const {
    return grid().beatAt(frame);
}

std::int64_t BeatClock::frameOfBeat(double beat) const {
    return grid().frameOfBeat(beat);
}

BeatGrid BeatClock::grid() const {
    const double perBeat = framesPerBeat(); // first: it may move the anchor
    return {m_anchorFrame, m_anchorBeat, perBeat, m_beatsPerBar};
}

double BeatClock::gridBeats(Quantise q) const {
    switch (q) {
    case Quantise::Off:
        return 0.0;
    case Quantise::Sixteenth:
        return 0.25;
    case Quantise::Eighth:
        return 0.5;
    case Quantise::Beat:
        return 1.0;
    case Quantise::Bar:
        return m_beatsPerBar;
    case Quantise::TwoBars:
        return 2.0 * m_beatsPerBar;
    case Quantise::FourBars:
        return 4.0 * m_beatsPerBar;
    }
    return 0.0;
}

std::int64_t BeatClock::nextGridFrame(std::int64_t notBefore, Quantise q) const {
    const double step = gridBeats(q);
    if (step <= 0.0 || !running()) {
        return notBefore;
    }
    // The grid point's frame is rounded; the one at or after notBefore may be the point whose
    // beat lies a hair before notBefore's beat.
    double point = std::floor(beatAt(notBefore) / step) * step;
    std::int64_t frame = frameOfBeat(point);
    while (frame < notBefore) {
        point += step;
        frame = frameOfBeat(point);
    }
    return frame;
}

int BeatClock::beatInBar() const {
    const double beat = std::floor(beatAt(m_frames.frameHorizon()));
    const double inBar = beat - std::floor(beat / m_beatsPerBar) * m_beatsPerBar;
    return static_cast<int>(inBar);
}

std::int64_t BeatClock::bar() const {
    return static_cast<std::int64_t>(std::floor(beatAt(m_frames.frameHorizon()) / m_beatsPerBar));
}

} // namespace mt
