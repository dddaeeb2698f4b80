#include "audio/StretchRender.h"

#include "audio/WaveOverview.h"

#include <QCoreApplication>

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace mt {
namespace {

using RubberBand::RubberBandStretcher;

// Frames fed and taken per call: small enough to cancel and report promptly, large enough
// that the calls cost nothing beside the transforms.
constexpr int kChunkFrames = 4096;

// R3 for its quality on vocals, chords and bass; its single short window because the full
// multi-resolution scheme renders at 7-12× real time on one core here, too slow to follow a
// performer's changes, where the short one runs at 29-42× for tempo and 18-20× for a pitch
// shift. Offline: the whole sound is there, so the stretcher studies it first and gives
// exactly the length asked for, with no start delay to trim. One thread: the loader shares
// two cores with the sound server.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner |
    RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionThreadingNever |
    RubberBandStretcher::OptionChannelsTogether;

// The longest stretch one pass gives in full. Past about 8.5 the short window's analysis hop
// would fall under a sample: the stretcher then hands back fewer frames than asked, a tenth of
// them at 882, and the sound would end early in silence. Slower speeds take equal passes.
constexpr double kMaxPassRatio = 8.0;

// De-interleaves frames [from, from + count) of `source` into the planes of `planes`.
void Split(const SampleBuffer& source, std::int64_t from, int count,
           std::vector<std::vector<float>>& planes) {
    const int channels = source.channels();
    const float* s = source.data() + from * channels;
    for (int c = 0; c < channels; ++c) {
        float* plane = planes[static_cast<std::size_t>(c)].data();
        for (int i = 0; i < count; ++i) {
            plane[i] = s[static_cast<std::ptrdiff_t>(i) * channels + c];
        }
    }
}

std::unique_ptr<SampleBuffer> Render(const SampleBuffer& source, double timeRatio,
                                     double pitchScale,
                                     const std::function<bool(double fraction)>& progress,
                                     std::int64_t outFrames) {
    const int channels = source.channels();
    const std::int64_t inFrames = source.frames();
    auto out = std::make_unique<SampleBuffer>(outFrames, channels, source.sampleRate());
    RubberBandStretcher stretcher(static_cast<std::size_t>(source.sampleRate()),
                                  static_cast<std::size_t>(channels), kOptions, timeRatio,
                                  pitchScale);
    stretcher.setExpectedInputDuration(static_cast<std::size_t>(inFrames));
    stretcher.setMaxProcessSize(kChunkFrames);

    std::vector<std::vector<float>> planes(static_cast<std::size_t>(channels),
                                           std::vector<float>(kChunkFrames));
    std::vector<const float*> in(static_cast<std::size_t>(channels));
    std::vector<float*> take(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        in[static_cast<std::size_t>(c)] = planes[static_cast<std::size_t>(c)].data();
        take[static_cast<std::size_t>(c)] = planes[static_cast<std::size_t>(c)].data();
    }
    // The study pass is a small share of the work: a tenth of the progress.
    for (std::int64_t at = 0; at < inFrames; at += kChunkFrames) {
        const int n = static_cast<int>(std::min<std::int64_t>(kChunkFrames, inFrames - at));
        Split(source, at, n, planes);
        stretcher.study(in.data(), static_cast<std::size_t>(n), at + n >= inFrames);
        if (!progress(0.1 * static_cast<double>(at + n) / static_cast<double>(inFrames))) {
            return nullptr;
        }
    }

    std::int64_t written = 0;
    float* o = out->data();
    const auto drain = [&] {
        for (int ready = stretcher.available(); ready > 0; ready = stretcher.available()) {
            const int n = std::min(ready, kChunkFrames);
            const auto got = static_cast<int>(stretcher.retrieve(take.data(), n));
            // The stretcher gives the length asked for; anything past it is not kept.
            const int keep = static_cast<int>(std::min<std::int64_t>(got, outFrames - written));
            for (int i = 0; i < keep; ++i) {
                for (int c = 0; c < channels; ++c) {
                    o[(written + i) * channels + c] = planes[static_cast<std::size_t>(c)][i];
                }
            }
            written += keep;
            if (got <= 0) {
                break;
            }
        }
    };
    for (std::int64_t at = 0; at < inFrames; at += kChunkFrames) {
        const int n = static_cast<int>(std::min<std::int64_t>(kChunkFrames, inFrames - at));
        Split(source, at, n, planes);
        stretcher.process(in.data(), static_cast<std::size_t>(n), at + n >= inFrames);
        drain();
        if (!progress(0.1 + 0.9 * static_cast<double>(at + n) / static_cast<double>(inFrames))) {
            return nullptr;
        }
    }
    drain();
    // Short by a few frames, should the stretcher ever give fewer: silence, not garbage.
    std::fill(o + written * channels, o + outFrames * channels, 0.0f);
    return out;
}

// `source` stretched to `outFrames` in as few equal passes of at most kMaxPassRatio as reach
// it, the pitch moved in the first. Each pass's share of the progress is its share of the
// frames made, which its cost follows.
std::unique_ptr<SampleBuffer> RenderInPasses(const SampleBuffer& source, double timeRatio,
                                             double pitchScale,
                                             const std::function<bool(double fraction)>& progress,
                                             std::int64_t outFrames) {
    const int passes =
        timeRatio > kMaxPassRatio
            ? static_cast<int>(std::ceil(std::log(timeRatio) / std::log(kMaxPassRatio)))
            : 1;
    std::vector<std::int64_t> frames(static_cast<std::size_t>(passes), outFrames);
    for (int k = 1; k < passes; ++k) {
        frames[static_cast<std::size_t>(k - 1)] =
            std::llround(static_cast<double>(source.frames()) *
                         std::pow(timeRatio, static_cast<double>(k) / passes));
    }
    double total = 0;
    for (const std::int64_t f : frames) {
        total += static_cast<double>(f);
    }
    std::unique_ptr<SampleBuffer> made;
    double done = 0;
    for (int k = 0; k < passes; ++k) {
        const SampleBuffer& in = made ? *made : source;
        const std::int64_t n = frames[static_cast<std::size_t>(k)];
        const double share = static_cast<double>(n) / total;
        made = Render(
            in, static_cast<double>(n) / static_cast<double>(in.frames()),
            k == 0 ? pitchScale : 1.0,
            [&](double fraction) { return progress(done + share * fraction); }, n);
        if (!made) {
            return nullptr;
        }
        done += share;
    }
    return made;
}

} // namespace

std::unique_ptr<SampleBuffer> RenderStretched(const SampleBuffer& source, double timeRatio,
                                              double pitchScale,
                                              const std::function<bool(double fraction)>& progress,
                                              QString& reason) {
    reason.clear();
    if (!std::isfinite(timeRatio) || !std::isfinite(pitchScale) || timeRatio <= 0.0 ||
        pitchScale <= 0.0) {
        reason =
            QCoreApplication::translate("mt::StretchRender", "速さか音程の値が正しくありません");
        return nullptr;
    }
    const double frames = std::round(static_cast<double>(source.frames()) * timeRatio);
    if (frames * source.channels() > static_cast<double>(kMaxRenderedSamples)) {
        reason = QCoreApplication::translate(
            "mt::StretchRender", "この速さでは音が長くなりすぎるため、音程を保てません");
        return nullptr;
    }
    const auto outFrames = static_cast<std::int64_t>(frames);
    if (source.frames() == 0 || outFrames == 0) {
        auto empty = std::make_unique<SampleBuffer>(0, source.channels(), source.sampleRate());
        empty->setOverview(MakeWaveOverview(*empty));
        return empty;
    }
    try {
        auto out = RenderInPasses(source, timeRatio, pitchScale, progress, outFrames);
        if (out) {
            out->setOverview(MakeWaveOverview(*out));
        }
        return out;
    } catch (const std::bad_alloc&) {
        reason = QCoreApplication::translate("mt::StretchRender",
                                             "メモリが足りないため、音程を保てません");
        return nullptr;
    }
}

} // namespace mt
