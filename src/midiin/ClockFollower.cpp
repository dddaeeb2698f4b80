#include "midiin/ClockFollower.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

// Ticks closer than this to the last one received, in spacings at the fastest tempo, are no
// clock in range: the same tick twice, or a storm.
constexpr double kStormSpacing = 0.5;
// A tick this close to the last one taken, in spacings of the line, is that one again if the
// next comes between the two after it; one this far from it or more came after ticks that
// were lost.
constexpr double kDoubledBelow = 0.25;
constexpr double kSameFrom = 0.75;
constexpr double kSameTo = 1.25;
constexpr double kLostFrom = 1.6;
// A tempo this far outside the range, as a share of its end, is a sender at that end with
// jitter: it is taken as the end.
constexpr double kRangeMargin = 0.05;
// A tick counts as off the line beyond three times the ticks' spread, but at least this far in
// seconds (a sender with no jitter places them within a frame of it) and at most this share of
// the spacing (the spread of a line that the tempo is leaving grows with it).
constexpr double kLeastOffSeconds = 1e-4;
constexpr double kMostOffSpacing = 0.25;

} // namespace

bool ClockFollower::take(const MidiClockEvent& event, const void* source, double frame,
                         int rate) noexcept {
    if (rate <= 0 || !std::isfinite(frame)) {
        return false;
    }
    if (m_source != nullptr && source != m_source) {
        if (rate == m_rate && m_haveReceived &&
            std::abs(frame - m_received) < kQuietSeconds * rate) {
            note(Fault::SecondSource);
            return false;
        }
        forgetSource(); // the one followed went quiet: whoever ticks now is followed
    }
    if (rate != m_rate) {
        m_rate = rate;
        m_haveReceived = false;
        m_haveTick = false;
        refit(0);
    }
    using Kind = MidiClockEvent::Kind;
    if (event.kind != Kind::Tick) {
        m_doubtful = false; // a tick in doubt has no place once the transport moved
    }
    switch (event.kind) {
    case Kind::Tick:
        m_source = source;
        return tick(frame);
    case Kind::Start:
        m_position = 0;
        m_rolling = false;
        [[fallthrough]];
    case Kind::Continue:
        if (!m_rolling) {
            m_rolling = true;
            m_everRolled = true;
            m_awaitingFirst = true;
            m_exactNext = true;
            m_guessMoved = false;
            m_startFrame = frame;
        }
        return false;
    case Kind::Stop:
        m_rolling = false;
        m_awaitingFirst = false;
        return false;
    case Kind::SongPosition:
        if (event.songPosition >= MidiClockEvent::kMaxSongPosition) {
            note(Fault::SongPositionAtMaximum);
            return false;
        }
        m_position = std::int64_t{event.songPosition} * kTicksPerBeat / 4;
        m_exactNext = true;
        m_guessMoved = false;
        return false;
    }
    return false;
}

bool ClockFollower::tick(double frame) noexcept {
    if (m_haveReceived && std::abs(frame - m_received) < kStormSpacing * framesPerTick(kMaxBpm)) {
        note(m_stormRun ? Fault::TickStorm : Fault::DoubledTick);
        m_stormRun = true;
        m_received = frame;
        return false;
    }
    m_haveReceived = true;
    m_stormRun = false;
    m_received = frame;
    if (!m_rolling && !m_everRolled) {
        note(Fault::NoStart);
    }
    if (m_doubtful) {
        m_doubtful = false;
        const double spacings = m_slope > 0.0 ? (frame - m_last.frame) / m_slope : 0.0;
        if (spacings > kSameFrom && spacings < kSameTo) {
            note(Fault::DoubledTick);
        } else {
            refit(0); // not the same tick again: the clock went faster from it
            add(m_doubtfulFrame, 1);
        }
    }

    int step = 1;
    const double since = frame - m_last.frame;
    if (!m_haveTick || since <= 0.0 || since > kQuietSeconds * m_rate) {
        refit(0); // a timeline begun again, or a gap: the line begins here
    } else if (m_slope > 0.0) {
        const double spacings = since / m_slope;
        if (spacings < kDoubledBelow) {
            m_doubtful = true; // the next tick tells
            m_doubtfulFrame = frame;
            return false;
        }
        const bool far = spacings > kLostFrom;
        if (m_lost > 0) {
            const int guessed = m_lost;
            m_lost = 0;
            if (far) {
                // As far again: the tempo fell and nothing was lost. The tick before counts
                // once, and the line begins again after it (had ticks been lost twice running,
                // it would not be on the line either).
                m_last.index -= guessed;
                if (m_guessMoved && m_rolling && !m_exactNext) {
                    m_position -= guessed;
                    m_lastPosition -= guessed;
                }
                refit(0);
            } else {
                note(Fault::LostTick);
            }
        } else if (far) {
            step = static_cast<int>(std::lround(spacings));
            m_lost = step - 1; // the next tick tells
        }
    }
    if (m_slope > 0.0) {
        const double off = frame - (m_last.frame + m_offset + m_slope * step);
        const double limit = std::min(3.0 * std::max(m_spread, kLeastOffSeconds * m_rate),
                                      kMostOffSpacing * m_slope);
        const int side = off > limit ? 1 : off < -limit ? -1 : 0;
        m_run = side == 0 ? 0 : side == m_runSide ? m_run + 1 : 1;
        m_runSide = side;
        if (m_run >= kRunToRefit) {
            refit(kRunToRefit - 1); // the tempo changed where the run began
        }
    }
    add(frame, step);
    return true;
}

void ClockFollower::add(double frame, int step) noexcept {
    m_last = {m_haveTick ? m_last.index + step : 0, frame};
    m_haveTick = true;
    if (m_count == kWindow) {
        m_first = (m_first + 1) % kWindow;
        --m_count;
    }
    m_ticks[static_cast<std::size_t>((m_first + m_count) % kWindow)] = m_last;
    ++m_count;
    if (m_rolling) {
        m_lastPosition = m_exactNext ? m_position : m_position + step - 1;
        m_guessMoved = step > 1 && !m_exactNext;
        m_position = m_lastPosition + 1;
        m_exactNext = false;
        m_awaitingFirst = false;
    }
    fit();
}

void ClockFollower::fit() noexcept {
    m_slope = 0.0;
    m_offset = 0.0;
    if (m_count >= kMinFit) {
        // About the last tick, which keeps the sums small.
        const auto at = [this](int i) -> const Tick& {
            return m_ticks[static_cast<std::size_t>((m_first + i) % kWindow)];
        };
        double meanX = 0.0;
        double meanY = 0.0;
        for (int i = 0; i < m_count; ++i) {
            meanX += static_cast<double>(at(i).index - m_last.index);
            meanY += at(i).frame - m_last.frame;
        }
        meanX /= m_count;
        meanY /= m_count;
        double xx = 0.0;
        double xy = 0.0;
        for (int i = 0; i < m_count; ++i) {
            const double x = static_cast<double>(at(i).index - m_last.index) - meanX;
            xx += x * x;
            xy += x * (at(i).frame - m_last.frame - meanY);
        }
        m_slope = xy / xx;
        m_offset = meanY - m_slope * meanX;
        double squares = 0.0;
        for (int i = 0; i < m_count; ++i) {
            const double off =
                at(i).frame - m_last.frame -
                (m_offset + m_slope * static_cast<double>(at(i).index - m_last.index));
            squares += off * off;
        }
        m_spread = std::sqrt(squares / (m_count - 2));
        if (m_run > 0) {
            return; // the ticks may be leaving the line: what it says waits until they tell
        }
        const double bpm = 60.0 * m_rate / (kTicksPerBeat * m_slope);
        m_outOfRange =
            !(bpm >= kMinBpm * (1.0 - kRangeMargin) && bpm <= kMaxBpm * (1.0 + kRangeMargin));
        if (m_outOfRange) {
            note(Fault::TempoOutOfRange);
        } else {
            m_bpm = std::clamp(bpm, kMinBpm, kMaxBpm);
        }
    }
    if (m_outOfRange) {
        return;
    }
    const double fitted = m_last.frame + m_offset;
    const auto ticks = static_cast<double>(m_rolling ? m_lastPosition : m_last.index);
    m_lineFrame = std::llround(fitted);
    // The beat at that whole frame; with no tempo yet, the tick's (half a frame off at most).
    const double fraction =
        m_bpm > 0.0 ? (static_cast<double>(m_lineFrame) - fitted) / framesPerTick(m_bpm) : 0.0;
    m_lineBeat = (ticks + fraction) / kTicksPerBeat;
}

void ClockFollower::refit(int keep) noexcept {
    keep = std::clamp(keep, 0, m_count);
    m_first = (m_first + m_count - keep) % kWindow;
    m_count = keep;
    m_slope = 0.0;
    m_offset = 0.0;
    m_spread = 0.0;
    m_run = 0;
    m_runSide = 0;
    m_lost = 0;
    m_doubtful = false;
}

void ClockFollower::forgetSource() noexcept {
    m_source = nullptr;
    m_rolling = false;
    m_everRolled = false;
    m_awaitingFirst = false;
    m_exactNext = false;
    m_position = 0;
    m_haveReceived = false;
    m_stormRun = false;
    m_haveTick = false;
    refit(0);
}

ClockReading ClockFollower::reading() const noexcept {
    ClockReading r;
    r.present = m_bpm > 0.0 && !m_outOfRange;
    r.rolling = m_rolling;
    r.bpm = m_bpm;
    if (m_rolling && m_awaitingFirst) {
        r.frame = std::llround(m_startFrame);
        r.beat = static_cast<double>(m_position) / kTicksPerBeat;
    } else {
        r.frame = m_lineFrame;
        r.beat = m_lineBeat;
    }
    return r;
}

bool ClockFollower::quiet(double now) const noexcept {
    return !m_haveTick || now - m_last.frame > kQuietSeconds * m_rate;
}

double ClockFollower::framesPerTick(double bpm) const noexcept {
    return 60.0 * m_rate / (bpm * kTicksPerBeat);
}

const char* ClockFollower::faultText(Fault fault) noexcept {
    switch (fault) {
    case Fault::TempoOutOfRange:
        return "MIDI clock in: ticks at a tempo outside 20..300 BPM, not followed";
    case Fault::TickStorm:
        return "MIDI clock in: a storm of ticks closer than any tempo in range, ignored";
    case Fault::DoubledTick:
        return "MIDI clock in: a tick came twice; the second was ignored";
    case Fault::LostTick:
        return "MIDI clock in: ticks were lost; counted as if they had come";
    case Fault::NoStart:
        return "MIDI clock in: ticks without Start; only their tempo is followed until Start "
               "or Continue";
    case Fault::SongPositionAtMaximum:
        return "MIDI clock in: Song Position at its maximum (the song may be past it), ignored";
    case Fault::SecondSource:
        return "MIDI clock in: a second source sends clock; the first is followed until it "
               "goes quiet";
    }
    return "";
}

} // namespace mt
