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
#include "JackPads.h"
#include "app/AppContext.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "platform/MessageBoxService.h"
#include "platform/PlatformServices.h"
#include "ui/MainWindow.h"
#include "ui/MidiPerformance.h"
#include "ui/PerformanceApplication.h"
#include "ui/QtDialogServices.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

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

// Messages go to stderr: nothing here may wait for a person.
class PrintedMessages final : public mt::MessageBoxService {
public:
    void show(const QString& text, const QString& /*title*/, mt::MessageIcon /*icon*/) override {
        std::fprintf(stderr, "bench_midi_ui: message: %s\n", qPrintable(text));
    }
    bool confirm(const QString& text, const QString& title) override {
        show(text, title, mt::MessageIcon::None);
        return false;
    }
};

// A part of the window whose painting takes `ms` of the UI thread when the repaint timer
// asked for it, as a heavy view would.
class SlowPaint final : public QWidget {
public:
    explicit SlowPaint(QWidget* parent) : QWidget(parent) {}
    std::atomic<int> ms{0};
    std::atomic<bool> due{false};
    std::atomic<int> slowPaints{0};

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        if (!due.exchange(false)) {
            painter.fillRect(rect(), Qt::gray);
            return;
        }
        const auto until = Clock::now() + std::chrono::milliseconds(ms.load());
        int shade = 0;
        while (Clock::now() < until) {
            painter.fillRect(rect(), QColor(shade, shade, shade));
            shade = (shade + 1) % 256;
        }
        ++slowPaints;
    }
};

// A 1 s 44.1 kHz stereo 16-bit tone.
QByteArray ToneWav() {
    const int frames = 44100;
    QByteArray data;
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(8000.0 * std::sin(i * 2.0 * M_PI * 441.0 / 44100));
        for (int c = 0; c < 2; ++c) {
            data.append(static_cast<char>(s & 0xff)).append(static_cast<char>((s >> 8) & 0xff));
        }
    }
    const auto u32 = [](std::uint32_t v) {
        return QByteArray{reinterpret_cast<const char*>(&v), 4};
    };
    const auto u16 = [](std::uint16_t v) {
        return QByteArray{reinterpret_cast<const char*>(&v), 2};
    };
    return "RIFF" + u32(static_cast<std::uint32_t>(36 + data.size())) + "WAVEfmt " + u32(16) +
           u16(1) + u16(2) + u32(44100) + u32(44100 * 4) + u16(4) + u16(16) + "data" +
           u32(static_cast<std::uint32_t>(data.size())) + data;
}

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

    QTemporaryDir dir;
    PrintedMessages messages;
    mt::QtFileDialogService fileDialogs;
    mt::OverrideCursor cursor;
    mt::IniSettingsStore settings(dir.path());
    mt::DesktopTrash trash;
    mt::DetachedProcessLauncher processes;
    mt::DesktopUrlOpener urls;
    mt::QtModalRunner modals;
    mt::PlatformServices platform{messages, fileDialogs, cursor, settings,
                                  trash,    processes,   urls,   modals};
    mt::OfflineOutput* output = nullptr;
    int exitCode = 0;
    {
        mt::AppContext context(platform, [&output](std::intptr_t, std::int32_t) {
            auto offline = std::make_unique<mt::OfflineOutput>();
            output = offline.get();
            return mt::openSoundLibraryWith(std::move(offline));
        });
        const auto set = [&](const char* key, const char* value) {
            settings.setValue(context.appName, QStringLiteral("Marrowtune"), QLatin1String(key),
                              QLatin1String(value));
        };
        set("MidiSystem", "jack");
        set("MidiSource", "Bench pads:out");
        set("MidiHardware", "False");
        mt::MainWindow window(context);
        window.onLoad();
        window.show();
        auto* slow = new SlowPaint(&window);
        slow->setGeometry(0, 0, 200, 200);
        slow->show();

        const QString tone = dir.filePath(QStringLiteral("tone.wav"));
        QFile file(tone);
        if (!file.open(QIODevice::WriteOnly) || file.write(ToneWav()) < 0 ||
            (file.close(), context.bank.assign(0, tone) != mt::TrackBank::Assigned::Ok)) {
            std::fprintf(stderr, "bench_midi_ui: the tone did not load\n");
            return 1;
        }
        context.bank.setHold(0, true); // a pad down plays, up stops

        std::atomic<bool> running{true};
        std::thread audio([&] { // the pretend audio thread: 128 frames every 2.9 ms
            std::vector<float> block(256);
            while (running.load()) {
                output->pull(block.data(), 128);
                std::this_thread::sleep_for(std::chrono::microseconds(2900));
            }
        });

        QTimer repaint;
        repaint.setInterval(20);
        QObject::connect(&repaint, &QTimer::timeout, &window, [&] {
            if (slow->ms.load() > 0) {
                slow->due.store(true);
                window.update();
                slow->update();
            }
        });
        repaint.start();

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
                slow->ms.store(paintMs);
                const int paintsBefore = slow->slowPaints.load();
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
                const double paintsPerSecond = (slow->slowPaints.load() - paintsBefore) / seconds;
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
        running.store(false);
        audio.join();
        controllers.input().stop();
        context.sound.TerminateSoundLibrary();
    }
    return exitCode;
}
