#include "audio/WavDecoder.h"

#include <sndfile.h>

#include <algorithm>
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
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV &&
        (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAVEX) {
        reason = QStringLiteral("WAVファイルではありません。");
        return nullptr;
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
    return buffer;
}

} // namespace mt
