#pragma once

#include "core/TrackBank.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace mt::test {

// Runs the event loop, through which background loads and keep-pitch renders hand their
// buffers over, until no track of `bank` is loading or rendering; none at all when none is.
// False when one still is after `timeoutMs`.
inline bool WaitForLoads(const TrackBank& bank, int timeoutMs = 20000) {
    const auto anyLoading = [&bank] {
        for (int i = 0; i < kTrackCount; ++i) {
            if (bank.track(i).loading() || bank.track(i).renderState == RenderState::Rendering) {
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
