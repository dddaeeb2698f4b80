// OSC control in the running program's arrangement: the main window shown (offscreen platform)
// and repainted at 50 Hz, one part of it taking 5 ms to paint, the sound library on an offline
// output pulled by a pretend audio thread, OSC on 127.0.0.1.
//  1. Latency: a /press is timed from just before the client's sendto to the moment the bank's
//     press has handed the play command to the library (its engine ring), on whichever thread.
//     Median and 99th percentile with the window idle and busy, against the goal p99 <= 1 ms.
//  2. Flood: 10,000 messages a second (press/release pairs) for 10 s with the window busy:
//     the presses that never arrived, those that started a sound and those taken together
//     with a later press of the same track (one start for both: the same moment), and the
//     resident memory each second (goal: none lost, no growth).
//
// bench_osc [presses per phase, default 400] [flood seconds, default 10]
#include "BusyWindow.h"
#include "osc/OscMessage.h"
#include "ui/OscControl.h"
#include "ui/PerformanceApplication.h"

#include <QApplication>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

// A /proc/self/status field in kB: VmRSS now, VmHWM the peak.
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(field) + 1);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    const int presses = argc > 1 ? std::max(50, std::atoi(argv[1])) : 400;
    const int floodSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    mt::PerformanceApplication app(argc, argv);
    int exitCode = 0;
    {
        mt::bench::BusyWindow rig("bench_osc");
        if (!rig.ready()) {
            return 1;
        }
        mt::AppContext& context = rig.context();
        mt::OscControl osc(context);
        osc.apply({true, 0, false});
        if (!osc.listening()) {
            std::fprintf(stderr, "bench_osc: %s\n", qPrintable(osc.status()));
            return 1;
        }
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<std::uint16_t>(osc.port()));
        const std::vector<char> press = mt::OscMessage().bytes("/marrowtune/track/1/press");
        const std::vector<char> release = mt::OscMessage().bytes("/marrowtune/track/1/release");
        const auto send = [&](const std::vector<char>& bytes) {
            return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                          sizeof to) > 0;
        };

        std::thread driver([&] {
            std::mt19937 random(7);
            std::uniform_int_distribution<int> gapUs(4000, 12000);
            for (const int paintMs : {0, 5}) {
                rig.setPaintMs(paintMs);
                std::vector<double> ms;
                for (int i = 0; i < presses; ++i) {
                    // The press is timed on whichever thread ran it, just after the bank's
                    // press returned with the play command in the engine's ring.
                    const std::uint64_t before = osc.pressesApplied();
                    const std::int64_t sentAt = Now();
                    send(press);
                    const auto deadline = Clock::now() + std::chrono::milliseconds(200);
                    std::int64_t appliedAt = 0;
                    while (appliedAt == 0 && Clock::now() < deadline) {
                        if (osc.pressesApplied() != before) {
                            appliedAt = osc.lastPressApplied();
                        } else {
                            std::this_thread::sleep_for(std::chrono::microseconds(100));
                        }
                    }
                    if (appliedAt != 0) {
                        ms.push_back(static_cast<double>(appliedAt - sentAt) / 1e6);
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
                    send(release);
                    std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
                }
                const double p99 = Percentile(ms, 0.99);
                std::printf("OSC /press sent -> play command handed to the engine, UI %s: median "
                            "%.3f ms, p99 %.3f ms (%.2f x the 1 ms goal), max %.3f ms (%zu of %d "
                            "presses)\n",
                            paintMs == 0 ? "idle" : "repainting 50 times a second, 5 ms a paint",
                            Percentile(ms, 0.5), p99, p99 / 1.0, Percentile(ms, 1.0), ms.size(),
                            presses);
                std::fflush(stdout);
            }

            // The flood, with the window busy: a pair every 200 us. Resident memory is read
            // each second; what it gains over the second half is growth, not warming up.
            const std::uint64_t receivedBefore = osc.pressesReceived();
            const std::uint64_t appliedBefore = osc.pressesApplied();
            const int pairs = 5000 * floodSeconds;
            std::vector<long> rss;
            int sent = 0;
            const auto start = Clock::now();
            for (int i = 0; i < pairs; ++i) {
                if (i % 5000 == 0) {
                    rss.push_back(StatusKb("VmRSS:"));
                }
                std::this_thread::sleep_until(start + std::chrono::microseconds(200 * i));
                sent += send(press) ? 1 : 0;
                std::this_thread::sleep_until(start + std::chrono::microseconds(200 * i + 100));
                send(release);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the backlog drains
            rss.push_back(StatusKb("VmRSS:"));
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            const std::uint64_t received = osc.pressesReceived() - receivedBefore;
            const std::uint64_t applied = osc.pressesApplied() - appliedBefore;
            std::string trace;
            for (const long kb : rss) {
                if (!trace.empty()) {
                    trace += ' ';
                }
                trace += std::to_string(kb / 1024);
            }
            std::printf(
                "OSC flood, %d messages in %.1f s (UI repainting, 5 ms a paint): %d presses "
                "sent, %llu received (%lld lost, goal 0), %llu started a sound, %llu taken "
                "together with a later press of the track in the same turn of the window; "
                "resident MB each second: %s; over the second half %+ld kB (goal 0); "
                "ignored as too busy: %llu\n",
                2 * pairs, seconds, sent, static_cast<unsigned long long>(received),
                static_cast<long long>(sent) - static_cast<long long>(received),
                static_cast<unsigned long long>(applied),
                static_cast<unsigned long long>(received - applied), trace.c_str(),
                rss.back() - rss[rss.size() / 2],
                static_cast<unsigned long long>(
                    osc.dispatch().rejected(mt::OscDispatch::Rejection::Busy)));
            std::fflush(stdout);
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        app.lendCore(&context.coreAccess);
        QApplication::exec();
        app.lendCore(nullptr);
        driver.join();
        close(fd);
    }
    return exitCode;
}
