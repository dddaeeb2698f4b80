// libFuzzer target for the standard MIDI file reader: any bytes give an answer, never a crash,
// a hang or a read outside the image, and a song that loads is one the player can walk.
#include "media/midi/SmfSong.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mt::SmfSong song;
    if (!mt::ParseSmf(data, size, song)) {
        return 0;
    }
    if (song.resolution <= 0) {
        __builtin_trap();
    }
    std::uint32_t previous = 0;
    for (const mt::SmfEvent& e : song.events) {
        // In tick order, within the song, sysex inside its byte store, tempo never 0.
        if (e.tick < previous || e.tick > song.endTick) {
            __builtin_trap();
        }
        previous = e.tick;
        if (e.kind == mt::SmfEvent::Kind::Sysex &&
            (e.length == 0 ||
             e.value + static_cast<std::uint64_t>(e.length) > song.sysexBytes.size())) {
            __builtin_trap();
        }
        if (e.kind == mt::SmfEvent::Kind::Tempo && e.value == 0) {
            __builtin_trap();
        }
        if (e.kind == mt::SmfEvent::Kind::Channel &&
            (e.status < 0x80 || e.status > 0xef || e.data1 > 0x7f || e.data2 > 0x7f)) {
            __builtin_trap();
        }
    }
    return 0;
}
