// Quantised starts on a real JACK server: a private one (dummy backend, 48 kHz, 128-frame
// periods), the sound library on it at its 44.1 kHz format (mixed at 44.1 kHz and converted to
// the server's rate, as the program plays there), and a recorder client of this program's own
// joined to the library's output port. Starts are scheduled a beat apart at 120 BPM; each
// onset's frame at the port, on the server's frame clock, is compared with the first one's
// plus the frames the schedule put between them, at the server's rate. The baseline is the same
// starts posted at once when the horizon reaches their frame, as an unquantised press does.
//
//   bench_grid_onset [STARTS]
//
// Prints the worst error in frames of each and their ratio. Not part of `make test`.
#include "JackPads.h"
#include "LibraryFrames.h"
#include "audio/OutputChoice.h"
#include "audio/SoundBuffers.h"

#include <QByteArray>
#include <QThread>

#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFramesPerBeat = 22050; // 120 BPM at the 44.1 kHz mix
constexpr double kServerPerMix = 48000.0 / 44100.0;

// Onsets at the port: the frame time of the first frame above half scale after silence.
struct Recorder {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<int> count{0};
    std::array<std::int64_t, 256> onsets{};
    bool sounding = false;

    static int process(jack_nframes_t frames, void* self) {
        auto* r = static_cast<Recorder*>(self);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(r->port, frames));
        const jack_nframes_t start = jack_last_frame_time(r->client);
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const bool loud = std::fabs(in[i]) > 0.2f;
            if (loud && !r->sounding) {
                const int n = r->count.load();
                if (n < static_cast<int>(r->onsets.size())) {
                    r->onsets[static_cast<std::size_t>(n)] = start + i;
                    r->count.store(n + 1);
                }
            }
            r->sounding = loud;
        }
        return 0;
    }
};

// The worst |onset_k - onset_0 - (asked_k - asked_0)| in frames.
double Worst(const Recorder& r, const std::vector<std::int64_t>& asked, int from) {
    double worst = 0;
    for (std::size_t k = 1; k < asked.size(); ++k) {
        const std::int64_t heard = r.onsets[from + k] - r.onsets[from];
        const double expected = static_cast<double>(asked[k] - asked[0]) * kServerPerMix;
        worst = std::max(worst, std::fabs(static_cast<double>(heard) - expected));
    }
    return worst;
}

} // namespace

int main(int argc, char* argv[]) {
    const int starts = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 100) : 20;
    mt::bench::JackPads server;
    const std::string name = "grid-onset-" + std::to_string(::getpid());
    if (!server.start("bench_grid_onset", name, QStringLiteral("128"))) {
        return 1;
    }
    const std::int32_t lib = mt::bench::OpenJackLibrary("bench_grid_onset", 44100);
    if (lib == 0) {
        return 1;
    }
    // A constant level: its first frame is its onset.
    const QByteArray wav = mt::bench::MonoWav(44100, 2000, [](int) { return 16000; });
    const std::int32_t burst = mt::createSoundBuffer(lib, wav.constData(), wav.size(), 1);
    Recorder r;
    r.client = jack_client_open("Grid recorder", JackNoStartServer, nullptr);
    r.port = jack_port_register(r.client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(r.client, &Recorder::process, &r);
    jack_activate(r.client);
    jack_connect(r.client, "Marrowtune:outport 0", "Grid recorder:in");
    QThread::msleep(300);

    // Scheduled: all posted at once, a beat apart from a frame well past the horizon.
    std::vector<std::int64_t> asked;
    const std::int64_t first = mt::libraryFrameHorizon(lib) + 4800;
    for (int k = 0; k < starts; ++k) {
        asked.push_back(first + std::int64_t{k} * kFramesPerBeat);
        mt::playBufferAt(burst, 0, 0, 44100, false, asked.back(), 0);
        // One voice per buffer: the next start must wait for this one's frame.
        while (mt::libraryFrameHorizon(lib) < asked.back() + 4410) {
            mt::collectLibrary(lib);
            QThread::msleep(1);
        }
    }
    QThread::msleep(200);
    const int scheduledCount = r.count.load();
    // Baseline: each posted once the horizon passes its frame, as a press at that moment.
    std::vector<std::int64_t> pressed;
    const std::int64_t base = mt::libraryFrameHorizon(lib) + 4800;
    for (int k = 0; k < starts; ++k) {
        const std::int64_t frame = base + std::int64_t{k} * kFramesPerBeat;
        while (mt::libraryFrameHorizon(lib) < frame) {
            QThread::usleep(200);
        }
        mt::playBufferWith(burst, 0, 0, 44100);
        pressed.push_back(frame);
    }
    QThread::msleep(200);
    const int total = r.count.load();
    jack_deactivate(r.client);
    jack_client_close(r.client);
    mt::closeSoundLibrary(lib);
    if (scheduledCount != starts || total != 2 * starts) {
        std::fprintf(stderr, "bench_grid_onset: heard %d and %d onsets of %d\n", scheduledCount,
                     total - scheduledCount, starts);
        return 1;
    }
    const double scheduled = Worst(r, asked, 0);
    const double immediate = Worst(r, pressed, starts);
    std::printf("grid onsets on JACK (48 kHz, 128-frame periods, %d starts a beat apart)\n",
                starts);
    std::printf("  scheduled: worst %.1f frames (48 kHz) off the grid\n", scheduled);
    std::printf("  baseline (posted at the frame): worst %.1f frames\n", immediate);
    std::printf("  ratio scheduled / baseline: %.3f\n", scheduled / std::max(immediate, 1.0));
    return 0;
}
