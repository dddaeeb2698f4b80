#pragma once

#include "media/midi/Kbgm.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace mt {

class VbDSound;

// The MIDI player's state and its wrappers around the MIDI library. The panel runs the state
// machine on top; the keyboard mutes through MidiMute/MidiUnmute; shutdown calls MidiStop
// then MidiCloseDevice. UI thread only; nothing here waits for the audio thread.
class ModuleMIDI {
public:
    // Shows a message box with OK only, no icon and the program's title.
    using MessageSink = std::function<void(const QString&)>;

    // `sound` tells which sound library the synth is mixed into.
    ModuleMIDI(MessageSink showMessage, const VbDSound& sound);

    // The MIDI state. Tempos in beats per minute, midiResolution in ticks per quarter note.
    bool midiOpened = false;   // set once the device opened; never cleared
    std::int32_t midiSong = 0; // handle of the loaded song, 0 = none
    QString midiState;         // "Preview", "Stopping", "Playing", "Pausing" or empty
    std::int32_t midiTempo = 120;
    std::int32_t midiStartTempo = 0; // applied when playing starts from "Stopping"
    std::int32_t midiResolution = 0; // 0 until a preview has completed
    double midiBarSeconds = 2.0;     // 240 / midiTempo, seconds per bar of four beats
    std::int32_t midiTimeHundredths = 0;
    bool midiMuted = false; // kept by the keyboard's mute key
    MidiInfo midiInfo;      // filled by MidiGetInfo

    // The library: opens the synth, mixes it into the current sound library. False when
    // the synth or its SoundFont cannot start. No sound library (a silent program) is no
    // failure: the synth then runs unheard.
    bool MidiOpenDevice();
    void MidiCloseDevice();
    // After the sound library was terminated and made again: mix the synth into the new one.
    void MidiReattach();

    // Frees the previous song, loads `path`, sends the reset of `resetIndex`, plays the song
    // once and sets midiState to "Preview". False when the file cannot be loaded: the previous
    // song is gone by then, so midiSong is 0 and midiState empty, as before any song.
    bool MidiLoadSong(const QString& path, int resetIndex);
    void MidiFreeSong();
    void MidiPlay(bool repeat);
    void MidiStop();
    void MidiPause();
    void MidiResume();
    void MidiForward();
    // Shows "巻き戻し時にエラー発生" when the library refuses.
    void MidiRewind();
    // Fills midiInfo; false after showing "GETINFOMIDIでエラー発生".
    bool MidiGetInfo();
    void MidiSetTempo(std::int32_t tempo);
    void MidiMute();
    void MidiUnmute();
    // List index of the reset list (GM, GS, XG, VL, VL2) to the library's reset kind;
    // any other index sends nothing.
    void SendMidiReset(int index);

    // midiBarSeconds from midiTempo (0 when the tempo is 0).
    void UpdateBarSeconds();
    // midiBarSeconds as lblMIDISec shows it: rounded half up to three decimals, "#,###0.000".
    QString BarSecondsText() const;
    // The elapsed time of the playing tick: whole beats of `position`, then hundredths of a
    // second at midiTempo. False (nothing written) while midiResolution or midiTempo is 0.
    bool ElapsedFromPosition(std::int32_t position, std::int32_t& beats,
                             std::int32_t& hundredths) const;

    Kbgm kbgm;

private:
    MessageSink m_showMessage;
    const VbDSound& m_sound;
};

} // namespace mt
