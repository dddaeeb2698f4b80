#include "audio/WavDecoder.h"

#include "audio/SoundFormat.h"
#include "audio/WaveOverview.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace mt {
namespace {

// Read-only virtual file over the caller's image.
struct MemoryFile {
    const unsigned char* data;
    sf_count_t size;
    sf_count_t position;
};

sf_count_t vfLength(void* user) {
    return static_cast<MemoryFile*>(user)->size;
}

sf_count_t vfSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = f->position;
    } else if (whence == SEEK_END) {
        base = f->size;
    }
    f->position = std::clamp<sf_count_t>(base + offset, 0, f->size);
    return f->position;
}

sf_count_t vfRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, f->size - f->position);
    std::memcpy(ptr, f->data + f->position, static_cast<std::size_t>(n));
    f->position += n;
    return n;
}

sf_count_t vfWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t vfTell(void* user) {
    return static_cast<MemoryFile*>(user)->position;
}

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// More than two channels: read in slices and keep the first two of each frame.
std::int64_t readFirstTwoChannels(SNDFILE* file, int fileChannels, float* out,
                                  std::int64_t frames) {
    constexpr sf_count_t kSlice = 4096;
    std::vector<float> slice(static_cast<std::size_t>(kSlice * fileChannels));
    std::int64_t done = 0;
    while (done < frames) {
        const sf_count_t got =
            sf_readf_float(file, slice.data(), std::min<sf_count_t>(kSlice, frames - done));
        if (got <= 0) {
            break;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            out[2 * (done + i)] = slice[static_cast<std::size_t>(i * fileChannels)];
            out[2 * (done + i) + 1] = slice[static_cast<std::size_t>(i * fileChannels + 1)];
        }
        done += got;
    }
    return done;
}

// The most frames a byte of a compressed stream can stand for: FLAC's constant blocks of
// silence reach a few thousand. A declared length beyond it is a lie that must not size the
// buffer.
constexpr std::int64_t kMaxFramesPerByte = 8192;

// Past this a lossy decoder's sample is no overshoot but garbage from a damaged frame.
constexpr float kMaxDecodedLevel = 4.0f;

// FLAC, Ogg Vorbis, Opus, MP3, AIFF. A stream that decodes short of its declared length (cut,
// or a frame its decoder refused: libFLAC stops there, libogg skips a page whose checksum
// fails), or to a sample that is not a finite level, is refused whole: a track plays all of
// its file or nothing.
std::unique_ptr<SampleBuffer> DecodeCodedStream(SNDFILE* file, const SF_INFO& info,
                                                SoundFormat format, const MemoryFile& memory,
                                                QString& reason) {
    const QString name = SoundFormatName(format);
    // The sentence a WAV file whose samples cannot be read gives.
    const QString damaged = name + QStringLiteral("ファイルの音声データを読み取れません。");
    if (info.channels < 1 || info.samplerate < 1) {
        reason = name + QStringLiteral("ファイルの形式情報が不正です。");
        return nullptr;
    }
    if (info.frames <= 0 || info.frames / kMaxFramesPerByte > memory.size) {
        reason = damaged;
        return nullptr;
    }
    if (format == SoundFormat::Aiff) {
        const auto declared =
            AiffDeclaredFrames(memory.data, static_cast<std::size_t>(memory.size));
        if (declared && *declared != info.frames) {
            reason = damaged;
            return nullptr;
        }
    }
    const int channels = std::min(info.channels, 2);
    auto buffer = std::make_unique<SampleBuffer>(info.frames, channels, info.samplerate);
    const std::int64_t got =
        info.channels <= 2 ? sf_readf_float(file, buffer->data(), info.frames)
                           : readFirstTwoChannels(file, info.channels, buffer->data(), info.frames);
    if (got <= 0 || got < info.frames - DeclaredLengthSlack(format)) {
        reason = damaged;
        return nullptr;
    }
    const float* samples = buffer->data();
    const auto count = static_cast<std::size_t>(got * channels);
    if (!std::all_of(samples, samples + count,
                     [](float x) { return std::fabs(x) <= kMaxDecodedLevel; })) {
        reason = damaged;
        return nullptr;
    }
    buffer->truncate(got);
    buffer->setOverview(MakeWaveOverview(*buffer));
    return buffer;
}

} // namespace

std::unique_ptr<SampleBuffer> DecodeWavImage(const void* image, std::size_t size, QString& reason) {
    if (image == nullptr || size == 0) {
        reason = QStringLiteral("WAVファイルの中身が空です。");
        return nullptr;
    }
    MemoryFile memory{static_cast<const unsigned char*>(image), static_cast<sf_count_t>(size), 0};
    SF_VIRTUAL_IO io{vfLength, vfSeek, vfRead, vfWrite, vfTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file) {
        reason = QStringLiteral("WAVファイルとして読み取れない形式です。");
        return nullptr;
    }
    const std::optional<SoundFormat> format = SoundFormatOf(info.format);
    if (!format) {
        reason = QStringLiteral("WAV、FLAC、Ogg Vorbis、Opus、MP3、AIFFのどれでもありません。");
        return nullptr;
    }
    if (*format != SoundFormat::Wav) {
        sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        return DecodeCodedStream(file.get(), info, *format, memory, reason);
    }
    if (info.channels < 1 || info.samplerate < 1) {
        reason = QStringLiteral("WAVファイルの形式情報が不正です。");
        return nullptr;
    }
    if (info.frames <= 0) {
        reason = QStringLiteral("WAVファイルに音声データがありません。");
        return nullptr;
    }
    // Integers are scaled so that full scale stays 1.0 rather than clipping at the top code.
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    const int channels = std::min(info.channels, 2);
    auto buffer = std::make_unique<SampleBuffer>(info.frames, channels, info.samplerate);
    std::int64_t got = 0;
    if (info.channels <= 2) {
        got = sf_readf_float(file.get(), buffer->data(), info.frames);
    } else {
        got = readFirstTwoChannels(file.get(), info.channels, buffer->data(), info.frames);
    }
    if (got <= 0) {
        reason = QStringLiteral("WAVファイルの音声データを読み取れません。");
        return nullptr;
    }
    buffer->truncate(got);
    buffer->setOverview(MakeWaveOverview(*buffer));
    return buffer;
}

} // namespace mt
