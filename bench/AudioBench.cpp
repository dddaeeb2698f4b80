// The sound-buffer library's three speed figures: mixing cost, trigger latency, load time.
#include "audio/Engine.h"
#include "audio/OfflineOutput.h"
#include "audio/OutputChoice.h"
#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "platform/MessageBoxService.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace mt {
namespace {

constexpr int kRate = 44100;
constexpr std::size_t kBlock = 256;

void AppendLe(QByteArray& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b += static_cast<char>((v >> (8 * i)) & 0xff);
    }
}

// A 16-bit PCM WAV image of a sine (cosine with `cosine`, so it starts at full level).
QByteArray SineWav(int channels, double hz, std::int64_t frames, bool cosine = false) {
    const auto dataBytes = static_cast<std::uint32_t>(frames * channels * 2);
    QByteArray b;
    b.reserve(static_cast<qsizetype>(dataBytes) + 44);
    b += "RIFF";
    AppendLe(b, 36 + dataBytes, 4);
    b += "WAVEfmt ";
    AppendLe(b, 16, 4);
    AppendLe(b, 1, 2);
    AppendLe(b, static_cast<std::uint32_t>(channels), 2);
    AppendLe(b, kRate, 4);
    AppendLe(b, static_cast<std::uint32_t>(kRate * channels * 2), 4);
    AppendLe(b, static_cast<std::uint32_t>(channels * 2), 2);
    AppendLe(b, 16, 2);
    b += "data";
    AppendLe(b, dataBytes, 4);
    const qsizetype start = b.size();
    b.resize(start + static_cast<qsizetype>(dataBytes));
    auto* out = reinterpret_cast<std::int16_t*>(b.data() + start);
    for (std::int64_t i = 0; i < frames; ++i) {
        const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / kRate;
        const auto v =
            static_cast<std::int16_t>(std::lround(12000 * (cosine ? std::cos(w) : std::sin(w))));
        for (int c = 0; c < channels; ++c) {
            out[i * channels + c] = v;
        }
    }
    return b;
}

struct OfflineLibrary {
    explicit OfflineLibrary(int rate = kRate, int block = static_cast<int>(kBlock)) {
        auto o = std::make_unique<OfflineOutput>();
        output = o.get();
        handle = openSoundLibraryWith(std::move(o), OutputConfig{rate, 2, block});
    }
    ~OfflineLibrary() { closeSoundLibrary(handle); }
    std::int32_t load(const QByteArray& wav) const {
        return createSoundBuffer(handle, wav.constData(), static_cast<std::size_t>(wav.size()), 1);
    }
    OfflineOutput* output;
    std::int32_t handle;
};

// Eight looping stereo tracks at 0.25x..2x and a preview voice, rendered in 256-frame blocks.
void MixEightTracksAndPreview(benchmark::State& state) {
    OfflineLibrary lib;
    for (int t = 0; t < 8; ++t) {
        const std::int32_t b = lib.load(SineWav(2, 200 + 50 * t, std::int64_t{3} * kRate));
        playBufferLoopingWith(b, -300, 200 * t - 800, 11025 * (t + 1));
    }
    const std::int32_t preview = lib.load(SineWav(1, 500, std::int64_t{5} * kRate));
    playBufferLooping(preview);
    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        lib.output->pull(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    // Seconds of sound per second of one core's time.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(kBlock) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(MixEightTracksAndPreview);

// The callback's cost with a pair per track (18 channels) against the main pair alone: eight
// looping tracks, each routed to its pair, a 44.1 kHz mix on a 48 kHz device (JACK's usual
// case, so every pair goes through the rate conversion) in 128-frame periods. The two are
// rendered in turn within each iteration so both see the same machine.
void CallbackWithTrackOutputs(benchmark::State& state) {
    constexpr std::size_t kPeriod = 128;
    struct Side {
        OfflineOutput* output = nullptr;
        std::int32_t handle = 0;
        double seconds = 0.0;
    } sides[2];
    for (int separate = 0; separate < 2; ++separate) {
        auto o = OfflineOutput::AtOwnRate(48000);
        sides[separate].output = o.get();
        sides[separate].handle =
            openSoundLibraryWith(std::move(o), OutputConfig{kRate, 2, static_cast<int>(kPeriod)});
        OutputChoice choice;
        choice.separateOutputs = separate == 1;
        setLibraryOutput(sides[separate].handle, choice);
        for (int t = 0; t < 8; ++t) {
            const QByteArray wav = SineWav(2, 200 + 50 * t, std::int64_t{3} * kRate);
            const std::int32_t b = createSoundBuffer(sides[separate].handle, wav.constData(),
                                                     static_cast<std::size_t>(wav.size()), 1);
            routeBufferToTrack(b, t);
            playBufferLoopingWith(b, -300, 200 * t - 800, 11025 * (t + 1));
        }
    }
    std::vector<float> out(std::size_t{Engine::kMaxOutputChannels} * kPeriod);
    for (auto _ : state) {
        for (Side& side : sides) {
            const auto start = std::chrono::steady_clock::now();
            side.output->pull(out.data(), kPeriod);
            side.seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            benchmark::DoNotOptimize(out.data());
        }
    }
    const auto blocks = static_cast<double>(state.iterations());
    const double period = static_cast<double>(kPeriod) / 48000;
    state.counters["load_2ch_pct"] = 100.0 * sides[0].seconds / blocks / period;
    state.counters["load_18ch_pct"] = 100.0 * sides[1].seconds / blocks / period;
    state.counters["ratio_18_to_2"] = sides[1].seconds / sides[0].seconds;
    for (const Side& side : sides) {
        closeSoundLibrary(side.handle);
    }
}
BENCHMARK(CallbackWithTrackOutputs);

// Frames from a playBufferWith call to the first non-silent output frame, in an offline render.
void TriggerToFirstSound(benchmark::State& state) {
    OfflineLibrary lib;
    const std::int32_t b = lib.load(SineWav(2, 440, kRate, true));
    std::vector<float> out(2 * kBlock);
    double frames = 0;
    double worst = 0;
    for (auto _ : state) {
        stopBuffer(b);
        lib.output->pull(out.data(), kBlock); // the fade of the previous trigger
        lib.output->pull(out.data(), kBlock);
        playBufferWith(b, 0, 0, kRate);
        std::size_t n = 0;
        for (bool heard = false; !heard && n < 16 * kBlock;) {
            lib.output->pull(out.data(), kBlock);
            for (std::size_t i = 0; i < kBlock && !heard; ++i, ++n) {
                heard = out[2 * i] != 0.0f;
            }
        }
        frames += static_cast<double>(n - 1);
        worst = std::max(worst, static_cast<double>(n - 1));
    }
    state.counters["frames_to_sound"] = frames / static_cast<double>(state.iterations());
    state.counters["worst_frames"] = worst;
    state.counters["block_frames"] = kBlock;
}
BENCHMARK(TriggerToFirstSound);

// A start scheduled at a grid frame against the same press started at once (the baseline,
// what an unquantised key does): frames between the frame asked for and the first sound, the
// worst over every engine block of 32..4096 frames, device pulls of odd sizes and four rates.
void ScheduledStartError(benchmark::State& state) {
    double worstScheduled = 0;
    double worstImmediate = 0;
    for (auto _ : state) {
        for (const int rate : {22050, 44100, 48000, 96000}) {
            for (int block = 32; block <= 4096; block *= 2) {
                OfflineLibrary lib(rate, block);
                const std::int32_t b = lib.load(SineWav(1, 0, kRate, true)); // constant level
                std::vector<float> out(std::size_t{2} * 777);
                lib.output->pull(out.data(), 777);
                for (const bool scheduled : {true, false}) {
                    stopBuffer(b);
                    lib.output->pull(out.data(), 777);
                    const std::int64_t asked = libraryFrameHorizon(lib.handle) + 101;
                    if (scheduled) {
                        playBufferAt(b, 0, 0, kRate, false, asked, 0);
                    }
                    std::int64_t first = -1;
                    for (std::int64_t frame = lib.output->frameCount(); first < 0; frame += 777) {
                        if (!scheduled && frame + 777 > asked) {
                            // Without a frame, the best a press can do: in the pull that
                            // holds the grid point, which it starts.
                            playBufferWith(b, 0, 0, kRate);
                        }
                        lib.output->pull(out.data(), 777);
                        for (std::int64_t i = 0; i < 777 && first < 0; ++i) {
                            if (out[static_cast<std::size_t>(2 * i)] != 0.0f) {
                                first = frame + i;
                            }
                        }
                    }
                    const double error = std::fabs(static_cast<double>(first - asked));
                    double& worst = scheduled ? worstScheduled : worstImmediate;
                    worst = std::max(worst, error);
                }
                closeSoundLibrary(lib.handle);
                lib.handle = 0;
            }
        }
    }
    state.counters["scheduled_error_frames"] = worstScheduled;
    state.counters["baseline_immediate_error_frames"] = worstImmediate;
    state.counters["ratio_vs_baseline"] = worstScheduled / std::max(worstImmediate, 1.0);
}
BENCHMARK(ScheduledStartError)->Iterations(1)->Unit(benchmark::kMillisecond);

class NoMessages final : public MessageBoxService {
public:
    void show(const QString& text, const QString&, MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    bool confirm(const QString&, const QString&) override { return true; }
};

double Megabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(std::strlen(field))) / 1024.0;
        }
    }
    return 0;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The same file read into memory and decoded by libsndfile alone: the floor of any load.
double BaselineLoad(const QString& path) {
    const auto start = std::chrono::steady_clock::now();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray image = file.readAll();
    struct Memory {
        const char* data;
        sf_count_t size;
        sf_count_t pos;
    } m{image.constData(), image.size(), 0};
    SF_VIRTUAL_IO io{[](void* u) { return static_cast<Memory*>(u)->size; },
                     [](sf_count_t o, int w, void* u) {
                         auto* mm = static_cast<Memory*>(u);
                         mm->pos = (w == SEEK_SET ? 0 : w == SEEK_CUR ? mm->pos : mm->size) + o;
                         return mm->pos;
                     },
                     [](void* p, sf_count_t n, void* u) {
                         auto* mm = static_cast<Memory*>(u);
                         n = std::min(n, mm->size - mm->pos);
                         std::memcpy(p, mm->data + mm->pos, static_cast<std::size_t>(n));
                         mm->pos += n;
                         return n;
                     },
                     [](const void*, sf_count_t, void*) { return sf_count_t{0}; },
                     [](void* u) { return static_cast<Memory*>(u)->pos; }};
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &m);
    auto samples = std::make_unique_for_overwrite<float[]>(
        static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(sf, samples.get(), info.frames);
    sf_close(sf);
    benchmark::DoNotOptimize(samples.get());
    return Seconds(start);
}

// CreateTrackBuffer of a 100 MB 16-bit stereo file against the baseline, hot cache, same run.
void LoadHundredMegabytes(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.wav"));
    const std::int64_t frames = 100'000'000 / 4;
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(SineWav(2, 440, frames));
    }
    const double imageMb = 100.0;
    const double decodedMb = static_cast<double>(frames) * 2 * sizeof(float) / 1e6;
    NoMessages messages;
    OfflineOutput* output = nullptr;
    SoundDevice sound(messages, [&output](std::intptr_t, std::int32_t) {
        auto o = std::make_unique<OfflineOutput>();
        output = o.get();
        return openSoundLibraryWith(std::move(o));
    });
    sound.InitSoundLibrary(0, 2);
    BaselineLoad(path); // warm the page cache

    double ours = 0;
    double baseline = 0;
    double peakOver = 0;
    double heldAfter = 0;
    std::vector<float> block(2 * kBlock);
    for (auto _ : state) {
        baseline += BaselineLoad(path);

        const double before = Megabytes("VmRSS:");
        ResetPeakMemory();
        const auto start = std::chrono::steady_clock::now();
        const std::int32_t b = sound.CreateTrackBuffer(path, 1);
        ours += Seconds(start);
        peakOver = std::max(peakOver, (Megabytes("VmHWM:") - before) * 1.048576);
        heldAfter = std::max(heldAfter, (Megabytes("VmRSS:") - before) * 1.048576);
        // Let the engine hand the buffer back, and delete it, before the next round.
        freeSoundBuffer(b);
        output->pull(block.data(), kBlock);
        collectLibrary(sound.soundLibHandle);
    }
    const auto n = static_cast<double>(state.iterations());
    sound.TerminateSoundLibrary();
    state.counters["ours_ms"] = 1000 * ours / n;
    state.counters["baseline_ms"] = 1000 * baseline / n;
    state.counters["ratio"] = ours / baseline;
    state.counters["peak_MB"] = peakOver;
    state.counters["limit_MB"] = imageMb + decodedMb;
    state.counters["held_after_MB"] = heldAfter;
    state.counters["decoded_MB"] = decodedMb;
}
BENCHMARK(LoadHundredMegabytes)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace mt

BENCHMARK_MAIN();
