#include "AudioTestKit.h"

#include "audio/SoundBuffers.h"
#include "support/WavBytes.h"

#include <QFile>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mt::test {

QByteArray Pcm16Wav(int rate, int channels, const std::vector<float>& samples) {
    QByteArray data;
    data.reserve(static_cast<qsizetype>(samples.size()) * 2);
    for (const float s : samples) {
        const auto v = static_cast<std::int32_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767));
        data += Le16(v);
    }
    const QByteArray body =
        QByteArray("WAVE") + Chunk("fmt ", FmtBody(1, channels, rate, 16)) + Chunk("data", data);
    return Chunk("RIFF", body);
}

QByteArray SineWav(int rate, int channels, double hz, int frames, double amplitude) {
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
        for (int c = 0; c < channels; ++c) {
            samples[static_cast<std::size_t>(i) * channels + c] = v;
        }
    }
    return Pcm16Wav(rate, channels, samples);
}

QByteArray EncodedWav(int format, int rate, int channels, const std::vector<float>& samples) {
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("encoded")).toLocal8Bit();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open(path.constData(), SFM_WRITE, &info);
    if (sf == nullptr) {
        return {};
    }
    sf_writef_float(sf, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(sf);
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<float> Settled(const std::vector<float>& x, int channels, int frames) {
    return {x.begin() + static_cast<std::ptrdiff_t>(frames) * channels, x.end()};
}

std::vector<float> Channel(const std::vector<float>& interleaved, int channel, int channels) {
    std::vector<float> out;
    out.reserve(interleaved.size() / static_cast<std::size_t>(channels));
    for (std::size_t i = static_cast<std::size_t>(channel); i < interleaved.size();
         i += static_cast<std::size_t>(channels)) {
        out.push_back(interleaved[i]);
    }
    return out;
}

double MeasureHz(const std::vector<float>& x, int rate) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) {
                first = t;
            }
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

double RmsDb(const std::vector<float>& x, double reference) {
    double sum = 0;
    for (const float v : x) {
        sum += static_cast<double>(v) * v;
    }
    return 20 * std::log10(std::sqrt(sum / static_cast<double>(x.size())) / reference);
}

float MaxStep(const std::vector<float>& x) {
    float step = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        step = std::max(step, std::fabs(x[i] - x[i - 1]));
    }
    return step;
}

float Peak(const std::vector<float>& x) {
    float p = 0;
    for (const float v : x) {
        p = std::max(p, std::fabs(v));
    }
    return p;
}

double ToneAmplitude(const std::vector<float>& x, int rate, double hz) {
    double re = 0;
    double im = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        re += x[i] * std::cos(w);
        im += x[i] * std::sin(w);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(x.size());
}

OfflineLibrary::OfflineLibrary(int rate, int channels, int blockFrames) {
    auto output = std::make_unique<OfflineOutput>();
    m_output = output.get();
    handle = openSoundLibraryWith(std::move(output), OutputConfig{rate, channels, blockFrames});
}

OfflineLibrary::~OfflineLibrary() {
    closeSoundLibrary(handle);
}

std::int32_t LoadWav(std::int32_t lib, const QByteArray& wav) {
    return createSoundBuffer(lib, wav.constData(), static_cast<std::size_t>(wav.size()), 1);
}

} // namespace mt::test
