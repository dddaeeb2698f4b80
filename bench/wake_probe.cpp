// A witness for the soak: a thread at the audio callback's scheduling (SCHED_RR, lowest realtime
// priority) that asks to wake every millisecond and says when the system woke it late, and how
// much CPU time the hypervisor took from this machine's CPUs ("steal" in /proc/stat). When the
// program's sound drops out at the same moments as this thread wakes late, the machine held
// both up; the program had no say.
//
//     wake_probe [late-ms]      prints "ready", then lines on stdout until stdin closes:
//         late <monotonic s> <ms>       a wake-up at least late-ms (default 0.5) late
//         steal <monotonic s> <ms>      CPU time stolen since the last line of this kind
//         summary <wakes> <late> <worst ms> <steal ms>

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

double Seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Total steal of all CPUs, in clock ticks (the 8th number of /proc/stat's "cpu" line).
long long StealTicks() {
    FILE* f = std::fopen("/proc/stat", "r");
    if (f == nullptr) {
        return 0;
    }
    long long v[8] = {};
    const int got = std::fscanf(f, "cpu %lld %lld %lld %lld %lld %lld %lld %lld", &v[0], &v[1],
                                &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    std::fclose(f);
    return got == 8 ? v[7] : 0;
}

std::atomic<bool> g_stop{false};

} // namespace

int main(int argc, char** argv) {
    const double lateMs = argc > 1 ? std::atof(argv[1]) : 0.5;
    sched_param realtime{};
    realtime.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) != 0) {
        std::fprintf(stderr, "wake_probe: no realtime priority; the figures mean little\n");
    }
    std::thread([] {
        char c = 0;
        while (read(0, &c, 1) > 0) {
        }
        g_stop = true;
    }).detach();

    const double msPerTick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    long long stealBefore = StealTicks();
    const long long stealFirst = stealBefore;
    long long wakes = 0;
    long long late = 0;
    double worst = 0.0;
    timespec due{};
    clock_gettime(CLOCK_MONOTONIC, &due);
    std::printf("ready\n");
    std::fflush(stdout);
    while (!g_stop) {
        due.tv_nsec += 1000000;
        if (due.tv_nsec >= 1000000000) {
            due.tv_nsec -= 1000000000;
            ++due.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double ms = (Seconds(now) - Seconds(due)) * 1000.0;
        ++wakes;
        if (ms > worst) {
            worst = ms;
        }
        if (ms >= lateMs) {
            ++late;
            std::printf("late %.4f %.3f\n", Seconds(now), ms);
        }
        if (wakes % 100 == 0) {
            const long long steal = StealTicks();
            if (steal != stealBefore) {
                std::printf("steal %.4f %.0f\n", Seconds(now),
                            static_cast<double>(steal - stealBefore) * msPerTick);
                stealBefore = steal;
            }
            std::fflush(stdout);
        }
        if (ms > 100.0) {
            due = now; // a stop in a debugger: start the pace again
        }
    }
    std::printf("summary %lld %lld %.3f %.0f\n", wakes, late, worst,
                static_cast<double>(stealBefore - stealFirst) * msPerTick);
    return 0;
}
