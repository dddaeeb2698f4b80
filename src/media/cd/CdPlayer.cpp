#include "media/cd/CdPlayer.h"

namespace mt {
namespace {

// The drive's modes in which a disc is in and can be looked at.
bool IsDiscMode(const QString& mode) {
    for (const char* m : {"paused", "playing", "seeking", "stopped", "recording"}) {
        if (mode == QLatin1String(m)) {
            return true;
        }
    }
    return false;
}

} // namespace

CdPlayer::CdPlayer(CdAudioDevice::LibraryHandle library, CdCommands::Tell tell)
    : device([this] { return state.imagePath; }, std::move(library)),
      mci(commands, state, std::move(tell)) {
    watchTimer.setObjectName(QStringLiteral("TimerCD"));
    connect(&watchTimer, &QTimer::timeout, this, [this] { watch(); });
}

void CdPlayer::ShutdownCD() {
    if (!state.cdOpened) {
        return;
    }
    if (state.stopCdOnExit && state.cdMediaPresent) {
        mci.StopCD();
    }
    mci.CloseCD();
}

void CdPlayer::takeDiscIn() {
    state.cdTrackCount = mci.GetAllTracksCD();
    state.cdCurrentTrack = mci.GetTrackCD();
    state.cdPlayState = CdPlayState::Stopping;
    state.enabledButtons |= kCdStart | kCdNext;
}

void CdPlayer::openOnShow() {
    if (state.cdOpened) {
        return;
    }
    openAndTakeIn();
    watchTimer.start(kWatchMs); // also without a device: the watch opens it when it can
    emit changed();
}

void CdPlayer::openAndTakeIn() {
    state.cdOpened = mci.OpenCD(false);
    // An image still with its probe: the watch opens it once the verdict came, and tells a
    // refusal as this open would have.
    m_openWhenChecked = !state.cdOpened && device.checkingImage();
    if (state.cdOpened) {
        state.cdMediaPresent = mci.IsMediaPresentCD();
        if (state.cdMediaPresent) {
            takeDiscIn();
        }
    }
}

void CdPlayer::clearForOpenTray() {
    state.cdPlayState = CdPlayState::None;
    state.cdMediaPresent = false;
    state.enabledButtons = 0;
    state.loopOn = false;
    state.cdLoopStart = 0;
    state.cdLoopEnd = 0;
    state.cdCurrentTrack = 0;
    state.cdTrackCount = 0;
    state.cdTimeInTrack = 0;
}

void CdPlayer::watch() {
    if (m_inWatch) {
        return;
    }
    m_inWatch = true;
    watchOnce();
    m_inWatch = false;
    emit changed();
}

void CdPlayer::watchOnce() {
    if (m_openWhenChecked) {
        if (!device.checkingImage()) {
            openAndTakeIn();
        }
        return;
    }
    const QString mode = mci.GetStatusCD(true);
    if (mode == QLatin1String("open")) {
        if (state.cdOpened) {
            clearForOpenTray();
        }
        return;
    }
    if (!IsDiscMode(mode)) {
        return; // "not ready", nothing, or a word the player does not know
    }
    if (state.cdPlayState != CdPlayState::None) {
        if (!state.cdOpened || !state.cdMediaPresent) {
            return;
        }
        state.cdCurrentTrack = mci.GetTrackCD();
        state.cdTrackCount = mci.GetAllTracksCD();
        state.cdTimeInTrack = mci.GetTimeInTrackCD(state.cdCurrentTrack);
        // The loop jumps only while the disc plays: the jump always plays, and a paused or
        // stopped disc must not start by itself because it was moved past B.
        if (loopAvailable() && state.loopOn && state.cdPlayState == CdPlayState::Playing &&
            mci.GetTimeInTrackCD(state.cdCurrentTrack) >= state.cdLoopEnd) {
            mci.BackToLoopStartCD();
        }
        return;
    }
    // A disc was inserted, or the first disc is seen.
    if (!state.cdOpened) {
        state.cdOpened = mci.OpenCD(true);
        if (!state.cdOpened) {
            return;
        }
    }
    state.cdMediaPresent = mci.IsMediaPresentCD();
    if (!state.cdMediaPresent) {
        return;
    }
    takeDiscIn();
    mci.PerfectHeadCD();
}

void CdPlayer::start() {
    const CdPlayState s = state.cdPlayState;
    if ((s == CdPlayState::Pausing || s == CdPlayState::Stopping) && mci.PlayCD()) {
        state.enabledButtons = kCdAllButtons & ~kCdStart;
        state.cdPlayState = CdPlayState::Playing;
        emit changed();
    }
}

void CdPlayer::pause() {
    if (state.cdPlayState == CdPlayState::Playing && mci.PauseCD()) {
        state.cdPlayState = CdPlayState::Pausing;
        state.enabledButtons = (state.enabledButtons & ~(kCdPause | kCdStop)) | kCdStart;
        emit changed();
    }
}

void CdPlayer::stop() {
    if (mci.StopCD()) {
        state.cdPlayState = CdPlayState::Stopping;
        state.enabledButtons = (state.enabledButtons & ~(kCdPause | kCdStop)) | kCdStart;
        emit changed();
    }
}

void CdPlayer::next() {
    mci.NextCD();
}

void CdPlayer::previous() {
    mci.PrevCD();
}

void CdPlayer::forward() {
    mci.FfCD();
}

void CdPlayer::rewind() {
    mci.ReCD();
}

void CdPlayer::markLoopStart() {
    if (state.cdOpened && state.cdMediaPresent) {
        state.cdLoopStart = mci.GetTimeInTrackCD(state.cdCurrentTrack);
        emit changed();
    }
}

void CdPlayer::markLoopEnd() {
    if (state.cdOpened && state.cdMediaPresent) {
        state.cdLoopEnd = mci.GetTimeInTrackCD(state.cdCurrentTrack);
        emit changed();
    }
}

void CdPlayer::setLoopOn(bool on) {
    if (state.loopOn != on) {
        state.loopOn = on;
        emit changed();
    }
}

void CdPlayer::pauseOrResume() {
    if (canPress(kCdPause) && state.cdPlayState == CdPlayState::Playing) {
        pause();
    } else if (canPress(kCdStart) && state.cdPlayState == CdPlayState::Pausing) {
        start();
    }
}

void CdPlayer::muteOn() {
    if (state.cdOpened && !state.cdMuted && mci.MuteCD()) {
        state.cdMuted = true;
        emit changed();
    }
}

void CdPlayer::muteOff() {
    if (state.cdOpened && mci.ReMuteCD()) {
        state.cdMuted = false;
        emit changed();
    }
}

} // namespace mt
