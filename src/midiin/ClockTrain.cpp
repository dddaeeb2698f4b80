#include "midiin/ClockTrain.h"

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

constexpr std::uint8_t kTick = 0xF8;
constexpr std::uint8_t kStart = 0xFA;
constexpr std::uint8_t kContinue = 0xFB;
constexpr std::uint8_t kStop = 0xFC;
constexpr std::uint8_t kSongPosition = 0xF2;

// A tick whose beat lies this close before a Start's is that Start's first tick.
constexpr double kSameBeat = 1e-9;

} // namespace

void ClockTrain::reset() noexcept {
    ClockPlan plan;
    while (m_plans.pop(plan)) {
    }
    m_grid = m_before = {};
    m_output = nullptr;
    m_atOnceCount = m_atOnceNext = 0;
    m_pending = ClockPlan::Transport::Follow;
    m_running = false;
    m_next = Next::None;
}

void ClockTrain::atOnce(std::uint8_t status, std::uint16_t value, bool withValue) noexcept {
    if (m_atOnceCount == static_cast<int>(m_atOnce.size())) {
        return; // only a flood of plans in one cycle fills it; the last state still holds
    }
    ClockMessage& m = m_atOnce[static_cast<std::size_t>(m_atOnceCount++)];
    m.frame = ClockMessage::kAtOnce;
    m.size = withValue ? 3 : 1;
    m.bytes = {status, static_cast<std::uint8_t>(value & 0x7F),
               static_cast<std::uint8_t>((value >> 7) & 0x7F)};
}

void ClockTrain::take() noexcept {
    ClockPlan plan;
    while (m_plans.pop(plan)) {
        if (plan.grid.valid()) {
            if (m_grid.valid() && (plan.grid.anchorFrame != m_grid.anchorFrame ||
                                   plan.grid.framesPerBeat != m_grid.framesPerBeat)) {
                m_before = m_grid;
            }
            m_grid = plan.grid;
        }
        m_output = plan.output;
        switch (plan.transport) {
        case ClockPlan::Transport::Follow:
            break;
        case ClockPlan::Transport::Start:
        case ClockPlan::Transport::Continue:
            // A gear already running would jump at a position; Start alone restarts it.
            if (!m_running) {
                atOnce(kSongPosition, plan.songPosition, true);
            }
            m_pending = plan.transport;
            m_pendingBeat = plan.beat;
            break;
        case ClockPlan::Transport::Stop:
            if (m_running || m_pending != ClockPlan::Transport::Follow) {
                atOnce(kStop, 0, false);
            }
            m_running = false;
            m_pending = ClockPlan::Transport::Follow;
            break;
        }
        m_taken.fetch_add(1, std::memory_order_release);
    }
    m_takes.fetch_add(1, std::memory_order_release);
}

double ClockTrain::tickBeat(std::int64_t tick) const noexcept {
    return m_origin + static_cast<double>(tick) / kTicksPerBeat;
}

std::int64_t ClockTrain::frameOf(double beat) const noexcept {
    return m_before.valid() && beat < m_grid.anchorBeat ? m_before.frameOfBeat(beat)
                                                        : m_grid.frameOfBeat(beat);
}

bool ClockTrain::peek(ClockMessage& message) noexcept {
    m_next = Next::None;
    if (m_atOnceNext < m_atOnceCount) {
        message = m_atOnce[static_cast<std::size_t>(m_atOnceNext)];
        m_next = Next::AtOnce;
        return true;
    }
    if (!m_grid.valid()) {
        return false;
    }
    if (m_pending != ClockPlan::Transport::Follow &&
        (!m_running || tickBeat(m_tick) >= m_pendingBeat - kSameBeat)) {
        // Start or Continue, and then the tick of its beat (in place of the one the train had
        // there when it was running already).
        message.frame = frameOf(m_pendingBeat);
        message.size = 1;
        message.bytes = {m_pending == ClockPlan::Transport::Start ? kStart : kContinue, 0, 0};
        m_next = Next::Transport;
        return true;
    }
    if (!m_running) {
        return false;
    }
    message.frame = frameOf(tickBeat(m_tick));
    message.size = 1;
    message.bytes = {kTick, 0, 0};
    m_next = Next::Tick;
    return true;
}

void ClockTrain::pop() noexcept {
    switch (m_next) {
    case Next::None:
        break;
    case Next::AtOnce:
        if (++m_atOnceNext == m_atOnceCount) {
            m_atOnceNext = m_atOnceCount = 0;
        }
        break;
    case Next::Transport:
        m_running = true;
        m_origin = m_pendingBeat;
        m_tick = 0;
        m_pending = ClockPlan::Transport::Follow;
        break;
    case Next::Tick:
        ++m_tick;
        break;
    }
    m_next = Next::None;
}

bool ClockTrain::resync(std::int64_t now) noexcept {
    if (!m_running || !m_grid.valid()) {
        return false;
    }
    const auto beat = static_cast<std::int64_t>(m_grid.framesPerBeat);
    const std::int64_t next = frameOf(tickBeat(m_tick));
    if (next >= now - beat && next <= now + beat) {
        return false;
    }
    // The grid before this one placed beats of another count of frames.
    m_before = {};
    m_tick = static_cast<std::int64_t>(
        std::ceil((m_grid.beatAt(now) - m_origin) * kTicksPerBeat - kSameBeat));
    m_next = Next::None;
    return true;
}

} // namespace mt
