#pragma once

#include "core/ReferenceBar.h"
#include "media/midi/MidiFilePlayer.h"

namespace mt {

// The MIDI song's bar, as its tempo sets it.
class MidiReferenceBar final : public ReferenceBar {
public:
    explicit MidiReferenceBar(const MidiFilePlayer& midi) : m_midi(midi) {}

    double barSeconds() const override { return m_midi.midiBarSeconds; }

private:
    const MidiFilePlayer& m_midi;
};

} // namespace mt
