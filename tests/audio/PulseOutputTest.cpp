// End to end: our library through RtAudio into a private PulseAudio null sink, parec recording.
#include "AudioServers.h"
#include "AudioTestKit.h"
#include "support/StuckJack.h"

#include "audio/AudioSource.h"
#include "audio/Engine.h"
#include "audio/LibraryRegistry.h"
#include "audio/RtAudioOutput.h"
#include "audio/SoundBuffers.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

// libpulse keeps a few small allocations to the end of the process; they are not ours.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name LeakSanitizer looks up
extern "C" const char* __lsan_default_suppressions() {
    // RtAudio drops its stream record on each refused reopen while the server is down.
    return "leak:libpulse.so\nleak:RtApiPulse::probeDeviceOpen\n";
}

namespace mt::test {
namespace {

constexpr int kRate = 44100;
// Blocks of ~23 ms: a busy test machine must not starve a server without realtime priority.
constexpr int kBlock = 1024;
const double kToneRms = 0.5 / std::sqrt(2.0);

// Seconds of the recording, in 10 ms windows, that carry a 1 kHz tone near full level.
double SecondsOfTone(const std::vector<float>& left) {
    constexpr std::size_t kWindow = kRate / 100;
    int windows = 0;
    for (std::size_t i = 0; i + kWindow <= left.size(); i += kWindow) {
        const std::vector<float> w(left.begin() + static_cast<std::ptrdiff_t>(i),
                                   left.begin() + static_cast<std::ptrdiff_t>(i + kWindow));
        windows += ToneAmplitude(w, kRate, 1000.0) > 0.4 ? 1 : 0;
    }
    return windows / 100.0;
}

// A callback that misses its deadline once when told to.
class StallingSource final : public AudioSource {
public:
    void prepare(int, int, std::size_t) override {}
    void renderAdd(float*, std::size_t) noexcept override {
        blocks.fetch_add(1);
        if (stall.exchange(false)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        }
    }
    void reset() override {}
    std::atomic<bool> stall{false};
    std::atomic<int> blocks{0};
};

// One session: the tone arrives clean; a stalled callback is counted; the server dies and
// comes back, noticed within a second, with no wait on the UI thread, and the loop returns.
using PulseOutput = PulseServerTest;

TEST_F(PulseOutput, ALoopPlaysCleanlyIsCountedWhenLateAndSurvivesTheServer) {
    QProcess recorder;
    m_pulse.record(recorder, QStringLiteral("before.raw"), kRate);
    QThread::msleep(500);

    // The default opening finds it; a stored choice of an absent system falls back to it.
    const std::int32_t plain = openSoundLibrary(0, 2);
    EXPECT_NE(plain, 0);
    closeSoundLibrary(plain);
    OutputChoice jack;
    jack.system = AudioSystem::Jack;
    const std::int32_t chosen = openSoundLibraryOn(jack);
    ASSERT_NE(chosen, 0);
    LibraryHealth health;
    ASSERT_TRUE(libraryHealth(chosen, health));
    EXPECT_EQ(health.device.api, "pulse");
    EXPECT_FALSE(health.device.pipewire) << "a PulseAudio daemon is no PipeWire";
    closeSoundLibrary(chosen);

    const std::int32_t lib =
        openSoundLibraryWith(std::make_unique<RtAudioOutput>(std::vector{AudioApi::Pulse}),
                             OutputConfig{kRate, 2, kBlock});
    ASSERT_NE(lib, 0) << "RtAudio could not open the PulseAudio stream";
    const std::int32_t b = LoadWav(lib, SineWav(kRate, 2, 1000, kRate, 0.5));
    ASSERT_NE(b, 0);
    // The null sink holds a new stream back a second or two: run silent through that first.
    PumpLibrary(lib, 1500);
    playBufferLoopingWith(b, 0, 0, kRate);
    PumpLibrary(lib, 2500);
    recorder.terminate();
    recorder.waitForFinished(5000);

    std::vector<float> left = m_pulse.recorded(QStringLiteral("before.raw"));
    const auto quiet = [](float v) { return std::fabs(v) < 0.05f; };
    left.erase(left.begin(), std::find_if_not(left.begin(), left.end(), quiet));
    ASSERT_GT(left.size(), static_cast<std::size_t>(kRate * 1.8)) << "2 s of tone recorded";
    const std::vector<float> tone1k(left.begin() + 2205, left.end() - 2205);
    EXPECT_NEAR(MeasureHz(tone1k, kRate), 1000.0, 5.0);
    EXPECT_NEAR(RmsDb(tone1k, kToneRms), 0.0, 0.5);
    // A dropout shows as a quiet stretch: every 2 ms window keeps the tone's level.
    double quietest = 0.0;
    for (std::size_t i = 0; i + 88 <= tone1k.size(); i += 88) {
        quietest = std::min(quietest, RmsDb({tone1k.begin() + static_cast<std::ptrdiff_t>(i),
                                             tone1k.begin() + static_cast<std::ptrdiff_t>(i + 88)},
                                            kToneRms));
    }
    EXPECT_GT(quietest, -1.5) << "a gap in the recorded tone";
    // A step no sine of this pitch can make is a dropout or a click.
    EXPECT_LT(MaxStep(tone1k), 0.5f * 2 * 3.1416f * 1000 / kRate * 1.1f);

    // One late callback: an underrun and a load above one block period, then cheap again.
    auto* source = static_cast<StallingSource*>(LibraryRegistry::instance().withLibrary(
        lib, static_cast<AudioSource*>(nullptr),
        [](SoundLibrary& l) { return l.addSource(std::make_unique<StallingSource>()); }));
    ASSERT_NE(source, nullptr);
    PumpLibrary(lib, 300);
    ASSERT_TRUE(libraryHealth(lib, health));
    const std::uint32_t before = health.underruns;
    source->stall = true;
    while (source->stall) {
        PumpLibrary(lib, 30);
    }
    PumpLibrary(lib, 300);
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_TRUE(health.device.alive) << "a late callback is no dead stream";
    EXPECT_GE(health.underruns, before + 1);
    EXPECT_GT(health.device.load, 1.0f) << "a 120 ms callback took more than its block period";
    PumpLibrary(lib, 300);
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_LT(health.device.load, 0.5f) << "an ordinary block is cheap";

    ASSERT_TRUE(m_pulse.kill());
    const qint64 noticed = MsUntilHealth(lib, health, 3000, [](auto& h) { return h.reopening; });
    EXPECT_GE(noticed, 0) << "the dead stream went unnoticed";
    EXPECT_LT(noticed, 1000) << "noticed after " << noticed << " ms";
    // Every call stays quick while the server is away: the retries run off this thread. Away
    // for about 1.5 s, the retry made on noticing and the one a second later find no server.
    for (int i = 0; i < 60; ++i) {
        QElapsedTimer call;
        call.start();
        collectLibrary(lib);
        setBufferVolume(b, 0);
        EXPECT_LT(call.elapsed(), 50) << "the UI thread waited for the sound system";
        QThread::msleep(25);
    }

    ASSERT_TRUE(m_pulse.start()) << "pulseaudio did not start again: "
                                 << m_pulse.log().toStdString();
    QProcess after;
    m_pulse.record(after, QStringLiteral("after.raw"), kRate);
    PumpLibrary(lib, 3000);
    after.terminate();
    after.waitForFinished(5000);
    ASSERT_TRUE(libraryHealth(lib, health));
    EXPECT_TRUE(!health.reopening && health.device.alive);
    closeSoundLibrary(lib);
    EXPECT_GT(SecondsOfTone(m_pulse.recorded(QStringLiteral("after.raw"))), 0.3)
        << "seconds of tone: the loop did not come back within 3 s of the server";
}

// Takes CAP_SYS_NICE from the calling thread and the threads it starts, as an ordinary user
// has no such right: with RLIMIT_RTPRIO at 0 the system then refuses realtime priority.
bool DropRealtimeRight() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const auto nice = ~(1u << CAP_SYS_NICE);
    data[0].effective &= nice;
    data[0].permitted &= nice;
    data[0].inheritable &= nice;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Whether a thread this process starts may take realtime priority.
bool RealtimeAllowed() {
    bool allowed = false;
    std::thread probe([&allowed] {
        sched_param p{};
        p.sched_priority = sched_get_priority_min(SCHED_RR);
        allowed = pthread_setschedparam(pthread_self(), SCHED_RR, &p) == 0;
    });
    probe.join();
    return allowed;
}

struct RealtimeSeen {
    bool opened = false;
    std::optional<bool> realtime;
    std::string said;
};

// Opens the output on the calling thread, waits for the stream's first block and reads its
// health twice, capturing what it writes to stderr.
RealtimeSeen OpenAndWatch() {
    RealtimeSeen seen;
    RtAudioOutput output(std::vector{AudioApi::Pulse});
    Engine engine;
    engine.prepare(kRate, 2, 16, kBlock);
    testing::internal::CaptureStderr();
    seen.opened = output.open(OutputConfig{kRate, 2, kBlock}, engine);
    for (int i = 0; seen.opened && i < 200 && !output.realtime(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    seen.realtime = output.realtime();
    output.health();
    output.health();
    output.close();
    seen.said = testing::internal::GetCapturedStderr();
    return seen;
}

// A performer whose system refuses realtime priority hears dropouts as soon as the machine is
// busy; the log says why, once, and says nothing where the priority was granted.
TEST_F(PulseOutput, AnAudioThreadWithoutRealtimePriorityIsReportedOnce) {
    const std::string notice = "audio thread runs without realtime priority";

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_RTPRIO, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_RTPRIO, &none), 0);
    bool dropped = false;
    RealtimeSeen refused;
    std::thread unprivileged([&] {
        dropped = DropRealtimeRight();
        refused = OpenAndWatch();
    });
    unprivileged.join();
    ::setrlimit(RLIMIT_RTPRIO, &saved);
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(refused.opened) << refused.said;
    EXPECT_EQ(refused.realtime, std::optional<bool>(false));
    const auto first = refused.said.find(notice);
    EXPECT_NE(first, std::string::npos) << refused.said;
    EXPECT_EQ(refused.said.find(notice, first + 1), std::string::npos) << "said once";

    if (RealtimeAllowed()) {
        const RealtimeSeen granted = OpenAndWatch();
        ASSERT_TRUE(granted.opened);
        EXPECT_EQ(granted.realtime, std::optional<bool>(true));
        EXPECT_EQ(granted.said.find(notice), std::string::npos) << granted.said;
    }
    m_pulse.stop();
}

// A libjack stuck on a dead client's lock costs the automatic choice one wait, once: the
// output opens on PulseAudio, says why JACK was passed over, and reopens without asking libjack
// again, which would only add another thread stuck behind the first.
TEST_F(PulseOutput, AStuckJackLibraryIsPassedOverForPulseAudio) {
    StuckJack jack;
    RtAudioOutput output;
    Engine engine;
    ASSERT_TRUE(output.open(OutputConfig{kRate, 2, kBlock}, engine)) << output.failures();
    EXPECT_STREQ(output.apiName(), "pulse");
    EXPECT_NE(output.failures().find("jack: libjack does not answer"), std::string::npos)
        << output.failures();
    output.close();
    ASSERT_TRUE(output.open(OutputConfig{kRate, 2, kBlock}, engine)) << output.failures();
    EXPECT_STREQ(output.apiName(), "pulse");
    EXPECT_TRUE(RtAudioOutput::DeviceNames(AudioSystem::Jack).empty());
    EXPECT_EQ(jack.opens(), 1);
    output.close();
    m_pulse.stop();
}

// With no sound server at all, the log names every system tried and what each said.
TEST(NoOutput, NoServerAtAllNamesEverySystemTried) {
    QTemporaryDir dir;
    ::setenv("PULSE_SERVER", ("unix:" + dir.filePath(QStringLiteral("none.sock"))).toLocal8Bit(),
             1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", "marrowtune-test-none", 1);
    RtAudioOutput output;
    Engine engine;
    EXPECT_FALSE(output.open(OutputConfig{22050, 2, 256}, engine));
    const std::string& said = output.failures();
    for (const char* api : {"jack: ", "pulse: ", "alsa: "}) {
        const auto at = said.find(api);
        ASSERT_NE(at, std::string::npos) << api << " missing from: " << said;
        EXPECT_NE(said[at + std::strlen(api)], ';') << "no reason given for " << api;
    }
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
}

} // namespace
} // namespace mt::test
