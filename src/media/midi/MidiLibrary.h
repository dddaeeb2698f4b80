#pragma once

#include "media/midi/SynthCommand.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>

namespace mt {

class AudioSource;
class GmSynth;
struct SmfSong;

// What songInfo tells about a song.
struct MidiInfo {
    std::int32_t tempo = 0;      // beats per minute the song plays at now, rounded
    std::int32_t playing = 0;    // 1 while it plays, 0 once it has ended or was stopped
    std::int32_t resolution = 0; // ticks per quarter note
    QString title;               // the first track name, else the first text event
    std::int32_t position = 0;   // ticks from the start of the song
};

// The MIDI library: one General MIDI synth (FluidSynth with a SoundFont) playing standard MIDI
// files into a sound library's mix. The calls keep the shape and results of the C library
// the program was written against: 0 is success, songs are 32-bit handles (0 = none).
//
// Every call is for the UI thread and none waits for the audio thread: commands reach the
// synth through a ring and act at the start of the next rendered block. What songInfo
// reports already counts the commands sent, so a call followed at once by songInfo reads
// its effect. Seek steps are in ticks; tempo is in beats per minute; volume 0..100.
class MidiLibrary {
public:
    static constexpr std::int32_t kOk = 0;
    static constexpr std::int32_t kNotOpen = 1;
    static constexpr std::int32_t kNoSuchSong = 2;
    static constexpr std::int32_t kBadFile = 3;
    static constexpr std::int32_t kBadArgument = 4;
    static constexpr std::int32_t kStillPlaying = 4099;

    static inline const QString kDefaultSoundFont =
        QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2");

    explicit MidiLibrary(QString soundFont = kDefaultSoundFont);
    ~MidiLibrary();
    MidiLibrary(const MidiLibrary&) = delete;
    MidiLibrary& operator=(const MidiLibrary&) = delete;

    // Starts the synth with the SoundFont. `port` and `bank` are the old library's output
    // port and bank selection; there is one synth and one SoundFont, so any values are taken.
    // Non-zero when FluidSynth or the SoundFont fails. May block while the SoundFont loads.
    std::int32_t open(std::int32_t port, std::int32_t bank);
    // Stops, detaches from the sound library and releases the synth and every song.
    std::int32_t close();

    // Reads the whole file and parses it; on success writes a new handle into `song`. Blocks
    // while it reads. kBadFile for a missing, unreadable or non-MIDI file.
    std::int32_t loadFile(std::int32_t& song, const QString& path);
    // kStillPlaying (nothing freed) while the song plays or is paused.
    std::int32_t freeSong(std::int32_t song);

    std::int32_t play(std::int32_t song, std::int32_t repeat);
    std::int32_t stop();
    std::int32_t pause();
    std::int32_t resume(std::int32_t song);
    // Moves by `ticks` (negative: back), clamped to the song; only the song that is current.
    std::int32_t seek(std::int32_t song, std::int32_t ticks);
    std::int32_t songInfo(std::int32_t song, MidiInfo& info);
    // The song plays at `bpm` from now on; its own tempo changes still act, scaled alike.
    std::int32_t setTempo(std::int32_t song, std::int32_t bpm);
    std::int32_t setVolume(std::int32_t song, std::int32_t volume);
    // kind: 0 GM, 1 GS, 2 VL, 3 VL2, 4 XG (bytes in systemResetBytes).
    std::int32_t sendSystemReset(std::int32_t kind);

    // Mixes the synth into the sound library with this handle from now on, leaving the one it
    // was in. Non-zero when the device is not open or the handle is not a live library; the
    // synth then goes on silently.
    std::int32_t setOutput(std::int32_t library);

    bool isOpen() const noexcept { return m_synth != nullptr; }
    const QString& soundFont() const noexcept { return m_soundFont; }
    void setSoundFont(const QString& path) { m_soundFont = path; }
    // For tests: the synth behind the calls.
    GmSynth* synth() const noexcept { return m_synth.get(); }

private:
    // What the commands sent so far will have done once applied.
    struct Expected {
        std::int32_t song = 0;
        std::int32_t state = 0; // GmSynth::State
        double bpm = 120.0;
        std::int64_t position = 0;
    };

    std::int32_t send(SynthCommand command);
    void flush();
    void settle();
    void detach();
    const SmfSong* find(std::int32_t song) const;
    Expected current() const;

    QString m_soundFont;
    std::shared_ptr<GmSynth> m_synth;
    std::int32_t m_library = 0;
    AudioSource* m_source = nullptr; // ours in m_library; only ever handed back to it
    std::int32_t m_lastSong = 0;
    std::uint32_t m_seq = 0;
    Expected m_expected;
    std::deque<SynthCommand> m_backlog; // sent, but the full ring could not take them yet
};

} // namespace mt
