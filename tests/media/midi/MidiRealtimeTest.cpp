// The synth in the audio callback allocates nothing (AllocationGuard.h: FluidSynth and
// operator new both end in malloc), and the UI thread may drive it while another thread renders.
#include "SmfBytes.h"
#include "audio/AllocationGuard.h"
#include "audio/AudioTestKit.h"

#include "media/midi/MidiLibrary.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace mt::test {
namespace {

class MidiRealtime : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_kbgm.open(10, -1), MidiLibrary::kOk);
        ASSERT_EQ(m_kbgm.setOutput(m_library.handle), MidiLibrary::kOk);
        SmfTrack conductor;
        conductor.meta(0, 3, "rt").tempo(0, 500000).tempo(960, 300000).end(3840);
        SmfTrack band;
        band.program(0, 0, 0).program(0, 1, 33).sysex(
            0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41});
        for (int i = 0; i < 32; ++i) {
            band.noteOn(0, 0, 60 + i % 12).noteOn(0, 1, 36).noteOn(0, 9, 36 + i % 10);
            band.raw(0, {0xb0, 7, static_cast<std::uint8_t>(90 + i)}).raw(0, {0xe1, 0, 70});
            band.noteOff(120, 0, 60 + i % 12).noteOff(0, 1, 36);
        }
        band.end();
        ASSERT_EQ(m_kbgm.loadFile(m_song, WriteSong(m_dir, Smf(480, {conductor, band}))),
                  MidiLibrary::kOk);
    }

    void guardedPull(std::size_t frames) { GuardedPull(m_library.output(), m_block, frames); }

    QTemporaryDir m_dir;
    OfflineLibrary m_library{44100};
    MidiLibrary m_kbgm;
    std::int32_t m_song = 0;
    std::vector<float> m_block = std::vector<float>(std::size_t{2} * 4096);
};

TEST_F(MidiRealtime, RenderingEveryCommandAllocatesNothing) {
    if (!kGuarding) {
        GTEST_SKIP() << "malloc belongs to the sanitizer in this build";
    }
    // The guard itself works: an allocation on a guarded thread is counted.
    g_allocations = 0;
    t_guarded = true;
    void* volatile probe = std::malloc(16);
    t_guarded = false;
    std::free(probe);
    ASSERT_EQ(g_allocations.load(), 1);
    g_allocations = 0;
    float loudest = 0.0f;
    m_kbgm.sendSystemReset(1);
    m_kbgm.play(m_song, 1);
    const std::pair<int, std::function<void()>> commands[] = {
        {40, [&] { m_kbgm.setTempo(m_song, 200); }},
        {60, [&] { m_kbgm.seek(m_song, 1920); }},
        {80, [&] { m_kbgm.seek(m_song, -1920); }},
        {100, [&] { m_kbgm.setVolume(m_song, 0); }},
        {110, [&] { m_kbgm.setVolume(m_song, 100); }},
        {120, [&] { m_kbgm.pause(); }},
        {130, [&] { m_kbgm.resume(m_song); }},
        {140, [&] { m_kbgm.sendSystemReset(4); }},
        {150, [&] { m_kbgm.stop(); }},
        {160, [&] { m_kbgm.play(m_song, 1); }}};
    std::size_t next = 0;
    for (int block = 0; block < 400; ++block) { // 2.3 s: through a repeat
        if (next < std::size(commands) && commands[next].first == block) {
            commands[next++].second(); // on this thread, outside the guard
        }
        guardedPull(256);
        loudest = std::max(loudest, Peak(m_block));
    }
    EXPECT_GT(loudest, 0.01f); // it did play
    m_kbgm.stop();
    guardedPull(256);
    EXPECT_EQ(m_kbgm.freeSong(m_song), MidiLibrary::kOk);
    guardedPull(256);
    EXPECT_EQ(g_allocations.load(), 0);
}

TEST_F(MidiRealtime, UiThreadDrivesWhileAnotherThreadRenders) {
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> block(std::size_t{2} * 256);
        while (!done.load()) {
            m_library.output().pull(block.data(), 256);
        }
    });
    for (int round = 0; round < 200; ++round) {
        m_kbgm.play(m_song, round % 2);
        m_kbgm.setTempo(m_song, 60 + round);
        m_kbgm.seek(m_song, round % 3 == 0 ? -1920 : 1920);
        MidiInfo info;
        ASSERT_EQ(m_kbgm.songInfo(m_song, info), MidiLibrary::kOk);
        EXPECT_EQ(info.resolution, 480);
        m_kbgm.sendSystemReset(round % 5);
        m_kbgm.pause();
        m_kbgm.resume(m_song);
    }
    m_kbgm.stop();
    EXPECT_EQ(m_kbgm.freeSong(m_song), MidiLibrary::kOk);
    done = true;
    audio.join();
}

} // namespace
} // namespace mt::test
