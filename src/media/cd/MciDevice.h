#pragma once

#include <cstdint>
#include <string_view>

namespace mt {

// A media device driven by command strings, the shape of the operating systems' multimedia
// command interface: "play cdaudio from 12000", "status cdaudio mode" ... The CD operations
// talk to the drive only through this, so tests can put a scripted device in its place.
class MciDevice {
public:
    virtual ~MciDevice() = default;

    // UI thread. Runs one command. When the command has a reply, it is written into
    // reply[0 .. replyLength) and ends at a NUL; a reply that does not fit is an error. Returns
    // 0 on success, otherwise an error code whose text getErrorString gives. May block while
    // the device answers (a drive spinning up); never waits for playback.
    virtual std::uint32_t sendString(std::string_view command, char* reply, int replyLength) = 0;

    // UI thread. Writes the description of `code` (UTF-8, NUL-ended, cut to fit) into
    // text[0 .. length). False, with `text` untouched, when the code has no description.
    virtual bool getErrorString(std::uint32_t code, char* text, int length) = 0;
};

} // namespace mt
