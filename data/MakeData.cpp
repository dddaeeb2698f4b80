// Writes the data that ships beside the program: the two layout files, made from the main
// window's geometry table, and a small kit of demo sounds synthesised here (kick, snare,
// hi-hat, a bass loop, a chord stab, a riser), so a first start has something to play.
//   make_data <output folder>
#include "files/LayoutFile.h"
#include "ui/ControlGeometry.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTwipsPerPixel = 15.0; // the 96 dpi screen the files are written for
constexpr double kTau = 2.0 * std::numbers::pi;

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_data: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray LayoutFile(const std::vector<mt::ControlPlacement>& table, double heightScale) {
    QHash<QString, mt::TwipsRect> byName;
    for (const mt::ControlPlacement& row : table) {
        byName.insert(row.name, row.rect);
    }
    std::vector<mt::LayoutRecord> records;
    for (const mt::LayoutRecordSpec& entry : mt::LayoutRecordOrder()) {
        const mt::TwipsRect r = byName.value(entry.name);
        if (!byName.contains(entry.name)) {
            std::fprintf(stderr, "make_data: no geometry for %s\n", qPrintable(entry.name));
        }
        records.push_back({r.top, r.left, r.height, r.width, entry.noFont ? 0.0f : r.fontSize});
    }
    auto pixels = [](double twips) {
        return static_cast<int>(std::lround(twips / kTwipsPerPixel));
    };
    const mt::LayoutDimensions dims{pixels(mt::kMediaPanelClosedHeightTwips * heightScale),
                                    pixels(mt::kMediaPanelOpenHeightTwips * heightScale),
                                    pixels(mt::kMainWindowWidthTwips)};
    return mt::EncodeLayoutFile(records, dims);
}

// The kit's sounds peak at most 9 dB below full scale, so that several layered at 0 dB, as a
// first try plays them, do not clip.
QByteArray Wav(const std::vector<float>& mono) {
    constexpr float kFullScale = 11600.0f;
    QByteArray data;
    data.reserve(static_cast<qsizetype>(mono.size() * 4));
    for (float x : mono) {
        const auto s =
            static_cast<std::int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * kFullScale));
        for (int channel = 0; channel < 2; ++channel) {
            data.append(static_cast<char>(s & 0xff));
            data.append(static_cast<char>((s >> 8) & 0xff));
        }
    }
    auto le32 = [](std::uint32_t v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i) {
            b[i] = static_cast<char>((v >> (8 * i)) & 0xff);
        }
        return b;
    };
    auto le16 = [](std::uint16_t v) {
        return QByteArray(1, static_cast<char>(v & 0xff)) +
               QByteArray(1, static_cast<char>(v >> 8));
    };
    const QByteArray fmt = le16(1) + le16(2) + le32(kRate) + le32(kRate * 4) + le16(4) + le16(16);
    return "RIFF" + le32(static_cast<std::uint32_t>(36 + data.size())) + "WAVE" + "fmt " +
           le32(16) + fmt + "data" + le32(static_cast<std::uint32_t>(data.size())) + data;
}

std::vector<float> Kick() {
    std::vector<float> x(kRate / 2);
    double phase = 0.0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        phase += kTau * (45.0 + 110.0 * std::exp(-t * 30.0)) / kRate;
        x[n] = static_cast<float>(0.95 * std::sin(phase) * std::exp(-t * 7.0));
    }
    return x;
}

std::vector<float> Snare(std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x(kRate * 3 / 10);
    float low = 0.0f;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        const float white = noise(random);
        low += 0.3f * (white - low);
        const double body = 0.5 * std::sin(kTau * 185.0 * t) * std::exp(-t * 25.0);
        x[n] = static_cast<float>(body + 0.6 * (white - low) * std::exp(-t * 14.0));
    }
    return x;
}

std::vector<float> HiHat(std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x(kRate / 10);
    float previous = 0.0f;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        const float white = noise(random);
        x[n] = static_cast<float>(0.5 * (white - previous) * std::exp(-t * 45.0));
        previous = white;
    }
    return x;
}

// Two bars of eighth notes at 120 BPM: exactly four seconds, a loop that matches a bar.
std::vector<float> BassLoop() {
    const double notes[] = {55.0, 55.0, 65.41, 55.0, 73.42, 55.0,  65.41, 49.0,
                            55.0, 55.0, 65.41, 55.0, 82.41, 73.42, 65.41, 61.74};
    const std::size_t eighth = kRate / 4;
    std::vector<float> x(eighth * 16);
    double phase = 0.0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const std::size_t step = n / eighth;
        const double t = static_cast<double>(n % eighth) / kRate;
        phase += kTau * notes[step] / kRate;
        const double saw = 2.0 * (phase / kTau - std::floor(phase / kTau + 0.5));
        const double tone = 0.6 * std::sin(phase) + 0.25 * saw;
        const double gate =
            std::min(1.0, t * 400.0) * std::exp(-t * 4.0) * std::min(1.0, (0.125 - t) * 400.0);
        x[n] = static_cast<float>(0.8 * tone * gate);
    }
    return x;
}

std::vector<float> ChordStab() {
    const double chord[] = {261.63, 311.13, 392.0, 466.16}; // C minor seventh
    std::vector<float> x(kRate * 6 / 10);
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        double sum = 0.0;
        for (double f : chord) {
            sum += std::sin(kTau * f * t) + 0.3 * std::sin(kTau * 2.0 * f * t);
        }
        x[n] = static_cast<float>(0.18 * sum * std::min(1.0, t * 200.0) * std::exp(-t * 5.0));
    }
    return x;
}

// One bar at 120 BPM: noise and a rising tone that swell for two seconds.
std::vector<float> Riser(std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x(kRate * 2);
    double phase = 0.0;
    float smooth = 0.0f;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double progress = t / 2.0;
        phase += kTau * (200.0 + 1800.0 * progress * progress) / kRate;
        smooth += static_cast<float>(0.05 + 0.5 * progress) * (noise(random) - smooth);
        const double fade = std::min(1.0, (2.0 - t) * 200.0);
        x[n] = static_cast<float>((0.35 * std::sin(phase) + 0.5 * smooth) * progress * fade);
    }
    return x;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_data <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out + "/demo")) {
        std::fprintf(stderr, "make_data: cannot create %s/demo\n", argv[1]);
        return 1;
    }
    std::mt19937 random(20261206);
    bool ok =
        Write(out + "/normal.dat", LayoutFile(mt::MainWindowGeometry(), 1.0)) &&
        Write(out + "/small.dat", LayoutFile(mt::SmallWindowGeometry(), mt::kSmallHeightScale)) &&
        Write(out + "/demo/kick.wav", Wav(Kick())) &&
        Write(out + "/demo/snare.wav", Wav(Snare(random))) &&
        Write(out + "/demo/hihat.wav", Wav(HiHat(random))) &&
        Write(out + "/demo/bass-loop-120bpm.wav", Wav(BassLoop())) &&
        Write(out + "/demo/chord-stab.wav", Wav(ChordStab())) &&
        Write(out + "/demo/riser-1bar.wav", Wav(Riser(random)));
    return ok ? 0 : 1;
}
