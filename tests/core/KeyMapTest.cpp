#include "core/KeyMap.h"
#include "core/KeyPositions.h"
#include "platform/IniSettingsStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

namespace mt {
namespace {

TEST(KeyMap, TrackKeysInLettersAndBothKeypadModesAndTheOtherKeys) {
    const int letters[] = {Qt::Key_Z, Qt::Key_X, Qt::Key_C, Qt::Key_A,
                           Qt::Key_S, Qt::Key_D, Qt::Key_W, Qt::Key_E};
    const int numLockOff[] = {Qt::Key_End,   Qt::Key_Down,  Qt::Key_PageDown, Qt::Key_Left,
                              Qt::Key_Clear, Qt::Key_Right, Qt::Key_Home,     Qt::Key_Up};
    for (int t = 1; t <= 8; ++t) {
        EXPECT_EQ(MapPerformanceKey(letters[t - 1], false).track, t);
        EXPECT_EQ(MapPerformanceKey(Qt::Key_0 + t, true).track, t);
        EXPECT_EQ(MapPerformanceKey(numLockOff[t - 1], true).track, t);
    }
    // The other keys, each its own action; the digit row and the plain arrows are no track's.
    using enum PerformanceKey;
    const std::pair<int, PerformanceKey> named[] = {
        {Qt::Key_M, MuteAll},        {Qt::Key_N, MuteSelected},    {Qt::Key_G, MuteCd},
        {Qt::Key_K, MuteMidi},       {Qt::Key_B, PauseCd},         {Qt::Key_F3, LoneWolfMode},
        {Qt::Key_F6, PanLeft},       {Qt::Key_F7, PanCentre},      {Qt::Key_F8, PanRight},
        {Qt::Key_O, LoneWolfMember}, {Qt::Key_Control, NextTrack}, {Qt::Key_F4, None},
        {Qt::Key_1, None},           {Qt::Key_Down, None}};
    for (const auto& [code, key] : named) {
        EXPECT_EQ(MapPerformanceKey(code, false).key, key) << std::hex << code;
    }
    EXPECT_EQ(MapPerformanceKey(Qt::Key_9, true).key, None);
}

// Entries as a performer may leave them in the settings file, read by the real store.
TEST(KeyPositions, StoredEntriesFallBackToDefaultsAndPanicKeepsAKey) {
    constexpr int kPanic = KeyPositions::kPanic;
    struct Row {
        const char* entries;
        int action;
        std::vector<std::uint32_t> keys;
        int warnings; // lines on stderr
    };
    const Row rows[] = {
        {"KeyPanic=", kPanic, {9}, 0},
        {"KeyPanic=0 100000 abc", kPanic, {9}, 0},
        {"KeyTrack1=0 100000 abc", 0, {52}, 0},
        {"KeyTrack1=\nKeyTrack2=52", 0, {}, 0}, // its default moved to track 2 on purpose
        {"KeyTrack8=9\nKeyPanic=", kPanic, {9}, 1},
        {"KeyTrack8=9\nKeyPanic=", 7, {26}, 1},
        {"KeyTrack1=34\nKeyTrack2=34 53", 1, {53}, 1},
        {"KeyTrack1=34 34", 0, {34}, 0},
    };
    for (const Row& row : rows) {
        QTemporaryDir dir;
        QFile file(dir.filePath("mt.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Marrowtune]\n") + row.entries + "\n");
        file.close();
        KeyPositions keys;
        testing::internal::CaptureStderr();
        keys.load(IniSettingsStore(dir.path()), "mt");
        const std::string warned = testing::internal::GetCapturedStderr();
        EXPECT_EQ(keys.keys(row.action), row.keys) << row.entries;
        EXPECT_EQ(std::ranges::count(warned, '\n'), row.warnings) << row.entries << warned;
    }
}

} // namespace
} // namespace mt
