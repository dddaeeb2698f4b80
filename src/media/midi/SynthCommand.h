#pragma once

#include <cstdint>

namespace mt {

struct SmfSong;

// A request from the UI thread to the song player. Small and trivially copyable: it crosses
// to the audio thread through a ring.
struct SynthCommand {
    enum class Kind : std::uint8_t {
        Play,      // song from tick 0; value = 1 to start over at the end
        Stop,      // notes released, position kept
        Pause,     // notes released, position kept
        Resume,    // song carries on from the paused position
        Seek,      // value = signed step in ticks
        SetTempo,  // value = beats per minute the song plays at from now on
        SetVolume, // value = 0..100
        Reset,     // value = reset kind, see SystemResetKind
        Release,   // song (value = its handle) is being freed: let go of it, hand it back
    };
    Kind kind = Kind::Stop;
    std::uint32_t seq = 0;
    const SmfSong* song = nullptr;
    std::int32_t value = 0;
};

} // namespace mt
