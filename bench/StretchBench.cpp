// Keep-pitch rendering (RenderStretched): how true the sound stays, how fast it renders and how
// much memory one render holds, each against its goal.
//
// Quality, offline: a 1 kHz sine at tempo ×0.8 and ×1.25 keeps 1000 Hz ± 0.5 % and its
// sounding length scales by the ratio ± 1 %; a drum loop's onsets land at their scaled places
// ± 5 ms; a fifth up (+700 cents) turns 440 Hz into 659.26 Hz ± 0.5 %, its length kept ± 1 %.
// Speed: seconds of 44.1 kHz stereo music rendered per second of one core, against real time
// (the baseline, 1×); goal 20×. Beside it, for the record, R3's standard window, which the
// renderer does not use. Memory: the heap one render adds at its peak, against the rendered
// sound's size; goal 2× (so the whole stays under the source plus twice the rendered sound).
// Each row's label says PASS or FAIL with the figure and the goal.
#include "audio/StretchRender.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <string>
#include <vector>

// The heap in use, to the byte, counted where every allocation of the program ends: malloc,
// calloc, realloc, the aligned forms (Rubber Band's buffers) and free, forwarded to glibc's
// own. A chunk counts at its usable size, what it really holds. This sees the short-lived
// peaks inside the stretcher that sampling mallinfo2() from the progress callback would miss,
// and, unlike the resident size, it is not lowered by freed memory malloc hands out again.
namespace {
std::atomic<std::int64_t> g_heapBytes{0};
std::atomic<std::int64_t> g_heapPeak{0};

void CountIn(void* p) {
    if (p != nullptr) {
        const auto now = g_heapBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p)),
                                               std::memory_order_relaxed) +
                         static_cast<std::int64_t>(malloc_usable_size(p));
        std::int64_t peak = g_heapPeak.load(std::memory_order_relaxed);
        while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
        }
    }
}
void CountOut(void* p) {
    if (p != nullptr) {
        g_heapBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)),
                              std::memory_order_relaxed);
    }
}
} // namespace

extern "C" {
void* __libc_malloc(std::size_t size);                      // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(std::size_t count, std::size_t size);   // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* p, std::size_t size);            // NOLINT(bugprone-reserved-identifier)
void* __libc_memalign(std::size_t align, std::size_t size); // NOLINT(bugprone-reserved-identifier)
void __libc_free(void* p);                                  // NOLINT(bugprone-reserved-identifier)

void* malloc(std::size_t size) {
    void* p = __libc_malloc(size);
    CountIn(p);
    return p;
}
void* calloc(std::size_t count, std::size_t size) {
    void* p = __libc_calloc(count, size);
    CountIn(p);
    return p;
}
void* realloc(void* p, std::size_t size) {
    const auto before = static_cast<std::int64_t>(p != nullptr ? malloc_usable_size(p) : 0);
    void* q = __libc_realloc(p, size);
    if (q != nullptr || size == 0) {
        g_heapBytes.fetch_sub(before, std::memory_order_relaxed);
        CountIn(q);
    }
    return q;
}
void* memalign(std::size_t align, std::size_t size) {
    void* p = __libc_memalign(align, size);
    CountIn(p);
    return p;
}
void* aligned_alloc(std::size_t align, std::size_t size) {
    return memalign(align, size);
}
int posix_memalign(void** out, std::size_t align, std::size_t size) {
    if (align < sizeof(void*) || (align & (align - 1)) != 0) {
        return EINVAL;
    }
    *out = memalign(align, size);
    return *out != nullptr || size == 0 ? 0 : ENOMEM;
}
void free(void* p) {
    CountOut(p);
    __libc_free(p);
}
}

namespace mt {
namespace {

using RubberBand::RubberBandStretcher;

constexpr int kRate = 44100;

// `seconds` of a sine at half scale, every channel the same.
SampleBuffer Sine(double hz, double seconds, int channels) {
    const auto frames = static_cast<std::int64_t>(seconds * kRate);
    SampleBuffer b(frames, channels, kRate);
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate));
        std::fill_n(b.data() + i * channels, channels, v);
    }
    return b;
}

// Mono drums at 120 BPM, hits on every eighth (a kick on 1 and 3, a snare on 2 and 4, a hat
// between), for `bars` bars of 4/4, added to `x` from frame 0. Their frames go to `onsets`.
void AddDrums(std::vector<float>& x, int bars, std::vector<std::int64_t>* onsets) {
    std::mt19937 random(20260514);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const std::int64_t eighth = kRate / 4;
    for (int hit = 0; hit < bars * 8; ++hit) {
        const std::int64_t at = hit * eighth;
        if (onsets != nullptr) {
            onsets->push_back(at);
        }
        for (std::int64_t i = 0; i < eighth && at + i < static_cast<std::int64_t>(x.size()); ++i) {
            const double t = static_cast<double>(i) / kRate;
            double v = 0;
            if (hit % 4 == 0) { // kick: a falling sine, 40 ms decay
                v = 0.9 * std::exp(-t / 0.04) *
                    std::sin(2 * std::numbers::pi * (50 * t + 1.2 * (1 - std::exp(-t / 0.02))));
            } else if (hit % 4 == 2) { // snare: noise and a 190 Hz body, 30 ms
                v = std::exp(-t / 0.03) *
                    (0.5 * noise(random) + 0.3 * std::sin(2 * std::numbers::pi * 190 * t));
            } else { // hat: noise, 10 ms
                v = 0.35 * std::exp(-t / 0.01) * noise(random);
            }
            x[static_cast<std::size_t>(at + i)] += static_cast<float>(v);
        }
    }
}

SampleBuffer Buffer(const std::vector<float>& mono, int channels) {
    SampleBuffer b(static_cast<std::int64_t>(mono.size()), channels, kRate);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        std::fill_n(b.data() + i * static_cast<std::size_t>(channels), channels, mono[i]);
    }
    return b;
}

// Music to time: a C major chord of five-harmonic tones, the two channels voiced apart, over
// the drums, `seconds` long, stereo.
SampleBuffer Music(double seconds) {
    const auto frames = static_cast<std::int64_t>(seconds * kRate);
    std::vector<float> drums(static_cast<std::size_t>(frames));
    AddDrums(drums, static_cast<int>(seconds / 2) + 1, nullptr);
    SampleBuffer b(frames, 2, kRate);
    const double notes[2][3] = {{261.63, 329.63, 392.0}, {130.81, 392.0, 523.25}};
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        for (int c = 0; c < 2; ++c) {
            double v = 0;
            for (const double hz : notes[c]) {
                for (int h = 1; h <= 5; ++h) {
                    v += 0.05 / h * std::sin(2 * std::numbers::pi * hz * h * t);
                }
            }
            b.data()[i * 2 + c] = static_cast<float>(v + 0.6 * drums[static_cast<std::size_t>(i)]);
        }
    }
    return b;
}

std::unique_ptr<SampleBuffer> Render(const SampleBuffer& source, double timeRatio,
                                     double pitchScale) {
    QString reason;
    auto out = RenderStretched(
        source, timeRatio, pitchScale, [](double) { return true; }, reason);
    if (!out) {
        std::fprintf(stderr, "refused: %s\n", qPrintable(reason));
        std::abort();
    }
    return out;
}

// RenderStretched's loop with other options: R3's standard window beside the short one.
std::vector<float> RenderWithOptions(const SampleBuffer& source, double timeRatio,
                                     double pitchScale, RubberBandStretcher::Options options) {
    const int channels = source.channels();
    const auto frames = static_cast<std::size_t>(source.frames());
    RubberBandStretcher stretcher(kRate, static_cast<std::size_t>(channels), options, timeRatio,
                                  pitchScale);
    constexpr std::size_t kChunk = 4096;
    stretcher.setExpectedInputDuration(frames);
    stretcher.setMaxProcessSize(kChunk);
    std::vector<std::vector<float>> planes(static_cast<std::size_t>(channels),
                                           std::vector<float>(kChunk));
    std::vector<float*> p(planes.size());
    for (std::size_t c = 0; c < planes.size(); ++c) {
        p[c] = planes[c].data();
    }
    const auto split = [&](std::size_t at, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < planes.size(); ++c) {
                planes[c][i] = source.data()[(at + i) * planes.size() + c];
            }
        }
    };
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(static_cast<double>(frames) * timeRatio + 1) *
                planes.size());
    const auto drain = [&] {
        for (int ready = stretcher.available(); ready > 0; ready = stretcher.available()) {
            const std::size_t got =
                stretcher.retrieve(p.data(), std::min<std::size_t>(ready, kChunk));
            for (std::size_t i = 0; i < got; ++i) {
                for (std::size_t c = 0; c < planes.size(); ++c) {
                    out.push_back(planes[c][i]);
                }
            }
        }
    };
    for (const bool studying : {true, false}) {
        for (std::size_t at = 0; at < frames; at += kChunk) {
            const std::size_t n = std::min(kChunk, frames - at);
            split(at, n);
            if (studying) {
                stretcher.study(p.data(), n, at + n >= frames);
            } else {
                stretcher.process(p.data(), n, at + n >= frames);
                drain();
            }
        }
    }
    drain();
    return out;
}

// Frequency in Hz by upward zero crossings, each placed between its two samples, over frames
// [from, to) of channel 0.
double MeasureHz(const SampleBuffer& b, std::int64_t from, std::int64_t to) {
    const int ch = b.channels();
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::int64_t i = from + 1; i < to; ++i) {
        const double a = b.data()[(i - 1) * ch];
        const double c = b.data()[i * ch];
        if (a < 0 && c >= 0) {
            const double at = static_cast<double>(i - 1) + a / (a - c);
            first = first < 0 ? at : first;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

// Frames from the first to the last sample at half the sine's amplitude or more: the sound's
// length, whatever silence or tail the buffer holds around it.
double SoundingFrames(const SampleBuffer& b, float amplitude) {
    const int ch = b.channels();
    std::int64_t first = -1;
    std::int64_t last = -1;
    for (std::int64_t i = 0; i < b.frames(); ++i) {
        if (std::fabs(b.data()[i * ch]) >= amplitude / 2) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    return static_cast<double>(last - first);
}

// Onsets by energy rise: where the energy of the last 2 ms passes eight times the mean of the
// 40 ms before them, and a hundredth of full-scale energy, then nothing for 80 ms.
std::vector<double> Onsets(const SampleBuffer& b) {
    const int ch = b.channels();
    const std::int64_t shortLen = kRate / 500;
    const std::int64_t longLen = kRate / 25;
    std::vector<double> energy(static_cast<std::size_t>(b.frames()) + 1, 0.0);
    for (std::int64_t i = 0; i < b.frames(); ++i) {
        double e = 0;
        for (int c = 0; c < ch; ++c) {
            e += b.data()[i * ch + c] * b.data()[i * ch + c];
        }
        energy[static_cast<std::size_t>(i + 1)] = energy[static_cast<std::size_t>(i)] + e / ch;
    }
    const auto mean = [&](std::int64_t from, std::int64_t to) {
        from = std::max<std::int64_t>(from, 0);
        return to <= from ? 0.0
                          : (energy[static_cast<std::size_t>(to)] -
                             energy[static_cast<std::size_t>(from)]) /
                                static_cast<double>(to - from);
    };
    std::vector<double> found;
    for (std::int64_t i = shortLen; i <= b.frames(); ++i) {
        const double recent = mean(i - shortLen, i);
        if (recent > 0.01 && recent > 8 * mean(i - shortLen - longLen, i - shortLen)) {
            found.push_back(static_cast<double>(i - shortLen));
            i += kRate * 8 / 100;
        }
    }
    return found;
}

std::string Verdict(bool pass, const char* format, double measured, double goal) {
    char text[160];
    std::snprintf(text, sizeof text, format, measured, goal);
    return std::string(pass ? "PASS " : "FAIL ") + text;
}

// A 2 s sine at tempo ×(1 / ratio) or moved in pitch: 1 kHz keeps its pitch, 440 Hz lands a
// fifth up; its sounding length scales by the ratio. Args: the ratio in hundredths, the cents.
void SineQuality(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0)) / 100;
    const double pitch = std::pow(2.0, static_cast<double>(state.range(1)) / 1200);
    const double hzIn = state.range(1) == 0 ? 1000 : 440;
    const SampleBuffer source = Sine(hzIn, 2, 1);
    std::unique_ptr<SampleBuffer> out;
    for (auto _ : state) {
        out = Render(source, ratio, pitch);
    }
    const double hz = MeasureHz(*out, out->frames() / 4, out->frames() * 3 / 4);
    const double length = SoundingFrames(*out, 0.5f) / SoundingFrames(source, 0.5f);
    const double hzError = 100 * std::fabs(hz / (hzIn * pitch) - 1);
    const double lengthError = 100 * std::fabs(length / ratio - 1);
    state.counters["hz"] = hz;
    state.counters["hz_goal"] = hzIn * pitch;
    state.counters["length_ratio"] = length;
    state.counters["length_goal"] = ratio;
    state.SetLabel(Verdict(hzError <= 0.5, "Hz off by %.4f %% (goal %.1f)", hzError, 0.5) + "; " +
                   Verdict(lengthError <= 1, "length off by %.3f %% (goal %.0f)", lengthError, 1));
}
BENCHMARK(SineQuality)
    ->Args({125, 0})
    ->Args({80, 0})
    ->Args({100, 700})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Two bars of drums at 120 BPM, stereo, at tempo ×(1 / ratio): every onset the detector finds
// in the source, scaled, against the nearest it finds in the render. The same detector on both
// sides, so its own lag cancels.
void DrumOnsets(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0)) / 100;
    std::vector<float> mono(static_cast<std::size_t>(4 * kRate));
    std::vector<std::int64_t> placed;
    AddDrums(mono, 2, &placed);
    const SampleBuffer source = Buffer(mono, 2);
    std::unique_ptr<SampleBuffer> out;
    for (auto _ : state) {
        out = Render(source, ratio, 1.0);
    }
    const std::vector<double> before = Onsets(source);
    const std::vector<double> after = Onsets(*out);
    double worstMs = 0;
    double meanMs = 0; // signed: under 0, the render's hits come early
    for (const double at : before) {
        double nearest = 1e9;
        for (const double a : after) {
            nearest = std::fabs(a - at * ratio) < std::fabs(nearest) ? a - at * ratio : nearest;
        }
        worstMs = std::max(worstMs, 1000 * std::fabs(nearest) / kRate);
        meanMs += 1000 * nearest / kRate / static_cast<double>(before.size());
    }
    // The detector against the hits as placed, in the source: its own lag, which cancels.
    double lagMs = 0;
    for (std::size_t i = 0; i < std::min(before.size(), placed.size()); ++i) {
        lagMs =
            std::max(lagMs, 1000 * std::fabs(before[i] - static_cast<double>(placed[i])) / kRate);
    }
    state.counters["detector_lag_ms"] = lagMs;
    state.counters["hits"] = static_cast<double>(placed.size());
    state.counters["onsets_source"] = static_cast<double>(before.size());
    state.counters["onsets_render"] = static_cast<double>(after.size());
    state.counters["worst_ms"] = worstMs;
    state.counters["mean_ms"] = meanMs;
    const bool found = before.size() == placed.size() && after.size() == placed.size();
    state.SetLabel(
        Verdict(found && worstMs <= 5, "worst onset %.2f ms off (goal %.0f)", worstMs, 5) +
        (found ? "" : "; onsets missed or extra"));
}
BENCHMARK(DrumOnsets)->Arg(125)->Arg(80)->Iterations(1)->Unit(benchmark::kMillisecond);

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Setting {
    const char* name;
    double timeRatio;
    double pitchScale;
};
// The last, an octave up, is the top of a track's pitch range.
constexpr Setting kSettings[] = {{"tempo x0.8", 1.25, 1.0},
                                 {"tempo x1.25", 0.8, 1.0},
                                 {"pitch +7", 1.0, 1.4983070768766815},
                                 {"pitch +12", 1.0, 2.0}};

// 10 s of 44.1 kHz stereo music: its seconds per second of this thread's processor time
// against real time (1×), and per second of wall time beside it (the machine is shared).
// Arg 0: the setting; arg 1: 0 RenderStretched itself (short window), 1 R3's standard window.
void RenderSpeed(benchmark::State& state) {
    const Setting& s = kSettings[state.range(0)];
    const bool standard = state.range(1) != 0;
    constexpr double kSeconds = 10;
    const SampleBuffer source = Music(kSeconds);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpuStart = ThreadSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        if (standard) {
            benchmark::DoNotOptimize(RenderWithOptions(
                source, s.timeRatio, s.pitchScale,
                RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner |
                    RubberBandStretcher::OptionThreadingNever |
                    RubberBandStretcher::OptionChannelsTogether));
        } else {
            benchmark::DoNotOptimize(Render(source, s.timeRatio, s.pitchScale));
        }
        cpu += ThreadSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
    const auto n = static_cast<double>(state.iterations());
    const double ratio = kSeconds * n / cpu;
    state.counters["render_s"] = cpu / n;
    state.counters["baseline_realtime_s"] = kSeconds;
    state.counters["ratio_vs_realtime"] = ratio;
    state.counters["ratio_vs_realtime_wall"] = kSeconds * n / wall;
    const std::string what = std::string(s.name) + (standard ? ", standard window: " : ": ");
    state.SetLabel(what + (standard
                               ? "record " + std::to_string(ratio).substr(0, 5) + "x"
                               : Verdict(ratio >= 20, "%.1fx real time (goal %.0fx)", ratio, 20)));
}
BENCHMARK(RenderSpeed)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The heap one render adds at its peak (the source already held), against the size of the
// sound it makes: the music at tempo ×0.8 for 1 s (the stretcher's own fixed share shows), 10 s
// and 60 s (a long track), and 0.1 s at the slowest speed (ratio 882, in passes: 88 s made).
// Args: the source in milliseconds, the time ratio in hundredths.
void RenderPeakHeap(benchmark::State& state) {
    const SampleBuffer source = Music(static_cast<double>(state.range(0)) / 1000);
    const double ratio = static_cast<double>(state.range(1)) / 100;
    double extra = 0;
    double rendered = 0;
    for (auto _ : state) {
        const std::int64_t before = g_heapBytes.load();
        g_heapPeak.store(before);
        auto out = Render(source, ratio, 1.0);
        extra = static_cast<double>(g_heapPeak.load() - before);
        rendered = static_cast<double>(out->frames() * out->channels()) * sizeof(float);
    }
    state.counters["peak_extra_MB"] = extra / 1e6;
    state.counters["rendered_MB"] = rendered / 1e6;
    state.counters["ratio_vs_rendered"] = extra / rendered;
    state.SetLabel(Verdict(extra <= 2 * rendered, "peak %.2fx the rendered sound (goal %.0fx)",
                           extra / rendered, 2));
}
BENCHMARK(RenderPeakHeap)
    ->Args({1000, 125})
    ->Args({10000, 125})
    ->Args({60000, 125})
    ->Args({100, 88200})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// For the record, at the speed bar's two ends: a 1 kHz sine's pitch at tempo ×2.04 (ratio
// 0.49, 2 s) and at the slowest tempo (ratio 882, 20 ms making 17.6 s).
void SpeedBarEnds(benchmark::State& state) {
    const double ratio = state.range(0) == 0 ? 0.49 : 882;
    const SampleBuffer source = Sine(1000, ratio < 1 ? 2 : 0.02, 1);
    std::unique_ptr<SampleBuffer> out;
    for (auto _ : state) {
        out = Render(source, ratio, 1.0);
    }
    const double hz = MeasureHz(*out, out->frames() / 4, out->frames() * 3 / 4);
    state.counters["timeRatio"] = ratio;
    state.counters["hz"] = hz;
    state.counters["length_ratio"] = SoundingFrames(*out, 0.5f) / SoundingFrames(source, 0.5f);
    state.SetLabel("record");
}
BENCHMARK(SpeedBarEnds)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace mt

BENCHMARK_MAIN();
