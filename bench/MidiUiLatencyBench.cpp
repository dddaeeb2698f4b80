// Latency of a controller's note-on to the track's play command posted to the engine, in the
// running program's arrangement: the main window shown (offscreen platform) and repainted at
// 50 Hz with one part of it taking 5 ms to paint, the sound library on an offline output
// pulled by a pretend audio thread, and the controllers on a private JACK server (dummy
// backend). The note is timed from the moment it is in the port's buffer (written by a JACK
// client of the bench's own at the start of a cycle) to the moment the bank's press has
// handed the play command to the library, whose engine ring it is then in. Median and 99th
// percentile with the window idle and with it busy; target p99 <= 2 ms. With --posted the
// core is never lent out, so every note waits for the UI thread as a posted call.
//
// bench_midi_ui [--posted] [notes per phase, default 400] [period frames, default 128]
#include "BusyWindow.h"
#include "JackPads.h"
#include "ui/MainWindow.h"
#include "ui/MidiPerformance.h"
#include "ui/PerformanceApplication.h"

#include <QApplication>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using mt::bench::Now;
using mt::bench::Percentile;

} // namespace

int main(int argc, char* argv[]) {
    const bool posted = argc > 1 && std::string(argv[1]) == "--posted";
    const int first = posted ? 2 : 1;
    const int notes = argc > first ? std::max(50, std::atoi(argv[first])) : 400;
    const QString period =
        argc > first + 1 ? QString::fromLocal8Bit(argv[first + 1]) : QStringLiteral("128");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    mt::PerformanceApplication app(argc, argv);
    mt::bench::JackPads pads;
    if (!pads.start("bench_midi_ui", "marrowtune-bench-ui-" + std::to_string(::getpid()), period)) {
        return 1;
    }

    int exitCode = 0;
    {
        mt::bench::BusyWindow rig(
            "bench_midi_ui", [](mt::AppContext& context, mt::SettingsStore& settings) {
                const auto set = [&](const char* key, const char* value) {
                    settings.setValue(context.appName, QStringLiteral("Marrowtune"),
                                      QLatin1String(key), QLatin1String(value));
                };
                set("MidiSystem", "jack");
                set("MidiSource", "Bench pads:out");
                set("MidiHardware", "False");
            });
        if (!rig.ready()) {
            return 1;
        }
        mt::AppContext& context = rig.context();
        mt::MainWindow& window = rig.window();
        mt::MidiPerformance controllers(context);
        controllers.attachWindow(window);
        if (!controllers.start()) {
            std::fprintf(stderr, "bench_midi_ui: %s\n", qPrintable(controllers.input().status()));
            return 1;
        }
        for (int i = 0; i < 200 && controllers.input().connectedSources().isEmpty(); ++i) {
            QThread::msleep(20);
        }

        // The performer's side, off the UI thread: notes at irregular moments, so they fall
        // anywhere in the repaint cycle.
        std::thread driver([&] {
            std::mt19937 random(7);
            std::uniform_int_distribution<int> gapUs(4000, 12000);
            for (const int paintMs : {0, 5}) {
                rig.setPaintMs(paintMs);
                const int paintsBefore = rig.slowPaints();
                const auto start = Clock::now();
                std::vector<double> ms;
                for (int i = 0; i < notes; ++i) {
                    // Timed on whichever thread ran the press, just after the bank's press
                    // returned with the play command in the engine's ring.
                    const std::uint64_t before = controllers.pressesApplied();
                    pads.pending.store(1);
                    const auto deadline = Clock::now() + std::chrono::milliseconds(200);
                    std::int64_t postedAt = 0;
                    while (postedAt == 0 && Clock::now() < deadline) {
                        if (controllers.pressesApplied() != before) {
                            postedAt = controllers.lastPressApplied();
                        } else {
                            std::this_thread::sleep_for(std::chrono::microseconds(100));
                        }
                    }
                    if (postedAt != 0) {
                        ms.push_back(static_cast<double>(postedAt - pads.writtenAt.load()) / 1e6);
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
                    pads.pending.store(2);
                    std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
                }
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                if (ms.size() < static_cast<std::size_t>(notes) * 9 / 10) {
                    std::fprintf(stderr, "bench_midi_ui: only %zu of %d notes arrived\n", ms.size(),
                                 notes);
                    exitCode = 1;
                    break;
                }
                const double paintsPerSecond = (rig.slowPaints() - paintsBefore) / seconds;
                const QString ui = paintMs == 0 ? QStringLiteral("idle")
                                                : QStringLiteral("repainting %1 times a second, "
                                                                 "%2 ms a paint")
                                                      .arg(paintsPerSecond, 0, 'f', 0)
                                                      .arg(paintMs);
                std::printf("MIDI note-on in the port -> play command posted to the engine, "
                            "%s, JACK period %s frames at 48 kHz, UI %s: median %.3f ms, p99 %.3f "
                            "ms, max %.3f ms (%zu notes; target p99 <= 2 ms)\n",
                            posted ? "always posted" : "core lent out", qPrintable(period),
                            qPrintable(ui), Percentile(ms, 0.5), Percentile(ms, 0.99),
                            Percentile(ms, 1.0), ms.size());
                std::fflush(stdout);
            }
            // Out of the loop without closing the window, which would ask about saving.
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        app.lendCore(posted ? nullptr : &context.coreAccess);
        QApplication::exec();
        app.lendCore(nullptr);
        driver.join();
        controllers.input().stop();
    }
    return exitCode;
}
