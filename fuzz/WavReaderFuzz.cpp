// libFuzzer target for the WAV header walk: any bytes must give an answer, never a crash, a
// hang or a read past what the file holds.
#include "ScratchPath.h"
#include "audio/WavReader.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const mt::fuzz::ScratchPath scratch("marrowtune-fuzz-%1.wav");
    const QString& path = scratch.path();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    mt::WavInfo info;
    if (mt::ReadWavInfo(path, info)) {
        // A successful read always describes a usable file: callers divide by the rate and
        // the channel count.
        if (info.frameCount < 0 || info.samplesPerSec <= 0 || info.channels <= 0) {
            __builtin_trap();
        }
    }
    return 0;
}
