#pragma once

#include "core/TrackBank.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace mt::test {

// Runs the event loop, through which background loads hand their buffers over, until no track
// of `bank` is loading; none at all when none is. False when one still is after `timeoutMs`.
inline bool WaitForLoads(const TrackBank& bank, int timeoutMs = 20000) {
    const auto anyLoading = [&bank] {
        for (int i = 0; i < kTrackCount; ++i) {
            if (bank.track(i).loading()) {
                return true;
            }
        }
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (anyLoading() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !anyLoading();
}

} // namespace mt::test
