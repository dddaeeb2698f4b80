#include "core/KeyMap.h"

#include <Qt>

#include <gtest/gtest.h>

namespace mt {
namespace {

TEST(KeyMap, TrackKeysLettersAndBothKeypadModes) {
    const int letters[] = {Qt::Key_Z, Qt::Key_X, Qt::Key_C, Qt::Key_A,
                           Qt::Key_S, Qt::Key_D, Qt::Key_W, Qt::Key_E};
    const int numLockOff[] = {Qt::Key_End,   Qt::Key_Down,  Qt::Key_PageDown, Qt::Key_Left,
                              Qt::Key_Clear, Qt::Key_Right, Qt::Key_Home,     Qt::Key_Up};
    for (int t = 1; t <= 8; ++t) {
        EXPECT_EQ(MapPerformanceKey(letters[t - 1], false).track, t);
        EXPECT_EQ(MapPerformanceKey(Qt::Key_0 + t, true).track, t);
        EXPECT_EQ(MapPerformanceKey(numLockOff[t - 1], true).track, t);
    }
    // The digit row and the plain arrows are not track keys.
    EXPECT_EQ(MapPerformanceKey(Qt::Key_1, false).key, PerformanceKey::None);
    EXPECT_EQ(MapPerformanceKey(Qt::Key_Down, false).key, PerformanceKey::None);
    EXPECT_EQ(MapPerformanceKey(Qt::Key_9, true).key, PerformanceKey::None);
    EXPECT_EQ(MapPerformanceKey(Qt::Key_F4, false).key, PerformanceKey::None);
    EXPECT_EQ(MapPerformanceKey(Qt::Key_Control, false).key, PerformanceKey::NextTrack);
}

} // namespace
} // namespace mt
