// libFuzzer target for loading a track the way the program does, on an offline output: the
// header read of any of the six formats (the WAV chunk walk, or libsndfile's headers and the
// check for a cut stream), a buffer decoded from the whole file image, a few blocks of it
// played and rendered, and the buffer freed. Whatever the bytes, nothing crashes, leaks or
// sounds other than finite samples. scripts/fuzz seeds it with a file of one format.
#include "ScratchPath.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "audio/SoundFileInfo.h"
#include "audio/WavReader.h"

#include <QFile>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct Library {
    Library() {
        auto made = std::make_unique<mt::OfflineOutput>();
        output = made.get();
        handle = mt::openSoundLibraryWith(std::move(made));
    }
    mt::OfflineOutput* output = nullptr;
    std::int32_t handle = 0;
};

} // namespace

// libsndfile 1.2 refuses some damaged Ogg Vorbis headers without clearing the vorbis_info it
// began (5.7 kB per refused open, the open's own error path): the library's leak, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:vorbis_info_init\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Library library;
    static const mt::fuzz::ScratchPath scratch("marrowtune-fuzz-track-%1.wav");
    const QString& path = scratch.path();
    if (library.handle == 0) {
        __builtin_trap();
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    mt::WavInfo info;
    const bool known = mt::ReadSoundInfo(path, info);
    const std::int32_t buffer = mt::createSoundBuffer(library.handle, data, size, 1);
    if (buffer == 0) {
        return 0;
    }
    // The speeds the track bar reaches: 50 Hz to 90 kHz on the 44.1 kHz scale, and the file's
    // own rate when the header gave one.
    const std::int32_t speeds[] = {50, 44100, 90000};
    const std::int32_t hz =
        known && size % 4 == 3 ? static_cast<std::int32_t>(info.samplesPerSec) : speeds[size % 3];
    if (size % 2 == 0) {
        mt::playBufferWith(buffer, -600, 2000, hz);
    } else {
        mt::playBufferLoopingWith(buffer, 0, -10000, hz);
    }
    for (int block = 0; block < 4; ++block) {
        for (float sample : library.output->render(256)) {
            if (!std::isfinite(sample)) {
                __builtin_trap();
            }
        }
    }
    mt::VoiceStatus status;
    mt::bufferStatus(buffer, status);
    mt::freeSoundBuffer(buffer);
    library.output->render(512); // the fade, and the buffer handed back
    mt::collectLibrary(library.handle);
    return 0;
}
