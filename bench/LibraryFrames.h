#pragma once

#include "audio/OutputChoice.h"
#include "audio/OutputFormat.h"
#include "audio/SoundBuffers.h"
#include "core/FrameClock.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace mt::bench {

// A sound library's frames, as the program's track sound hands them to the beat clock.
class LibraryFrames final : public FrameClock {
public:
    explicit LibraryFrames(std::int32_t library) : m_library(library) {}
    int frameRate() const override { return libraryFrameRate(m_library); }
    std::int64_t frameHorizon() const override { return libraryFrameHorizon(m_library); }
    std::shared_ptr<const OutputClock> outputClock() const override {
        return libraryOutputClock(m_library);
    }

private:
    std::int32_t m_library;
};

// A sound library on the running JACK server, mixing at `rate`; 0, said on stderr under
// `program`'s name, when it does not open there at that rate.
inline std::int32_t OpenJackLibrary(const char* program, int rate) {
    OutputChoice choice;
    choice.system = AudioSystem::Jack;
    OutputFormat format;
    format.sampleRate = rate;
    const std::int32_t library = openSoundLibraryOn(choice, &format);
    if (library == 0 || libraryFrameRate(library) != rate) {
        std::fprintf(stderr, "%s: the library did not open on JACK\n", program);
        return 0;
    }
    return library;
}

// A mono 16-bit WAV image at `rate`: `frames` frames of `sample(i)`, in sample units.
template <typename F> QByteArray MonoWav(int rate, int frames, F sample) {
    QByteArray b("RIFF");
    const auto le = [&b](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            b += static_cast<char>((v >> (8 * i)) & 0xff);
        }
    };
    le(36 + 2 * frames, 4);
    b += "WAVEfmt ";
    le(16, 4);
    le(1, 2);
    le(1, 2);
    le(rate, 4);
    le(2 * rate, 4);
    le(2, 2);
    le(16, 2);
    b += "data";
    le(2 * frames, 4);
    for (int i = 0; i < frames; ++i) {
        le(static_cast<std::uint16_t>(static_cast<std::int16_t>(sample(i))), 2);
    }
    return b;
}

} // namespace mt::bench
