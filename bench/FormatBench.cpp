// Decode speed of each format a track plays, in times real time, and the header read that a
// track assignment makes before it (on the UI thread until loading moves off it).
#include "audio/SoundFileInfo.h"
#include "audio/WavDecoder.h"
#include "audio/WavReader.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace mt {
namespace {

constexpr int kSeconds = 60;

struct Format {
    const char* name;
    int format;
    int rate;
};

const Format kFormats[] = {
    {"wav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100},
    {"flac16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100},
    {"flac24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000},
    {"vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100},
    {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
    {"aiff16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100},
};

// A minute of stereo that codecs cannot make trivial: two tones under seeded noise.
bool WriteMinute(const QString& path, const Format& f) {
    SF_INFO info{};
    info.samplerate = f.rate;
    info.channels = 2;
    info.format = f.format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    std::vector<float> block(std::size_t{2} * 4096);
    std::uint32_t seed = 1;
    for (std::int64_t done = 0; done < std::int64_t{kSeconds} * f.rate; done += 4096) {
        for (std::size_t i = 0; i < 4096; ++i) {
            const double t = static_cast<double>(done + static_cast<std::int64_t>(i)) / f.rate;
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.1;
            block[2 * i] =
                static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440 * t) + noise);
            block[2 * i + 1] =
                static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 660 * t) - noise);
        }
        sf_writef_float(file, block.data(), 4096);
    }
    sf_close(file);
    return true;
}

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

QString FileOf(const Format& f) {
    QString path = Folder().filePath(QString::fromLatin1(f.name));
    if (!QFile::exists(path) && !WriteMinute(path, f)) {
        return {};
    }
    return path;
}

// The whole image decoded as a track load decodes it; "x_realtime" is seconds of sound per
// second of decoding.
void Decode(benchmark::State& state, const Format& f) {
    QFile file(FileOf(f));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no file");
        return;
    }
    const QByteArray image = file.readAll();
    for (auto _ : state) {
        QString reason;
        auto samples =
            DecodeWavImage(image.constData(), static_cast<std::size_t>(image.size()), reason);
        if (!samples) {
            state.SkipWithError("refused");
            return;
        }
        benchmark::DoNotOptimize(samples->data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["MB"] = static_cast<double>(image.size()) / 1e6;
}

// The header read before the decode: an Ogg stream's is a search for its last page.
void ReadHeaders(benchmark::State& state, const Format& f) {
    const QString path = FileOf(f);
    for (auto _ : state) {
        WavInfo info;
        if (!ReadSoundInfo(path, info)) {
            state.SkipWithError("refused");
            return;
        }
        benchmark::DoNotOptimize(info.frameCount);
    }
}

} // namespace
} // namespace mt

int main(int argc, char** argv) {
    for (const mt::Format& f : mt::kFormats) {
        benchmark::RegisterBenchmark((std::string("Decode/") + f.name).c_str(), mt::Decode, f)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark((std::string("ReadHeaders/") + f.name).c_str(),
                                     mt::ReadHeaders, f)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
