#include "midiin/ControllerBank.h"

#include "core/TrackBank.h"

#include <algorithm>

namespace mt {
namespace {

bool IsTrack(int track) {
    return track >= 0 && track < kTrackCount;
}

} // namespace

ControllerBank::ControllerBank(TrackBank& bank, Light light)
    : m_bank(bank), m_light(std::move(light)) {
    m_lit.fill(-1);
    connect(&m_bank, &TrackBank::trackChanged, this, [this](int track) { follow(track, false); });
}

PadState ControllerBank::padState(const Track& track) {
    // A press on a quantised track shows at once that it was taken, held or not.
    return !track.loaded                           ? PadState::Empty
           : track.armed() || track.stopFrame >= 0 ? PadState::Armed
           : track.keyHeld                         ? PadState::Held
           : track.playing()                       ? PadState::Playing
                                                   : PadState::Loaded;
}

void ControllerBank::press(int track, int velocityGainCentiDb) {
    if (IsTrack(track)) {
        m_bank.press(track, velocityGainCentiDb);
    }
}

void ControllerBank::release(int track) {
    if (IsTrack(track)) {
        m_bank.release(track);
    }
}

void ControllerBank::setVolume(int track, int volumeDb) {
    if (IsTrack(track)) {
        m_bank.setVolume(track, std::clamp(volumeDb, kMinVolume, kMaxVolume));
    }
}

void ControllerBank::setPan(int track, int pan) {
    if (IsTrack(track)) {
        m_bank.setPan(track, std::clamp(pan, kMinPan, kMaxPan));
    }
}

void ControllerBank::setSpeed(int track, int speed) {
    if (IsTrack(track)) {
        m_bank.setSpeed(track, std::clamp(speed, kMinSpeed, kMaxSpeed));
    }
}

void ControllerBank::moveVolume(int track, int deltaDb) {
    if (IsTrack(track)) {
        setVolume(track, m_bank.track(track).volume + deltaDb);
    }
}

void ControllerBank::movePan(int track, int delta) {
    if (IsTrack(track)) {
        setPan(track, m_bank.track(track).pan + delta);
    }
}

void ControllerBank::moveSpeed(int track, int delta) {
    if (IsTrack(track)) {
        setSpeed(track, m_bank.track(track).speed + delta);
    }
}

void ControllerBank::relight(int track) {
    follow(track, true);
}

void ControllerBank::relightAll() {
    for (int i = 0; i < kTrackCount; ++i) {
        follow(i, true);
    }
}

void ControllerBank::follow(int track, bool always) {
    if (!IsTrack(track)) {
        return;
    }
    const PadState state = padState(m_bank.track(track));
    const auto index = static_cast<std::size_t>(track);
    if (always || m_lit[index] != static_cast<int>(state)) {
        m_lit[index] = static_cast<int>(state);
        m_light(track, state);
    }
}

} // namespace mt
