#pragma once

#include "media/midi/MidiLibrary.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>

namespace mt {

class SoundDevice;

// Where the song stands. Preview: a song just opened plays for a second, after which its
// title, tempo and resolution are read and it stops.
enum class MidiState { None, Preview, Stopping, Playing, Pausing };

// The MIDI transport buttons, as flags of MidiFilePlayer::enabledButtons.
enum MidiButton : unsigned {
    kMidiStart = 1u << 0,
    kMidiPause = 1u << 1,
    kMidiStop = 1u << 2,
    kMidiForward = 1u << 3,
    kMidiRewind = 1u << 4,
};

// The MIDI player: its state, its wrappers around the MIDI library, and the rules a
// performer's presses follow (opening, the one-second preview, the transport and which of
// its buttons may be pressed, the playing watch, the tempo, the keyboard's mute). The MIDI
// panel shows it and redraws on `changed`; shutdown calls MidiStop then MidiCloseDevice.
// UI thread only; nothing here waits for the audio thread.
class MidiFilePlayer final : public QObject {
    Q_OBJECT

public:
    static constexpr int kPreviewMs = 1000;
    static constexpr int kPlayingTickMs = 20;
    static constexpr int kMinTempo = 1; // a tempo of 0 would divide the bar by zero
    static constexpr int kMaxTempo = 400;

    // Shows a message box with OK only, no icon and the program's title.
    using MessageSink = std::function<void(const QString&)>;

    // `sound` tells which sound library the synth is mixed into.
    MidiFilePlayer(MessageSink showMessage, const SoundDevice& sound);

    // The MIDI state. Tempos in beats per minute, midiResolution in ticks per quarter note.
    bool midiOpened = false;   // set once the device opened; never cleared
    std::int32_t midiSong = 0; // handle of the loaded song, 0 = none
    MidiState midiState = MidiState::None;
    unsigned enabledButtons = 0; // MidiButton flags: which transport buttons may be pressed
    std::int32_t midiTempo = 120;
    std::int32_t midiStartTempo = 0; // applied when playing starts from Stopping
    std::int32_t midiResolution = 0; // 0 until a preview has completed
    double midiBarSeconds = 2.0;     // 240 / midiTempo, seconds per bar of four beats
    std::int32_t midiTimeHundredths = 0;
    std::int32_t midiBeats = 0;       // whole beats played, as the playing watch last read them
    bool midiMuted = false;           // kept by the keyboard's mute key
    bool repeat = false;              // the song starts over at its end
    int resetKind = -1;               // the chosen system reset (GM, GS, XG, VL, VL2); -1 none yet
    std::optional<QString> songTitle; // the last previewed song's title; none before one
    MidiInfo midiInfo;                // filled by MidiGetInfo

    // --- The player's rules -----------------------------------------------------------------
    // Showing the media panel, while the device is not open: opens it (a failure says so, and
    // it is tried again on the next showing) and chooses the first reset kind.
    void openDevice();
    // Chooses a reset kind and sends it, also when it was already chosen: choosing it again
    // is how a performer resets a synth that something else put in another state.
    void chooseReset(int index);
    // Opens `path` and previews it for a second. A file that will not load leaves an empty
    // player: the previous song is freed by then.
    void openSong(const QString& path);
    // Plays from a stop (from the top, at the song's own tempo) or a pause (where it paused).
    // During a preview the preview ends first, so the song's title and tempo are read.
    void start();
    void pause();
    // Pauses a playing song; nothing in another state.
    void pauseIfPlaying();
    void stop();
    void forward();
    void rewind();
    // The performer's tempo: shown and taken as the bar, and sent to a playing song.
    void setTempo(std::int32_t tempo);
    // The watch `watchTimer` runs: the end of the preview, or every 20 ms while playing the
    // time, the song's own tempo changes and its end. A message box it shows runs the event
    // loop, and a tick under it does nothing.
    void tick();
    // The mute key, held: silences a playing song's synth. Let go (or the window left), the
    // synth is heard again, even when the song ended or was stopped meanwhile.
    void muteOn();
    void muteOff();
    bool canPress(MidiButton button) const { return (enabledButtons & button) != 0; }

    // The library: opens the synth, mixes it into the current sound library. False when
    // the synth or its SoundFont cannot start. No sound library (a silent program) is no
    // failure: the synth then runs unheard.
    bool MidiOpenDevice();
    void MidiCloseDevice();
    // After the sound library was terminated and made again: mix the synth into the new one.
    void MidiReattach();

    // Frees the previous song, loads `path`, sends the reset of `resetIndex`, plays the song
    // once and sets midiState to Preview. False when the file cannot be loaded: the previous
    // song is gone by then, so midiSong is 0 and midiState None, as before any song.
    bool MidiLoadSong(const QString& path, int resetIndex);
    void MidiFreeSong();
    void MidiPlay(bool looping);
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
    // midiBarSeconds as midiBarSecondsLabel shows it: rounded half up to three decimals,
    // "#,###0.000".
    QString BarSecondsText() const;
    // The elapsed time of the playing tick: whole beats of `position`, then hundredths of a
    // second at midiTempo. False (nothing written) while midiResolution or midiTempo is 0.
    bool ElapsedFromPosition(std::int32_t position, std::int32_t& beats,
                             std::int32_t& hundredths) const;

    MidiLibrary kbgm;
    QTimer watchTimer;

signals:
    // Anything the MIDI panel shows changed.
    void changed();

private:
    void tickOnce();
    void enterStopped();
    // Runs the watch every `ms`, from now.
    void runWatch(int ms);
    void adoptTempo(std::int32_t tempo);

    bool m_inTick = false;
    MessageSink m_showMessage;
    const SoundDevice& m_sound;
};

} // namespace mt
