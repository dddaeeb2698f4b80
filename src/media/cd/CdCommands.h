#pragma once

#include "media/cd/CdState.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace mt {

class MciDevice;

// The CD operations: each sends one or a few fixed command strings to the device "cdaudio",
// reads the reply where there is one, and turns a failure into one message box that names
// the operation ("エラー@PlayCD..." and the device's error text). Positions are milliseconds
// from the start of the disc. Nothing is retried, and a failing operation changes no state.
// The layer keeps no state of its own; it reads the CD state the panel keeps. UI thread only;
// an operation waits for the device's replies.
class CdCommands {
public:
    using Tell = std::function<void(const QString&)>; // an OK-only message box

    CdCommands(MciDevice& device, CdState& state, Tell tell);

    // Tests put a scripted device in place of the real one.
    void setDevice(MciDevice& device) { m_device = &device; }
    MciDevice& device() const { return *m_device; }

    // False without a box, quiet or not, while the device is checking its image.
    bool OpenCD(bool quiet);
    bool CloseCD();
    std::int32_t GetAllTracksCD();
    // 0 without asking the device while it has not been opened.
    std::int32_t GetTrackCD();
    bool PlayCD();
    bool PauseCD();
    // Stops and goes back to the start of the current track.
    bool StopCD();
    void SetCDTimeFormat();
    bool IsMediaPresentCD();
    // "playing", "paused", "stopped", "seeking", "open", "not ready" ...; empty on failure.
    QString GetStatusCD(bool quiet);
    // Milliseconds from the start of `track` to where the disc is; 0 on failure.
    std::int32_t GetTimeInTrackCD(std::int32_t track);
    bool HeadCD();
    bool PerfectHeadCD();
    bool NextCD();
    bool PrevCD();
    void FfCD();
    bool ReCD();
    // Plays from the current track's start plus the A mark.
    bool BackToLoopStartCD();
    bool MuteCD();
    bool ReMuteCD();

    // The device's text for `code` without trailing blanks, or a fixed text when it has none.
    QString GetMciErrorText(std::uint32_t code);

private:
    std::uint32_t send(const std::string& command);
    // Sends a command whose reply is read from a buffer of `length` characters.
    std::uint32_t query(const std::string& command, int length, std::string& reply);
    // A query whose reply is a number; false (with the code in `code`) on failure.
    bool queryNumber(const std::string& command, int length, std::int32_t& value,
                     std::uint32_t& code);
    // Whatever the device writes for `code` into a cleared 1024-character buffer.
    QString rawErrorText(std::uint32_t code);
    void fail(const char* operation, std::uint32_t code);
    bool playing() const;

    MciDevice* m_device;
    CdState& m_state;
    Tell m_tell;
};

// The number a reply starts with: leading blanks, an optional sign, digits and decimals,
// rounded to the nearest integer with halves to even; 0 when there are no digits.
std::int32_t ReplyNumber(const std::string& reply);

} // namespace mt
