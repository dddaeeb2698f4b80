// The display work's speed figures: one display tick of the main window with eight looping
// tracks (meters, playheads, master meter and the repaint they cause) on Qt's offscreen
// platform, and the waveform overview made at decode time.
#include "app/AppContext.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "audio/WaveOverview.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogServices.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

namespace mt {
namespace {

constexpr int kRate = 44100;

std::vector<float> Sine(int channels, double hz, int frames) {
    std::vector<float> x;
    x.reserve(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels));
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * i / kRate));
        x.insert(x.end(), static_cast<std::size_t>(channels), v);
    }
    return x;
}

bool WriteWav(const QString& path, const std::vector<float>& samples, int channels) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (f == nullptr) {
        return false;
    }
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    return sf_close(f) == 0;
}

// One tick as the window's timer gives it, then the repaint it asked for. Reports the mean
// as a share of one core at the display rate and the longest tick: the most a key press that
// arrives meanwhile waits.
void MainWindowTick(benchmark::State& state) {
    QtMessageBoxService messages;
    QtFileDialogService fileDialogs;
    OverrideCursor cursor;
    IniSettingsStore settings;
    DesktopTrash trash;
    DetachedProcessLauncher processes;
    DesktopUrlOpener urls;
    QtModalRunner modals;
    PlatformServices platform{messages, fileDialogs, cursor, settings,
                              trash,    processes,   urls,   modals};
    OfflineOutput* output = nullptr;
    AppContext app(platform, [&output](std::intptr_t, std::int32_t) {
        auto offline = std::make_unique<OfflineOutput>();
        output = offline.get();
        return openSoundLibraryWith(std::move(offline));
    });
    app.sound.OpenSoundDevice(0, app.outputFormat);
    MainWindow window(app);
    QTemporaryDir dir;
    for (int i = 0; i < kTrackCount; ++i) {
        const QString path = dir.filePath(QStringLiteral("loop%1.wav").arg(i));
        if (!WriteWav(path, Sine(2, 200.0 + 100 * i, 2 * kRate), 2) ||
            app.bank.assign(i, path) != TrackBank::Assigned::Ok) {
            state.SkipWithError("a track did not load");
            return;
        }
        app.bank.playLooping(i);
    }
    window.show();
    QTimer* timer = window.findChild<QTimer*>(QStringLiteral("TimerDisplay"));
    for (int i = 0; i < 50 && (timer == nullptr || !timer->isActive()); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    if (output == nullptr || timer == nullptr || !timer->isActive()) {
        state.SkipWithError("the window's display timer did not start");
        return;
    }
    timer->setInterval(1 << 30); // the benchmark gives the ticks
    const auto tick = [&] {
        QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
        QApplication::processEvents();
    };
    for (int i = 0; i < 30; ++i) { // the first paint of the whole window is not a tick's
        output->render(kRate * 33 / 1000);
        tick();
    }
    double longest = 0.0;
    double total = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        output->render(kRate * 33 / 1000);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        tick();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        longest = std::max(longest, ms);
        total += ms;
    }
    const auto ticks = static_cast<double>(state.iterations());
    state.counters["longest_ms"] = longest;
    state.counters["core_percent_at_30Hz"] = ticks > 0 ? total / ticks * 30.0 / 10.0 : 0.0;
    window.hide();
    closeSoundLibrary(app.sound.soundLibHandle);
}
BENCHMARK(MainWindowTick)->Unit(benchmark::kMicrosecond)->Iterations(600);

// The outline a decoded sound gets: one pass over a minute of stereo at 44.1 kHz.
void OverviewOfAMinute(benchmark::State& state) {
    const std::vector<float> samples = Sine(2, 441.0, 60 * kRate);
    for (auto _ : state) {
        benchmark::DoNotOptimize(MakeWaveOverview(samples.data(), std::int64_t{60} * kRate, 2));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(samples.size()) * 4);
}
BENCHMARK(OverviewOfAMinute)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace mt

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
