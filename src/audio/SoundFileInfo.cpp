#include "audio/SoundFileInfo.h"

#include "audio/WavReader.h"
#include "platform/RegularFile.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace mt {
namespace {

// Enough of the file's start for its magic and an AIFF "COMM" behind the usual chunks.
constexpr qint64 kHeadBytes = qint64{64} * 1024;

sf_count_t QtLength(void* user) {
    return static_cast<QFile*>(user)->size();
}

sf_count_t QtSeek(sf_count_t offset, int whence, void* user) {
    auto* file = static_cast<QFile*>(user);
    qint64 base = 0;
    if (whence == SEEK_CUR) {
        base = file->pos();
    } else if (whence == SEEK_END) {
        base = file->size();
    }
    file->seek(std::clamp<qint64>(base + offset, 0, file->size()));
    return file->pos();
}

sf_count_t QtRead(void* ptr, sf_count_t count, void* user) {
    const qint64 n = static_cast<QFile*>(user)->read(static_cast<char*>(ptr), count);
    return n < 0 ? 0 : n;
}

sf_count_t QtWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t QtTell(void* user) {
    return static_cast<QFile*>(user)->pos();
}

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

enum class Outcome { NotCoded, Read, Refused };

// The five formats other than WAV, from libsndfile's view of the file.
Outcome ReadCodedInfo(QFile& file, const QByteArray& head, WavInfo& info, SoundFormat& format) {
    SF_VIRTUAL_IO io{QtLength, QtSeek, QtRead, QtWrite, QtTell};
    SF_INFO sf{};
    file.seek(0);
    const std::unique_ptr<SNDFILE, SndFileCloser> opened(
        sf_open_virtual(&io, SFM_READ, &sf, &file));
    if (!opened) {
        return Outcome::NotCoded;
    }
    const std::optional<SoundFormat> found = SoundFormatOf(sf.format);
    if (!found || *found == SoundFormat::Wav) {
        return Outcome::NotCoded;
    }
    // SF_COUNT_MAX: an Ogg stream that ends without its end-of-stream page, so its length is
    // unknown: it was cut.
    if (sf.channels < 1 || sf.channels > std::numeric_limits<std::int16_t>::max() ||
        sf.samplerate < 1 || sf.frames <= 0 ||
        sf.frames > std::numeric_limits<std::int32_t>::max()) {
        return Outcome::Refused;
    }
    if (*found == SoundFormat::Aiff) {
        const auto declared =
            AiffDeclaredFrames(reinterpret_cast<const unsigned char*>(head.constData()),
                               static_cast<std::size_t>(head.size()));
        if (declared && *declared != sf.frames) {
            return Outcome::Refused;
        }
    }
    info = WavInfo{};
    info.channels = static_cast<std::int16_t>(sf.channels);
    info.samplesPerSec = sf.samplerate;
    info.bitsPerSample = static_cast<std::int16_t>(SubtypeBits(sf.format));
    info.frameCount = static_cast<std::int32_t>(sf.frames);
    format = *found;
    return Outcome::Read;
}

} // namespace

bool ReadSoundInfo(const QString& path, WavInfo& info, SoundFormat* format) {
    QFile file(path);
    if (OpenRegularFileForReading(file)) {
        const QByteArray head = file.read(kHeadBytes);
        if (!head.startsWith("RIFF")) {
            SoundFormat coded = SoundFormat::Wav;
            switch (ReadCodedInfo(file, head, info, coded)) {
            case Outcome::Read:
                if (format != nullptr) {
                    *format = coded;
                }
                return true;
            case Outcome::Refused:
                return false;
            case Outcome::NotCoded:
                break;
            }
        }
    }
    file.close();
    if (!ReadWavInfo(path, info)) {
        return false;
    }
    if (format != nullptr) {
        *format = SoundFormat::Wav;
    }
    return true;
}

} // namespace mt
