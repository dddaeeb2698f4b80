// Loading a big track while the program runs: how long the UI thread's event loop is held up
// (a 1 ms timer's lateness), how long the load takes, and the peak memory it costs against
// the decoded samples, for the background load and for the blocking load it replaced (the
// whole file read into memory, then decoded, on the UI thread). `play` keeps a track looping
// on the default sound device meanwhile, for bench/load_gaps.py to record.
//
// `render`: keep-pitch tracks rendering their stretched sound on the loader thread while eight
// tracks loop on an offline output pulled at the pace of time: the UI thread's longest block,
// the renders' time against the sound's, and one track's peak memory against its source and
// the two rendered sounds it holds while a new speed renders. Without a mode both probes run.
//
//   bench_loading [probe | render | play [blocking]] [--dir D] [--wav-mb N] [--flac-mb N]
//                 [--render-s N]
#include "app/LibraryTrackSound.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "core/TrackBank.h"
#include "platform/MessageBoxService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <malloc.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace mt {
namespace {

class PrintedMessages final : public MessageBoxService {
public:
    void show(const QString& text, const QString& title, MessageIcon) override {
        std::printf("message [%s] %s\n", qPrintable(title), qPrintable(text));
    }
    bool confirm(const QString&, const QString&) override { return true; }
};

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(line.find(':') + 1));
        }
    }
    return 0;
}

// The peak resident size starts again from the present one.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The 1-minute load average, printed beside the figures: this machine is shared.
QString Load() {
    QFile file(QStringLiteral("/proc/loadavg"));
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 0);
}

double Monotonic() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Writes `seconds` of 16-bit stereo at 44.1 kHz in `format`, a block at a time: uniform noise
// (FLAC cannot shrink it much) or a tone with a little noise.
bool WriteSound(const QString& path, int format, double seconds, bool noise) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (f == nullptr) {
        return false;
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<int> wide(-29000, 29000), narrow(-300, 300);
    std::vector<short> block(std::size_t{2} * 65536);
    const auto total = static_cast<std::int64_t>(seconds * 44100);
    for (std::int64_t done = 0; done < total;) {
        const auto frames = std::min<std::int64_t>(65536, total - done);
        for (std::int64_t i = 0; i < frames; ++i) {
            const double tone = 12000 * std::sin(2 * std::numbers::pi * 220 * (done + i) / 44100);
            for (int c = 0; c < 2; ++c) {
                block[static_cast<std::size_t>(2 * i + c)] = static_cast<short>(
                    noise ? wide(random) : static_cast<int>(tone) + narrow(random));
            }
        }
        sf_writef_short(f, block.data(), frames);
        done += frames;
    }
    sf_close(f);
    return true;
}

// A file of about `megabytes` in `format`, made once and kept in `dir`.
QString Fixture(const QDir& dir, const char* name, int format, double megabytes, bool noise) {
    QString path = dir.filePath(QString::fromLatin1(name));
    // Uncompressed stereo 16-bit is 176.4 kB/s; noise in FLAC keeps about 97 % of it.
    const double seconds = megabytes * 1e6 / (noise ? 171000.0 : 176400.0);
    if (QFileInfo(path).size() < static_cast<qint64>(megabytes * 1e6 * 0.9)) {
        std::printf("making %s (%.0f s)...\n", qPrintable(path), seconds);
        std::fflush(stdout);
        if (!WriteSound(path, format, seconds, noise)) {
            std::printf("cannot write %s\n", qPrintable(path));
            return {};
        }
    }
    return path;
}

// The UI thread's lateness: a 1 ms timer and the longest wait beyond its period.
class LatencyProbe {
public:
    LatencyProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worstNs = std::max(m_worstNs, now - m_lastNs - 1'000'000);
            m_lastNs = now;
        });
    }
    void start() {
        m_worstNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }
    double stopMs() {
        m_timer.stop();
        return static_cast<double>(m_worstNs) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_worstNs = 0;
};

// Runs the event loop until `done` holds, checking every millisecond.
void RunUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start(1);
    loop.exec();
}

void Pause(int ms) {
    QElapsedTimer t;
    t.start();
    RunUntil([&] { return t.elapsed() >= ms; });
}

struct Outcome {
    double blockMs = 0, loadSeconds = 0, peakMb = 0, decodedMb = 0;
};

// Loads `path` into track 0 of a bank on `library`, in the background or as before.
Outcome LoadOnce(SoundDevice& library, TrackBank& bank, const QString& path, bool blocking) {
    LatencyProbe probe;
    Outcome out;
    const long rssBefore = StatusKb("VmRSS:");
    ResetPeak();
    probe.start();
    Pause(50);
    QElapsedTimer clock;
    clock.start();
    std::int32_t buffer = 0;
    if (blocking) {
        QTimer::singleShot(0, [&] {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QByteArray image = file.readAll();
            buffer = createSoundBuffer(library.soundLibHandle, image.constData(),
                                       static_cast<std::size_t>(image.size()), 1);
        });
        RunUntil([&] { return buffer != 0; });
    } else {
        bank.assign(0, path);
        RunUntil([&] { return !bank.track(0).loading(); });
        buffer = bank.track(0).buffer;
    }
    out.loadSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    Pause(50);
    out.blockMs = probe.stopMs();
    out.peakMb = static_cast<double>(StatusKb("VmHWM:") - rssBefore) / 1024.0;
    out.decodedMb = static_cast<double>(bank.track(0).frames) * 2 * 4 / (1024.0 * 1024.0);
    if (blocking) {
        freeSoundBuffer(buffer);
    } else {
        bank.clear(0);
    }
    return out;
}

int Probe(const QString& wav, const QString& flac) {
    PrintedMessages messages;
    std::printf("%-22s %10s %9s %12s %12s %8s\n", "load", "block ms", "load s", "peak MB",
                "decoded MB", "peak/dec");
    Outcome results[2][2];
    const QString paths[2] = {wav, flac};
    for (int blocking = 0; blocking < 2; ++blocking) {
        for (int f = 0; f < 2; ++f) {
            // A fresh library each time: its buffers and their memory go with it.
            SoundDevice library(messages, [](std::intptr_t, std::int32_t) {
                return openSoundLibraryWith(std::make_unique<OfflineOutput>());
            });
            library.InitSoundLibrary(0, 2);
            LibraryTrackSound sound(library);
            TrackBank bank(sound);
            Outcome o = LoadOnce(library, bank, paths[f], blocking != 0);
            if (blocking != 0) {
                o.decodedMb = results[0][f].decodedMb; // the same file, no track of its own
            }
            results[blocking][f] = o;
            std::printf("%-22s %10.1f %9.2f %12.0f %12.0f %8.2f\n",
                        qPrintable((blocking ? QStringLiteral("blocking ")
                                             : QStringLiteral("background ")) +
                                   QFileInfo(paths[f]).fileName()),
                        o.blockMs, o.loadSeconds, o.peakMb, o.decodedMb, o.peakMb / o.decodedMb);
            std::fflush(stdout);
            library.TerminateSoundLibrary();
        }
    }
    for (int f = 0; f < 2; ++f) {
        const Outcome &now = results[0][f], &before = results[1][f];
        std::printf("%s: longest block %.1f ms (%.3f of the blocking load's), load time x%.2f, "
                    "peak memory x%.2f\n",
                    qPrintable(QFileInfo(paths[f]).fileName()), now.blockMs,
                    now.blockMs / before.blockMs, now.loadSeconds / before.loadSeconds,
                    now.peakMb / before.peakMb);
    }
    return 0;
}

// A 1 kHz loop on track 1 of the default device; 2 s in, `path` loads into track 0; 2 s after
// it is ready the program ends. Prints the monotonic times for the recorder's analysis.
int Play(const QString& dir, const QString& path, bool blocking) {
    PrintedMessages messages;
    SoundDevice library(messages);
    library.InitSoundLibrary(0, 2);
    if (library.soundLibHandle == 0) {
        std::printf("no sound device\n");
        return 1;
    }
    LibraryTrackSound sound(library);
    TrackBank bank(sound);
    const QString loop = QDir(dir).filePath(QStringLiteral("loop.wav"));
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(loop).constData(), SFM_WRITE, &info);
    std::vector<short> tone(std::size_t{2} * 44100);
    for (std::size_t frame = 0; frame < 44100; ++frame) {
        const auto x = static_cast<short>(
            12000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(frame) / 44100));
        tone[2 * frame] = x;
        tone[2 * frame + 1] = x;
    }
    sf_writef_short(f, tone.data(), 44100);
    sf_close(f);
    bank.assign(1, loop);
    RunUntil([&] { return bank.track(1).loaded; });
    bank.playLooping(1);
    std::printf("playing %.3f\n", Monotonic());
    Pause(2000);
    const double began = Monotonic();
    const Outcome o = LoadOnce(library, bank, path, blocking);
    std::printf("loaded %.3f %.3f block %.1f ms\n", began, Monotonic(), o.blockMs);
    Pause(2000);
    std::printf("ending %.3f\n", Monotonic());
    std::fflush(stdout);
    library.TerminateSoundLibrary();
    return 0;
}

// The live heap: what malloc has handed out and not had back, in its arenas and in blocks
// mapped alone (mallinfo2's uordblks + hblkhd), Rubber Band's and the library's alike, with
// its peak sampled every millisecond on a thread of its own. Not the free memory the allocator
// keeps, nor code, stacks or pages shared with other processes: the resident high-water mark
// beside it counts those.
class HeapWatch {
public:
    HeapWatch() : m_thread([this] { run(); }) {}
    ~HeapWatch() {
        m_running = false;
        m_thread.join();
    }
    HeapWatch(const HeapWatch&) = delete;
    HeapWatch& operator=(const HeapWatch&) = delete;

    static std::size_t Now() {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    }
    void resetPeak() { m_peak = Now(); }
    std::size_t peak() const { return m_peak; }

private:
    void run() {
        while (m_running) {
            const std::size_t now = Now();
            // A reset meanwhile is never undone by an older, larger reading.
            std::size_t seen = m_peak;
            while (now > seen && !m_peak.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::atomic<bool> m_running{true};
    std::atomic<std::size_t> m_peak{0};
    std::thread m_thread; // last: starts once the rest is made
};

// The audio thread of an offline output: blocks of 256 frames pulled at the pace of time, as a
// device would take them, so that voices play, crossfades run and freed buffers come back.
class RealTimePull {
public:
    explicit RealTimePull(OfflineOutput& output) : m_output(output), m_thread([this] { run(); }) {}
    ~RealTimePull() {
        m_running = false;
        m_thread.join();
    }
    RealTimePull(const RealTimePull&) = delete;
    RealTimePull& operator=(const RealTimePull&) = delete;

private:
    static constexpr int kBlock = 256;

    void run() {
        std::vector<float> block(static_cast<std::size_t>(kBlock * m_output.config().channels));
        const auto period =
            std::chrono::nanoseconds(1'000'000'000LL * kBlock / std::max(m_output.deviceRate(), 1));
        auto next = std::chrono::steady_clock::now();
        while (m_running) {
            m_output.pull(block.data(), kBlock);
            next += period;
            std::this_thread::sleep_until(next);
        }
    }

    OfflineOutput& m_output;
    std::atomic<bool> m_running{true};
    std::thread m_thread; // last: starts once the rest is made
};

constexpr int kFasterSpeed = 5292; // x1.20: a shorter sound
constexpr int kSlowerSpeed = 3969; // x0.90: a longer one
constexpr double kBlockGoalMs = 20.0;

struct RenderStep {
    double blockMs = 0, renderSeconds = 0;
    bool failed = false;
};

// Tracks 0..count-1 to keep pitch at `speed`, all at once as a performer's set would be, until
// each has changed over to its new sound: the UI thread's longest block meanwhile and the time
// the renders took, the debounce before them left out.
RenderStep Restretch(TrackBank& bank, int count, int speed) {
    LatencyProbe probe;
    RenderStep out;
    probe.start();
    Pause(50);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        bank.setStretch(i, Stretch::KeepPitch);
        bank.setSpeed(i, speed);
    }
    RunUntil([&] {
        for (int i = 0; i < count; ++i) {
            const Track& t = bank.track(i);
            if (t.renderState == RenderState::Failed) {
                std::printf("track %d: %s\n", i + 1, qPrintable(t.renderError));
                return out.failed = true;
            }
            if (t.renderState != RenderState::None || t.rendered == 0 || t.renderedSpeed != speed) {
                return false;
            }
        }
        return true;
    });
    out.renderSeconds =
        static_cast<double>(clock.nsecsElapsed()) / 1e9 - TrackBank::kRenderDelayMs / 1000.0;
    Pause(50);
    out.blockMs = probe.stopMs();
    return out;
}

double Megabytes(double bytes) {
    return bytes / (1024.0 * 1024.0);
}

// The bytes of the track's sounding rendered buffer: float samples, two channels.
double RenderedBytes(TrackSound& sound, const Track& t) {
    return static_cast<double>(sound.frames(t.rendered)) * 2 * 4;
}

int RenderProbe(const QString& path) {
    PrintedMessages messages;
    OfflineOutput* output = nullptr;
    SoundDevice library(messages, [&output](std::intptr_t, std::int32_t) {
        auto made = std::make_unique<OfflineOutput>();
        output = made.get();
        return openSoundLibraryWith(std::move(made));
    });
    library.InitSoundLibrary(0, 2);
    if (output == nullptr) {
        return 1;
    }
    LibraryTrackSound sound(library);
    TrackBank bank(sound);
    HeapWatch heap;
    // As the display timer does: what the audio thread gave back is freed.
    QTimer collect;
    QObject::connect(&collect, &QTimer::timeout,
                     [&library] { collectLibrary(library.soundLibHandle); });
    collect.start(33);
    int status = 0;
    {
        RealTimePull pull(*output);
        double seconds = 0; // the source's, at its own rate
        double worstBlockMs = 0;
        const auto print = [&](const char* name, int count, const RenderStep& s) {
            worstBlockMs = std::max(worstBlockMs, s.blockMs);
            std::printf("%-30s %7d %9.1f %9.2f %8.1f\n", name, count, s.blockMs, s.renderSeconds,
                        count * seconds / s.renderSeconds);
            std::fflush(stdout);
            return !s.failed;
        };

        // One track alone, so that what the process gains is that track's: its load, its first
        // render and the second made while the first still plays.
        const std::size_t heapBefore = HeapWatch::Now();
        const long rssBefore = StatusKb("VmRSS:");
        heap.resetPeak();
        ResetPeak();
        bank.assign(0, path);
        RunUntil([&] { return !bank.track(0).loading(); });
        bank.playLooping(0);
        const double sourceBytes = static_cast<double>(bank.track(0).frames) * 2 * 4;
        seconds = static_cast<double>(bank.track(0).frames) / bank.track(0).sampleRate;
        std::printf("render: %s, %.1f s of %d Hz stereo, in each track, looping on an offline "
                    "output pulled in real time; keep pitch at x%.2f, then x%.2f while the first "
                    "render plays; load %s\n",
                    qPrintable(QFileInfo(path).fileName()), seconds, bank.track(0).sampleRate,
                    kFasterSpeed / 4410.0, kSlowerSpeed / 4410.0, qPrintable(Load()));
        std::printf("%-30s %7s %9s %9s %8s\n", "render", "tracks", "block ms", "render s",
                    "x real");
        bool ok = print("keep pitch (one track)", 1, Restretch(bank, 1, kFasterSpeed));
        const double firstBytes = RenderedBytes(sound, bank.track(0));
        ok = ok && print("new speed, old held (one)", 1, Restretch(bank, 1, kSlowerSpeed));
        const double secondBytes = RenderedBytes(sound, bank.track(0));
        const double heapPeak = static_cast<double>(heap.peak() - heapBefore);
        const double rssPeak = static_cast<double>(StatusKb("VmHWM:") - rssBefore) * 1024.0;

        // Then the whole bank from tape: each track renders in its turn on the one loader.
        bank.setStretch(0, Stretch::Tape);
        bank.setSpeed(0, kNormalSpeed);
        for (int i = 1; i < kTrackCount; ++i) {
            bank.assign(i, path);
            RunUntil([&] { return !bank.track(i).loading(); });
            bank.playLooping(i);
        }
        // The machine's own share of the blocks: as long with nothing rendering.
        LatencyProbe idle;
        idle.start();
        Pause(5000);
        std::printf("%-30s %7d %9.1f %9s %8s\n", "nothing rendering (5 s)", kTrackCount,
                    idle.stopMs(), "-", "-");
        for (const auto& [name, speed] : {std::pair{"keep pitch (eight tracks)", kFasterSpeed},
                                          std::pair{"new speed, old held (eight)", kSlowerSpeed}}) {
            ok = ok && print(name, kTrackCount, Restretch(bank, kTrackCount, speed));
        }
        // What a track may hold at most, source + 2 x rendered: its source, the rendered sound
        // still playing and the one being made, here of two lengths.
        const double budget = sourceBytes + firstBytes + secondBytes;
        std::printf("one track's peak memory: heap %.1f MB, resident %.1f MB; its source %.1f + "
                    "the two renders %.1f + %.1f = %.1f MB: heap x%.2f, resident x%.2f (%.1f MB "
                    "beyond the three sounds)\n",
                    Megabytes(heapPeak), Megabytes(rssPeak), Megabytes(sourceBytes),
                    Megabytes(firstBytes), Megabytes(secondBytes), Megabytes(budget),
                    heapPeak / budget, rssPeak / budget, Megabytes(heapPeak - budget));
        std::printf("longest UI block while rendering %.1f ms: x%.2f of the %.0f ms goal; load "
                    "%s\n",
                    worstBlockMs, worstBlockMs / kBlockGoalMs, kBlockGoalMs, qPrintable(Load()));
        std::fflush(stdout);
        status = ok ? 0 : 1;
        for (int i = 0; i < kTrackCount; ++i) {
            bank.clear(i);
        }
    }
    library.TerminateSoundLibrary();
    return status;
}

} // namespace
} // namespace mt

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const auto option = [&args](const QString& name, const QString& fallback) {
        const qsizetype at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size()) {
            return fallback;
        }
        QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    };
    const QString dir = option("--dir", QDir::temp().filePath("marrowtune-loadbench"));
    const double wavMb = option("--wav-mb", "1074").toDouble(); // 1 GiB
    const double flacMb = option("--flac-mb", "100").toDouble();
    const double renderSeconds = option("--render-s", "30").toDouble();
    QDir().mkpath(dir);
    const QString mode = args.isEmpty() ? QString() : args.first();
    int status = 0;
    if (mode.isEmpty() || mode == QStringLiteral("render")) {
        // Uncompressed stereo 16-bit is 176.4 kB/s.
        const QByteArray name = QStringLiteral("render%1s.wav").arg(renderSeconds).toLatin1();
        const QString path =
            mt::Fixture(QDir(dir), name.constData(), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                        renderSeconds * 0.1764, false);
        status = path.isEmpty() ? 1 : mt::RenderProbe(path);
        if (!mode.isEmpty()) {
            return status;
        }
    }
    const QString wav =
        mt::Fixture(QDir(dir), "big.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, wavMb, false);
    const QString flac =
        mt::Fixture(QDir(dir), "big.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, flacMb, true);
    if (wav.isEmpty() || flac.isEmpty()) {
        return 1;
    }
    if (mode == QStringLiteral("play")) {
        return mt::Play(dir, wav, args.contains(QStringLiteral("blocking")));
    }
    return std::max(status, mt::Probe(wav, flac));
}
