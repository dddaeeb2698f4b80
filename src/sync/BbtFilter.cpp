#include "sync/BbtFilter.h"

#include "core/BeatClock.h"

#include <algorithm>
#include <cmath>

namespace mt {

bool BbtFilter::Line::holds(const Line& next) const noexcept {
    const double expected = beat + (next.transportFrame - transportFrame) * beatsPerFrame;
    return std::fabs(next.beat - expected) <= kJumpBeats;
}

unsigned BbtFilter::take(jack_transport_state_t state, const jack_position_t& position,
                         std::uint32_t frame, std::uint64_t micros, TransportBeat& beat) noexcept {
    if ((position.valid & JackPositionBBT) == 0) {
        reset(); // the master went; the next one starts afresh
        beat.present = false;
        return 0;
    }
    beat.present = true;
    const double bpm = position.beats_per_minute;
    if (!std::isfinite(bpm) || bpm <= 0.0) {
        return kNoTempo;
    }
    unsigned faults = bpm < BeatClock::kMinBpm || bpm > BeatClock::kMaxBpm ? kTempoOutOfRange : 0U;
    const double perBar = std::round(position.beats_per_bar);
    if (!(std::fabs(position.beats_per_bar - perBar) < 1e-3 && perBar >= 1.0 &&
          perBar <= BeatClock::kMaxBeatsPerBar)) {
        return faults | kBeatsPerBar;
    }
    const double ticks = position.ticks_per_beat;
    if (!std::isfinite(ticks) || ticks <= 0.0 || position.beat < 1 || position.beat > perBar ||
        position.tick < 0 || position.tick > ticks || position.frame_rate == 0) {
        return faults | kPosition;
    }
    const bool rolling = state == JackTransportRolling;
    const double beatsPerFrame = bpm / 60.0 / position.frame_rate;
    Line now{static_cast<double>(position.frame),
             (position.bar - 1.0) * perBar + (position.beat - 1) + position.tick / ticks,
             beatsPerFrame};
    // The BBT may say what frame before the cycle's first its tick stands for. Where it does
    // not, the cycle's first frame lies somewhere within the tick (masters count whole ticks
    // and drop the fraction): half a tick on, on average.
    if ((position.valid & JackBBTFrameOffset) != 0) {
        now.beat += rolling ? position.bbt_offset * beatsPerFrame : 0.0;
    } else {
        now.beat += 0.5 / ticks;
    }
    if (m_hasLast && !m_last.holds(now)) {
        if (!m_hasPending || !m_pending.holds(now)) {
            faults |= m_hasPending ? kJumps : 0U;
            m_pending = now;
            m_hasPending = true;
            return faults;
        }
    } else if (m_hasPending) {
        faults |= kJumps; // it jumped and came back
    }
    m_hasPending = false;
    m_last = now;
    m_hasLast = true;
    beat.rolling = rolling;
    beat.placed = true;
    beat.bpm = std::clamp(bpm, BeatClock::kMinBpm, BeatClock::kMaxBpm);
    beat.beat = now.beat;
    beat.frame = frame;
    beat.micros = micros;
    beat.beatsPerBar = static_cast<int>(perBar);
    return faults;
}

const char* BbtFilter::describe(Fault fault) noexcept {
    switch (fault) {
    case kNoTempo:
        return "a tempo that is not a positive number; ignored";
    case kTempoOutOfRange:
        return "a tempo outside 20..300 BPM; clamped";
    case kBeatsPerBar:
        return "beats per bar not a whole number from 1 to 16; ignored";
    case kPosition:
        return "ticks per beat not positive, or a beat or tick outside its bar; ignored";
    case kJumps:
        return "a beat that jumps from cycle to cycle; ignored";
    }
    return "";
}

} // namespace mt
