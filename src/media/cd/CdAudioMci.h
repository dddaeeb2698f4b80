#pragma once

#include "media/cd/MciDevice.h"

#include <string>
#include <string_view>
#include <vector>

namespace mt {

class CdAudioDevice;

// The command strings of the device named "cdaudio", carried out on a CdAudioDevice:
//   open cdaudio [shareable]             close cdaudio
//   status cdaudio mode | number of tracks | current track | media present | length
//                      | position [track N]
//   set cdaudio time format milliseconds  set cdaudio audio left|right|all on|off
//   play cdaudio [from P]   seek cdaudio to P|start|end   pause | stop | resume cdaudio
// A status query to the device while it is not open opens it for that query alone, as the
// command-string interface does. Words are matched without regard to case; "wait" is accepted and
// changes nothing (every command but play completes before it returns, and play never waits). Times
// are always milliseconds: other time formats are refused.
class CdAudioMci final : public MciDevice {
public:
    explicit CdAudioMci(CdAudioDevice& device) : m_device(device) {}

    std::uint32_t sendString(std::string_view command, char* reply, int replyLength) override;
    bool getErrorString(std::uint32_t code, char* text, int length) override;

private:
    std::uint32_t status(const std::vector<std::string>& words, std::string& reply);
    std::uint32_t set(const std::vector<std::string>& words);

    CdAudioDevice& m_device;
};

} // namespace mt
