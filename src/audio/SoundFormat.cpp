#include "audio/SoundFormat.h"

#include <sndfile.h>

#include <cstring>

namespace mt {
namespace {

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

} // namespace

std::optional<SoundFormat> SoundFormatOf(int sndfileFormat) {
    switch (sndfileFormat & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
        return SoundFormat::Wav;
    case SF_FORMAT_FLAC:
        return SoundFormat::Flac;
    case SF_FORMAT_AIFF:
        return SoundFormat::Aiff;
    case SF_FORMAT_MPEG:
        return SoundFormat::Mp3;
    case SF_FORMAT_OGG:
        if ((sndfileFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS) {
            return SoundFormat::OggVorbis;
        }
        if ((sndfileFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) {
            return SoundFormat::Opus;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

QString SoundFormatName(SoundFormat format) {
    switch (format) {
    case SoundFormat::Wav:
        return QStringLiteral("WAV");
    case SoundFormat::Flac:
        return QStringLiteral("FLAC");
    case SoundFormat::OggVorbis:
        return QStringLiteral("Ogg Vorbis");
    case SoundFormat::Opus:
        return QStringLiteral("Opus");
    case SoundFormat::Mp3:
        return QStringLiteral("MP3");
    case SoundFormat::Aiff:
        return QStringLiteral("AIFF");
    }
    return {};
}

int SubtypeBits(int sndfileFormat) {
    switch (sndfileFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    default:
        return 0;
    }
}

std::int64_t DeclaredLengthSlack(SoundFormat format) {
    return format == SoundFormat::Mp3 ? 2 * 1152 : 0;
}

std::optional<std::int64_t> AiffDeclaredFrames(const unsigned char* head, std::size_t size) {
    if (size < 12 || std::memcmp(head, "FORM", 4) != 0 ||
        (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0)) {
        return std::nullopt;
    }
    std::size_t at = 12;
    while (size - at >= 8) {
        const std::uint32_t chunkSize = BigEndian32(head + at + 4);
        if (std::memcmp(head + at, "COMM", 4) == 0) {
            // channels (2 bytes), then the frame count.
            if (chunkSize < 6 || size - at - 8 < 6) {
                return std::nullopt;
            }
            return BigEndian32(head + at + 8 + 2);
        }
        const std::uint64_t next = at + 8 + std::uint64_t{chunkSize} + (chunkSize & 1);
        if (next > size) {
            return std::nullopt;
        }
        at = static_cast<std::size_t>(next);
    }
    return std::nullopt;
}

QStringList SoundFileNameFilters() {
    return {QStringLiteral("*.wav"), QStringLiteral("*.flac"), QStringLiteral("*.ogg"),
            QStringLiteral("*.oga"), QStringLiteral("*.opus"), QStringLiteral("*.mp3"),
            QStringLiteral("*.aif"), QStringLiteral("*.aiff"), QStringLiteral("*.aifc")};
}

} // namespace mt
