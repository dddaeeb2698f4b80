#pragma once

#include "core/MediaControl.h"
#include "media/midi/MidiFilePlayer.h"

namespace mt {

// The performance keys' way to the program's MIDI player.
class MidiMediaControl final : public MediaControl {
public:
    explicit MidiMediaControl(MidiFilePlayer& midi) : m_midi(midi) {}

    void muteOn() override { m_midi.muteOn(); }
    void muteOff() override { m_midi.muteOff(); }
    bool muted() const override { return m_midi.midiMuted; }
    void pauseOrResume() override {
        if (m_midi.midiState == MidiState::Playing) {
            m_midi.pause();
        } else if (m_midi.midiState == MidiState::Pausing) {
            m_midi.start();
        }
    }

    void stopPlaying() override {
        if (m_midi.midiSong != 0 && m_midi.midiState != MidiState::None &&
            m_midi.midiState != MidiState::Stopping) {
            m_midi.stop();
        }
    }

private:
    MidiFilePlayer& m_midi;
};

} // namespace mt
