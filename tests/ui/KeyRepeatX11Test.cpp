// Hold mode under a real X server's key auto-repeat: the main window on xcb against a private
// Xvfb, keys held with xdotool (XTEST), and a device thread pulling blocks at a sound card's
// pace that checks after each block that every held voice still sounds and has moved on.
#include "audio/AudioTestKit.h"
#include "support/X11WindowTest.h"
#include "ui/BpmCounterWindow.h"

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace mt::test {
namespace {

constexpr int kBlock = 256;
constexpr int kRate = 44100;
constexpr int kHeldTracks = 3;
const std::array<const char*, kHeldTracks> kKeys{"z", "x", "c"};
// Holds at each rate: the race guarded against was lost a few times in ten, more often fast.
constexpr int kHoldsAtDefaultRate = 3;
constexpr int kHoldsAtFastRate = 7;

// Pulls blocks from the offline output in real time and, while watching, counts after each
// block the held voices that did not play or went back.
class PacedDevice {
public:
    struct Seen {
        std::array<int, kHeldTracks> silentBlocks{}; // blocks after which the voice did not play
        std::array<int, kHeldTracks> restarts{};     // times its position went back
    };
    PacedDevice(OfflineOutput& output, const std::array<std::int32_t, kHeldTracks>& buffers)
        : m_output(output), m_buffers(buffers), m_thread([this] { run(); }) {}
    ~PacedDevice() {
        m_quit = true;
        m_thread.join();
    }
    PacedDevice(const PacedDevice&) = delete;
    PacedDevice& operator=(const PacedDevice&) = delete;

    void watch() {
        const std::lock_guard lock(m_mutex);
        m_last.fill(-1);
        m_seen = {};
        m_watching = true;
    }
    Seen stopWatching() {
        const std::lock_guard lock(m_mutex);
        m_watching = false;
        return m_seen;
    }

private:
    void run() {
        std::vector<float> block(std::size_t{kBlock} * 2);
        const auto period = std::chrono::microseconds(1'000'000 * kBlock / kRate);
        for (auto next = std::chrono::steady_clock::now(); !m_quit;
             std::this_thread::sleep_until(next += period)) {
            m_output.pull(block.data(), kBlock);
            const std::lock_guard lock(m_mutex);
            for (int i = 0; m_watching && i < kHeldTracks; ++i) {
                VoiceStatus status;
                if (!bufferStatus(m_buffers[i], status) || !status.playing) {
                    ++m_seen.silentBlocks[i];
                } else if (status.position < m_last[i]) {
                    ++m_seen.restarts[i];
                }
                m_last[i] = status.position;
            }
        }
    }

    OfflineOutput& m_output;
    const std::array<std::int32_t, kHeldTracks> m_buffers;
    std::mutex m_mutex;
    bool m_watching = false;
    std::array<std::int64_t, kHeldTracks> m_last{};
    Seen m_seen;
    std::atomic<bool> m_quit{false};
    std::thread m_thread; // last: starts once everything above exists
};

// Counts the key presses that reach the application, so a test knows the server repeated.
class PressCounter final : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
            ++presses;
        }
        return false;
    }
};

class KeyRepeatX11Test : public X11WindowTest {
protected:
    void prepare() override {
        // Longer than any hold, so a voice that was never restarted only moves forward.
        addFile("loop.wav", SineWav(kRate, 1, 330.0, kRate * 6));
        for (int i = 0; i < kHeldTracks; ++i) {
            load(i, "loop.wav");
            frame(i).loopCheck->setChecked(true);
            frame(i).holdCheck->setChecked(true);
            m_buffers[i] = bank().track(i).buffer;
        }
        test::ShowActive(m_window);
        m_device.emplace(*m_output, m_buffers);
        qApp->installEventFilter(&m_presses);
    }
    void TearDown() override {
        qApp->removeEventFilter(&m_presses);
        m_device.reset();
    }

    bool allPlaying(bool playing) {
        for (int i = 0; i < kHeldTracks; ++i) {
            VoiceStatus status;
            bufferStatus(m_buffers[i], status);
            const bool shown = frame(i).startButton->text() == QLatin1String("STOP");
            if (status.playing != playing || shown != playing) {
                return false;
            }
        }
        return true;
    }

    // Holds the three track keys for 3 s: each voice sounds unbroken until the release. The
    // server repeats the key pressed last, so hold `n` rotates the order.
    void hold(int n, const char* rate) {
        QStringList keys;
        for (int k = 1; k <= kHeldTracks; ++k) {
            keys << QLatin1String(kKeys[(n + k) % kHeldTracks]);
        }
        x11("xdotool", QStringList{"keydown"} + keys);
        ASSERT_TRUE(QTest::qWaitFor([this] { return allPlaying(true); }, 2000))
            << "a held key did not start its track";
        m_device->watch();
        const int pressesBefore = m_presses.presses;
        QTest::qWait(3000);
        const PacedDevice::Seen seen = m_device->stopWatching();
        // At least 2.3 s of repeats at 25 a second, however Qt delivers them.
        EXPECT_GE(m_presses.presses - pressesBefore, 40) << "the server did not repeat the key";
        x11("xdotool", QStringList{"keyup"} + keys);
        for (int i = 0; i < kHeldTracks; ++i) {
            EXPECT_EQ(seen.silentBlocks[i], 0)
                << "track " << i + 1 << " stopped while its key was held (" << rate << ")";
            EXPECT_EQ(seen.restarts[i], 0)
                << "track " << i + 1 << " restarted while its key was held (" << rate << ")";
        }
        EXPECT_TRUE(QTest::qWaitFor([this] { return allPlaying(false); }, 2000))
            << "a track kept sounding after its key came up";
        for (int i = 0; i < kHeldTracks; ++i) {
            EXPECT_FALSE(bank().track(i).keyHeld);
        }
    }

    std::array<std::int32_t, kHeldTracks> m_buffers{};
    std::optional<PacedDevice> m_device;
    PressCounter m_presses;
};

TEST_F(KeyRepeatX11Test, HoldModeSoundsWithoutABreakWhileKeysAreHeld) {
    // The server's own rate (660 ms, then 25 a second), then a fast one (200 ms, 50 a second).
    x11("xset", {"r", "rate"});
    for (int n = 0; n < kHoldsAtDefaultRate; ++n) {
        hold(n, "default rate");
    }
    x11("xset", {"r", "rate", "200", "50"});
    for (int n = 0; n < kHoldsAtFastRate; ++n) {
        hold(n, "200 ms, 50/s");
    }
}

// Every window still tells a held key from a new press by Qt's repeat mark: a V held in the
// BPM counter is one tap, however long it is held.
TEST_F(KeyRepeatX11Test, AHeldCounterKeyTapsOnce) {
    x11("xset", {"r", "rate", "200", "50"});
    choose("mnuCounter");
    BpmCounterWindow* counter = m_window.counterWindow();
    ASSERT_NE(counter, nullptr);
    counter->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(counter));
    // Without a window manager the server may still be giving the focus over to the counter
    // when the first key comes; C only starts the clock, so it is pressed until it has.
    bool counting = false;
    for (int i = 0; i < 5 && !counting; ++i) {
        x11("xdotool", {"key", "c"});
        counting = QTest::qWaitFor([this] { return m_app.mmt.tapTimerRunning; }, 1000);
    }
    ASSERT_TRUE(counting);
    // What one tap adds to the counter's taps, by a single press.
    const int start = counter->measurement().taps();
    x11("xdotool", {"key", "v"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter->measurement().taps() != start; }, 2000));
    const int perTap = counter->measurement().taps() - start;

    const int pressesBefore = m_presses.presses;
    x11("xdotool", {"keydown", "v"});
    QTest::qWait(1500);
    x11("xdotool", {"keyup", "v"});
    QTest::qWait(100);
    EXPECT_GE(m_presses.presses - pressesBefore, 40) << "the server did not repeat the key";
    EXPECT_EQ(counter->measurement().taps(), start + 2 * perTap)
        << "each repeat of the held key counted as a tap";
}

} // namespace
} // namespace mt::test
