#include "core/PerformanceKeys.h"

#include "core/MediaControl.h"
#include "core/TrackBank.h"

namespace mt {
namespace {

constexpr int kPanKeyOffset = 40; // F6 and F8: this far left and right

} // namespace

void PerformanceKeys::press(const MappedKey& key) {
    switch (key.key) {
    case PerformanceKey::Track:
        m_bank.press(key.track - 1);
        break;
    case PerformanceKey::MuteAll:
        m_bank.muteAll();
        break;
    case PerformanceKey::MuteCd:
        m_cd.muteOn();
        break;
    case PerformanceKey::PauseCd:
        m_cd.pauseOrResume();
        break;
    case PerformanceKey::MuteMidi:
        m_midi.muteOn();
        break;
    case PerformanceKey::MuteSelected:
        m_bank.muteSelected();
        break;
    case PerformanceKey::PanLeft:
        m_bank.panSelected(-kPanKeyOffset);
        break;
    case PerformanceKey::PanCentre:
        m_bank.panSelected(0);
        break;
    case PerformanceKey::PanRight:
        m_bank.panSelected(kPanKeyOffset);
        break;
    case PerformanceKey::LoneWolfMode:
        m_bank.toggleLoneWolfMode();
        break;
    case PerformanceKey::LoneWolfMember:
        m_bank.toggleSelectedLoneWolf();
        break;
    case PerformanceKey::NextTrack:
        m_bank.selectNextLoaded();
        break;
    case PerformanceKey::None:
        break;
    }
}

void PerformanceKeys::release(const MappedKey& key) {
    switch (key.key) {
    case PerformanceKey::Track:
        m_bank.release(key.track - 1);
        break;
    case PerformanceKey::MuteAll:
        m_bank.unmuteAll();
        break;
    case PerformanceKey::MuteCd:
        m_cd.muteOff();
        break;
    case PerformanceKey::MuteMidi:
        m_midi.muteOff();
        break;
    case PerformanceKey::MuteSelected:
        m_bank.unmuteSelected();
        break;
    default:
        break;
    }
}

void PerformanceKeys::releaseAll() {
    m_bank.releaseAll();
    if (m_cd.muted()) {
        m_cd.muteOff();
    }
    if (m_midi.muted()) {
        m_midi.muteOff();
    }
}

void PerformanceKeys::panic() {
    for (int i = 0; i < kTrackCount; ++i) {
        if (m_bank.track(i).loaded && m_bank.playing(i)) {
            m_bank.stop(i); // the library fades a sounding buffer out before it rewinds
        }
    }
    m_cd.stopPlaying();
    m_midi.stopPlaying();
}

} // namespace mt
