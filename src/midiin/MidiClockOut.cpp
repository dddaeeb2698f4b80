#include "midiin/MidiClockOut.h"

#include "core/BeatClock.h"
#include "core/FrameClock.h"
#include "midiin/MixTimeEstimate.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace mt {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kPollMs = 250;
// Song Position counts sixteenths in 14 bits.
constexpr int kSongPositions = 16384;
// How long detach() waits for the Stop to leave on JACK: many cycles of any period.
constexpr auto kStopWait = std::chrono::milliseconds(200);
// The ALSA sender takes new plans and looks at the output's frames at least this often: a
// Start or Continue is due a few blocks after it was asked for at the soonest.
constexpr std::int64_t kAlsaIdleNs = 2'000'000;
// A message due this soon goes now rather than after one more sleep.
constexpr std::int64_t kAlsaEarlyNs = 100'000;

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

} // namespace

MidiClockOut::MidiClockOut(MidiPorts& ports, const BeatClock& clock, const FrameClock& frames)
    : m_ports(ports), m_clock(clock), m_frames(frames) {
    connect(&clock, &BeatClock::changed, this, &MidiClockOut::follow);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &MidiClockOut::poll);
}

MidiClockOut::~MidiClockOut() {
    detach();
}

void MidiClockOut::attach() {
    if (m_attached) {
        return;
    }
    m_train.reset();
    m_started = false;
    m_attached = true;
    if (m_ports.system() == MidiSystem::Jack) {
        m_ports.setClock(&m_train);
        return;
    }
    m_quit.store(false);
    m_alsa = std::thread([this] { runAlsa(); });
}

void MidiClockOut::detach() {
    if (!m_attached) {
        return;
    }
    const bool wasSending = m_sending;
    stop();
    if (m_alsa.joinable()) {
        m_quit.store(true); // the thread sends what is due at once (the Stop) and ends
        m_alsa.join();
    } else {
        if (wasSending) {
            waitSent();
        }
        m_ports.setClock(nullptr);
    }
    m_attached = false;
    m_unposted.clear();
    m_poll.stop();
}

void MidiClockOut::waitSent() const {
    const auto deadline = SteadyClock::now() + kStopWait;
    const auto pause = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return SteadyClock::now() < deadline;
    };
    while (m_train.taken() < m_posted && pause()) {
    }
    // The cycle that took it wrote it; the next one starts once that one has gone out.
    const std::uint64_t takes = m_train.takes();
    while (m_train.takes() < takes + 2 && pause()) {
    }
}

void MidiClockOut::start() {
    const BeatGrid grid = m_clock.grid();
    if (!m_attached || !grid.valid()) {
        return;
    }
    m_startBeat = nextBeat(grid, grid.beatsPerBar);
    m_started = true;
    m_sending = true;
    post(ClockPlan::Transport::Start, m_startBeat);
}

void MidiClockOut::stop() {
    if (!m_sending) {
        return;
    }
    m_sending = false;
    post(ClockPlan::Transport::Stop);
}

void MidiClockOut::resume() {
    if (m_sending || !m_attached) {
        return;
    }
    const BeatGrid grid = m_clock.grid();
    if (!grid.valid()) {
        return;
    }
    const double beat = nextBeat(grid, 0.25);
    if (!m_started || beat < m_startBeat) {
        start(); // nothing to go on from
        return;
    }
    // Sixteenths since the Start; past what Song Position counts, whole bars fewer.
    const long long perBar = 4LL * grid.beatsPerBar;
    const long long position =
        std::llround((beat - m_startBeat) * 4.0) % ((kSongPositions / perBar) * perBar);
    m_sending = true;
    post(ClockPlan::Transport::Continue, beat, static_cast<std::uint16_t>(position));
}

void MidiClockOut::follow() {
    if (m_sending) {
        post(ClockPlan::Transport::Follow);
    }
}

void MidiClockOut::poll() {
    flush();
    if (!m_sending) {
        if (m_unposted.empty()) {
            m_poll.stop();
        }
        return;
    }
    if (m_clock.grid() != m_sentGrid || m_frames.outputClock().get() != m_sentOutput) {
        post(ClockPlan::Transport::Follow);
    }
}

void MidiClockOut::post(ClockPlan::Transport transport, double beat, std::uint16_t songPosition) {
    ClockPlan plan;
    plan.grid = m_sentGrid = m_clock.grid();
    std::shared_ptr<const OutputClock> output = m_frames.outputClock();
    if (output != nullptr && (m_outputs.empty() || m_outputs.back() != output)) {
        m_outputs.push_back(output);
    }
    plan.output = m_sentOutput = output.get();
    plan.transport = transport;
    plan.beat = beat;
    plan.songPosition = songPosition;
    // Only the last of several grids waiting matters.
    if (transport == ClockPlan::Transport::Follow && !m_unposted.empty() &&
        m_unposted.back().transport == ClockPlan::Transport::Follow) {
        m_unposted.back() = plan;
    } else {
        m_unposted.push_back(plan);
    }
    flush();
    if (!m_poll.isActive()) {
        m_poll.start();
    }
}

void MidiClockOut::flush() {
    while (!m_unposted.empty() && m_train.post(m_unposted.front())) {
        m_unposted.pop_front();
        ++m_posted;
    }
}

double MidiClockOut::nextBeat(const BeatGrid& grid, double step) const {
    const std::int64_t horizon = m_frames.frameHorizon();
    // A point's frame is rounded: the first at or after the horizon may be one whose beat lies
    // a hair before the horizon's.
    double beat = std::floor(grid.beatAt(horizon) / step) * step;
    while (grid.frameOfBeat(beat) < horizon) {
        beat += step;
    }
    return beat;
}

void MidiClockOut::runAlsa() {
    MixTimeEstimate estimate;
    const OutputClock* estimated = nullptr;
    for (;;) {
        const bool quit = m_quit.load();
        m_train.take();
        const OutputClock* output = m_train.output();
        if (output != estimated) {
            estimate = {};
            estimated = output;
        }
        std::int64_t now = SteadyNs();
        if (output != nullptr) {
            estimate.observe(now, output->frames(), output->rate());
        }
        std::int64_t wakeAt = now + kAlsaIdleNs;
        if (estimate.known()) {
            m_train.resync(estimate.frameAt(now));
        }
        ClockMessage message;
        while (m_train.peek(message)) {
            if (message.frame != ClockMessage::kAtOnce) {
                if (quit || !estimate.known()) {
                    break;
                }
                const std::int64_t due = estimate.nanosOf(message.frame);
                now = SteadyNs();
                if (due > now + kAlsaEarlyNs) {
                    wakeAt = std::min(wakeAt, due);
                    break;
                }
            }
            m_ports.send(message.bytes.data(), message.size);
            m_train.pop();
        }
        if (quit) {
            return;
        }
        std::this_thread::sleep_until(SteadyClock::time_point(std::chrono::nanoseconds(wakeAt)));
    }
}

} // namespace mt
