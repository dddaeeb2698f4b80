#pragma once

#include "core/MediaControl.h"
#include "media/cd/CdPlayer.h"

namespace mt {

// The performance keys' way to the program's CD player.
class CdMediaControl final : public MediaControl {
public:
    explicit CdMediaControl(CdPlayer& cd) : m_cd(cd) {}

    void muteOn() override { m_cd.muteOn(); }
    void muteOff() override { m_cd.muteOff(); }
    bool muted() const override { return m_cd.state.cdMuted; }
    void pauseOrResume() override { m_cd.pauseOrResume(); }
    void stopPlaying() override {
        const CdPlayState state = m_cd.state.cdPlayState;
        if (state == CdPlayState::Playing || state == CdPlayState::Pausing) {
            m_cd.stop();
        }
    }

private:
    CdPlayer& m_cd;
};

} // namespace mt
