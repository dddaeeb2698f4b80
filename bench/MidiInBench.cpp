// Latency of a controller's note-on to the PerformanceInput's press call, while another
// thread keeps a core busy as a window redrawing would; median and 99th percentile over 1000
// notes, on a private JACK server with the dummy backend. Twice: from the moment the note is
// in the port's buffer (written by a JACK client of the bench's own at the start of a cycle),
// and from another program's RtMidiOut::sendMessage, which JACK holds until its next cycle.
//
// bench_midiin [period frames, default 128]
#include "IgnoringInput.h"
#include "JackPads.h"
#include "midiin/MidiInput.h"

#include <QThread>
#include <RtMidi.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using mt::bench::Now;
using mt::bench::Percentile;

// Takes the time of each press; the rest is ignored.
class TimingSink final : public mt::bench::IgnoringInput {
public:
    void press(int /*track*/, int /*gain*/) override { pressedAt.store(Now()); }

    std::atomic<std::int64_t> pressedAt{0};
};

} // namespace

int main(int argc, char* argv[]) {
    const QString period = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("128");
    mt::bench::JackPads pads;
    if (!pads.start("bench_midiin", "marrowtune-bench-" + std::to_string(::getpid()), period)) {
        return 1;
    }

    TimingSink sink;
    {
        mt::MidiInput midi(sink);
        midi.setConnectHardware(false);
        midi.chooseSource(QStringLiteral("Bench pads:out"));
        if (!midi.start(mt::MidiSystem::Jack)) {
            std::fprintf(stderr, "bench_midiin: %s\n", qPrintable(midi.status()));
            return 1;
        }
        for (int i = 0; i < 200 && midi.connectedSources().isEmpty(); ++i) {
            QThread::msleep(20);
        }

        // Another thread busy the whole time, touching memory as a redraw does.
        std::atomic<bool> busy{true};
        std::thread redraw([&] {
            std::vector<std::uint32_t> image(std::size_t{1920} * 1080);
            std::uint32_t colour = 0;
            while (busy.load(std::memory_order_relaxed)) {
                std::fill(image.begin(), image.end(), ++colour);
            }
        });

        const auto measure = [&](const char* from, auto&& sendOn, auto&& sendOff, auto&& sentAt) {
            std::vector<double> ms;
            for (int i = 0; i < 1000; ++i) {
                sink.pressedAt.store(0);
                sendOn();
                const auto deadline = Clock::now() + std::chrono::milliseconds(100);
                while (sink.pressedAt.load() == 0 && Clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
                if (sink.pressedAt.load() != 0) {
                    ms.push_back(static_cast<double>(sink.pressedAt.load() - sentAt()) / 1e6);
                }
                sendOff();
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
            }
            if (ms.size() < 900) {
                std::fprintf(stderr, "bench_midiin: only %zu of 1000 notes arrived\n", ms.size());
                return false;
            }
            std::printf("MIDI note-on %s -> press call, JACK period %s frames at 48 kHz, another "
                        "thread busy: median %.3f ms, p99 %.3f ms, max %.3f ms (%zu notes; target "
                        "p99 <= 2 ms)\n",
                        from, qPrintable(period), Percentile(ms, 0.5), Percentile(ms, 0.99),
                        Percentile(ms, 1.0), ms.size());
            return true;
        };
        bool ok = measure(
            "in the port's buffer", [&] { pads.pending.store(1); }, [&] { pads.pending.store(2); },
            [&] { return pads.writtenAt.load(); });

        RtMidiOut app(RtMidi::UNIX_JACK, "Bench program");
        for (unsigned i = 0; i < app.getPortCount(); ++i) {
            if (app.getPortName(i) == "Marrowtune in:Marrowtune") {
                app.openPort(i, "out");
            }
        }
        std::int64_t sentAt = 0;
        const unsigned char on[] = {0x90, 36, 100};
        const unsigned char off[] = {0x80, 36, 0};
        ok = measure(
                 "sent by another program",
                 [&] {
                     sentAt = Now();
                     app.sendMessage(on, sizeof on);
                 },
                 [&] { app.sendMessage(off, sizeof off); }, [&] { return sentAt; }) &&
             ok;
        busy.store(false);
        redraw.join();
        if (!ok) {
            return 1;
        }
    }
    return 0;
}
