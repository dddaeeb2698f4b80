#pragma once

#include <cstdint>

namespace mt {

// Error codes of the cdaudio device. The first group keeps the numbers of the multimedia
// command interface; the second is the device's own (from the driver-specific range).
enum MciError : std::uint32_t {
    kMciOk = 0,
    kMciErrUnrecognizedKeyword = 259,
    kMciErrUnrecognizedCommand = 261,
    kMciErrHardware = 262,
    kMciErrInvalidDeviceName = 263,
    kMciErrBadInteger = 270,
    kMciErrMissingParameter = 273,
    kMciErrDeviceNotReady = 276,
    kMciErrOutOfRange = 282,
    kMciErrDeviceOpen = 288,
    kMciErrBadTimeFormat = 293,
    kMciErrParamOverflow = 299,

    kCdErrNoSource = 512,       // no drive on this machine and no disc image chosen
    kCdErrImageMissing = 513,   // the chosen image file does not exist
    kCdErrBinMissing = 514,     // a cue sheet without the .bin of the same name beside it
    kCdErrImageDamaged = 515,   // libcdio cannot read the image, or its probe failed on it
    kCdErrCueOfWaveFiles = 516, // a cue sheet whose FILE lines name WAVE files, not one .bin
    kCdErrProbeMissing = 517,   // the program that checks images is not installed
    kCdErrChecking = 518,       // the image is being checked: ask again once the verdict came
};

// The Japanese description of a device error (UTF-8), or null for a code the device never
// returns. Shown through QCoreApplication::translate("mt::MciErrors", text).
const char* MciErrorText(std::uint32_t code) noexcept;

} // namespace mt
