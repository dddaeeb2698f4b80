// The MIDI player's speed figures: the synth's share of one device block while a busy song
// plays, reading a large song, and opening the synth with its SoundFont.
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "media/midi/MidiLibrary.h"
#include "media/midi/SmfSong.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace mt {
namespace {

constexpr int kRate = 44100;
constexpr std::size_t kBlock = 256;

void Put(QByteArray& b, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        b += static_cast<char>((v >> (8 * i)) & 0xff);
    }
}

// One track of `bars` bars at 120 BPM: a chord of `voices` notes struck on every eighth, on
// channels 0..3, with a drum hit each time.
QByteArray BusySong(int bars, int voices) {
    QByteArray t;
    t += QByteArray("\x00\xff\x51\x03\x07\xa1\x20", 7);
    for (int ch = 0; ch < 4; ++ch) {
        t += '\0';
        t += static_cast<char>(0xc0 | ch);
        t += static_cast<char>(ch * 8);
    }
    for (int step = 0; step < bars * 8; ++step) {
        for (int v = 0; v < voices; ++v) {
            t += '\0';
            t += static_cast<char>(0x90 | (v % 4));
            t += static_cast<char>(48 + (v * 5 + step) % 36);
            t += static_cast<char>(90);
        }
        t += QByteArray("\x00\x99\x24\x64", 4);
        // 240 ticks later (two delta bytes), every note off again.
        for (int v = 0; v < voices; ++v) {
            if (v == 0) {
                t += QByteArray("\x81\x70", 2);
            } else {
                t += '\0';
            }
            t += static_cast<char>(0x80 | (v % 4));
            t += static_cast<char>(48 + (v * 5 + step) % 36);
            t += '\0';
        }
    }
    t += QByteArray("\x00\xff\x2f\x00", 4);
    QByteArray b("MThd");
    Put(b, 6, 4);
    Put(b, 0, 2);
    Put(b, 1, 2);
    Put(b, 480, 2);
    b += "MTrk";
    Put(b, static_cast<std::uint32_t>(t.size()), 4);
    b += t;
    return b;
}

// The engine's block with the synth playing 16 voices plus drums, reverb and chorus on.
void BM_SynthBlock(benchmark::State& state) {
    auto output = std::make_unique<OfflineOutput>();
    OfflineOutput* out = output.get();
    const std::int32_t library =
        openSoundLibraryWith(std::move(output), OutputConfig{kRate, 2, 256});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("busy.mid"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(BusySong(64, 16));
    f.close();
    MidiLibrary kbgm;
    kbgm.open(10, -1);
    kbgm.setOutput(library);
    std::int32_t song = 0;
    kbgm.loadFile(song, path);
    kbgm.play(song, 1);
    std::vector<float> block(2 * kBlock);
    for (int i = 0; i < kRate / static_cast<int>(kBlock); ++i) {
        out->pull(block.data(), kBlock); // into the song, voices sounding
    }
    for (auto _ : state) {
        out->pull(block.data(), kBlock);
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["block_ms"] = 1000.0 * kBlock / kRate;
    kbgm.close();
    closeSoundLibrary(library);
}
BENCHMARK(BM_SynthBlock)->Unit(benchmark::kMicrosecond);

void BM_ParseSong(benchmark::State& state) {
    const QByteArray bytes = BusySong(512, 16); // about 1 MB
    for (auto _ : state) {
        SmfSong song;
        ParseSmf(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                 static_cast<std::size_t>(bytes.size()), song);
        benchmark::DoNotOptimize(song.events.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseSong)->Unit(benchmark::kMillisecond);

void BM_OpenSynth(benchmark::State& state) {
    for (auto _ : state) {
        MidiLibrary kbgm;
        benchmark::DoNotOptimize(kbgm.open(10, -1));
    }
}
BENCHMARK(BM_OpenSynth)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace mt

BENCHMARK_MAIN();
