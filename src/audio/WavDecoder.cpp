#include "audio/WavDecoder.h"

#include "audio/SoundFormat.h"
#include "audio/WaveOverview.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace mt {
namespace {

// What is read of a file's start before decoding: enough for any header's chunk list.
constexpr qint64 kHeadBytes = qint64{64} * 1024;

// Bytes read from a file at once: libsndfile asks for a few kilobytes at a time.
constexpr sf_count_t kReadChunk = sf_count_t{1} << 20;

// Read-only virtual file: the caller's image in memory, or an open file descriptor read one
// chunk at a time as libsndfile goes through it (no image of the whole file is ever held).
struct MemoryFile {
    const unsigned char* data; // null: read from `fd`
    sf_count_t size;
    sf_count_t position;
    int fd = -1;
    std::vector<unsigned char> chunk; // kReadChunk bytes, once the file is read
    sf_count_t chunkStart = 0;        // the file's bytes from here on
    sf_count_t chunkHeld = 0;         // are the first this many of `chunk`
};

// Fills `out` from the file at `at`; fewer bytes where the file ends (or shrank under us),
// which ends the stream there, as a truncated image does.
sf_count_t readAt(int fd, unsigned char* out, sf_count_t count, sf_count_t at) {
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, out + done, static_cast<std::size_t>(count - done), at + done);
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}

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
    if (f->data != nullptr) {
        std::memcpy(ptr, f->data + f->position, static_cast<std::size_t>(n));
        f->position += n;
        return n;
    }
    auto* out = static_cast<unsigned char*>(ptr);
    sf_count_t done = 0;
    if (f->position >= f->chunkStart && f->position + n <= f->chunkStart + f->chunkHeld) {
        done = n;
        std::memcpy(out, f->chunk.data() + (f->position - f->chunkStart),
                    static_cast<std::size_t>(n));
    } else if (n >= kReadChunk) {
        done = readAt(f->fd, out, n, f->position);
    } else {
        f->chunk.resize(static_cast<std::size_t>(kReadChunk));
        f->chunkStart = f->position;
        f->chunkHeld = readAt(f->fd, f->chunk.data(), kReadChunk, f->position);
        done = std::min(n, f->chunkHeld);
        std::memcpy(out, f->chunk.data(), static_cast<std::size_t>(done));
    }
    f->position += done;
    return done;
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

// Frames decoded between two progress reports: 64 Ki frames, about 1.5 s at 44.1 kHz.
constexpr sf_count_t kSliceFrames = 65536;

// Reads up to `frames` frames into `out` (two channels at most), a slice at a time, stopping
// where the stream ends. Files of more than two channels keep the first two of each frame.
// False when `progress` asked to stop.
bool readFrames(SNDFILE* file, int fileChannels, float* out, std::int64_t frames,
                const DecodeProgress& progress, std::int64_t& done) {
    const int channels = std::min(fileChannels, 2);
    std::vector<float> slice;
    if (fileChannels > 2) {
        slice.resize(static_cast<std::size_t>(kSliceFrames * fileChannels));
    }
    done = 0;
    while (done < frames) {
        const sf_count_t want = std::min<sf_count_t>(kSliceFrames, frames - done);
        float* target = fileChannels > 2 ? slice.data() : out + done * channels;
        const sf_count_t got = sf_readf_float(file, target, want);
        if (got <= 0) {
            break;
        }
        if (fileChannels > 2) {
            for (sf_count_t i = 0; i < got; ++i) {
                out[2 * (done + i)] = slice[static_cast<std::size_t>(i * fileChannels)];
                out[2 * (done + i) + 1] = slice[static_cast<std::size_t>(i * fileChannels + 1)];
            }
        }
        done += got;
        if (progress && !progress(static_cast<double>(done) / static_cast<double>(frames))) {
            return false;
        }
    }
    return true;
}

// The one place a decoded buffer is completed, on the thread that decoded it: it keeps the
// frames actually delivered. Whatever is derived from the whole sound is made here.
std::unique_ptr<SampleBuffer> finished(std::unique_ptr<SampleBuffer> buffer, std::int64_t frames) {
    buffer->truncate(frames);
    buffer->setOverview(MakeWaveOverview(*buffer));
    return buffer;
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
                                                const QByteArray& head,
                                                const DecodeProgress& progress, QString& reason) {
    const QString name = SoundFormatName(format);
    // The sentence a WAV file whose samples cannot be read gives.
    const QString damaged =
        QCoreApplication::translate("mt::WavDecoder", "%1ファイルの音声データを読み取れません。")
            .arg(name);
    if (info.channels < 1 || info.samplerate < 1) {
        reason = QCoreApplication::translate("mt::WavDecoder", "%1ファイルの形式情報が不正です。")
                     .arg(name);
        return nullptr;
    }
    if (info.frames <= 0 || info.frames / kMaxFramesPerByte > memory.size) {
        reason = damaged;
        return nullptr;
    }
    if (format == SoundFormat::Aiff) {
        const auto declared =
            memory.data != nullptr
                ? AiffDeclaredFrames(memory.data, static_cast<std::size_t>(memory.size))
                : AiffDeclaredFrames(reinterpret_cast<const unsigned char*>(head.constData()),
                                     static_cast<std::size_t>(head.size()));
        if (declared && *declared != info.frames) {
            reason = damaged;
            return nullptr;
        }
    }
    const int channels = std::min(info.channels, 2);
    auto buffer = std::make_unique<SampleBuffer>(info.frames, channels, info.samplerate);
    std::int64_t got = 0;
    if (!readFrames(file, info.channels, buffer->data(), info.frames, progress, got)) {
        return nullptr;
    }
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
    return finished(std::move(buffer), got);
}

// Decodes what `memory` holds. `head` is the file's first bytes when it is read from a file.
std::unique_ptr<SampleBuffer> decode(MemoryFile& memory, const QByteArray& head,
                                     const DecodeProgress& progress, QString& reason) {
    SF_VIRTUAL_IO io{vfLength, vfSeek, vfRead, vfWrite, vfTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file) {
        reason = QCoreApplication::translate("mt::WavDecoder",
                                             "WAVファイルとして読み取れない形式です。");
        return nullptr;
    }
    const std::optional<SoundFormat> format = SoundFormatOf(info.format);
    if (!format) {
        reason = QCoreApplication::translate(
            "mt::WavDecoder", "WAV、FLAC、Ogg Vorbis、Opus、MP3、AIFFのどれでもありません。");
        return nullptr;
    }
    if (*format != SoundFormat::Wav) {
        sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        return DecodeCodedStream(file.get(), info, *format, memory, head, progress, reason);
    }
    if (info.channels < 1 || info.samplerate < 1) {
        reason = QCoreApplication::translate("mt::WavDecoder", "WAVファイルの形式情報が不正です。");
        return nullptr;
    }
    if (info.frames <= 0) {
        reason =
            QCoreApplication::translate("mt::WavDecoder", "WAVファイルに音声データがありません。");
        return nullptr;
    }
    // Integers are scaled so that full scale stays 1.0 rather than clipping at the top code.
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    const int channels = std::min(info.channels, 2);
    auto buffer = std::make_unique<SampleBuffer>(info.frames, channels, info.samplerate);
    std::int64_t got = 0;
    if (!readFrames(file.get(), info.channels, buffer->data(), info.frames, progress, got)) {
        return nullptr;
    }
    if (got <= 0) {
        reason = QCoreApplication::translate("mt::WavDecoder",
                                             "WAVファイルの音声データを読み取れません。");
        return nullptr;
    }
    return finished(std::move(buffer), got);
}

} // namespace

std::unique_ptr<SampleBuffer> DecodeWavImage(const void* image, std::size_t size, QString& reason) {
    if (image == nullptr || size == 0) {
        reason = QCoreApplication::translate("mt::WavDecoder", "WAVファイルの中身が空です。");
        return nullptr;
    }
    MemoryFile memory{
        static_cast<const unsigned char*>(image), static_cast<sf_count_t>(size), 0, -1, {}, 0, 0};
    return decode(memory, QByteArray(), {}, reason);
}

std::unique_ptr<SampleBuffer> DecodeSoundFile(const QString& path, QString& reason,
                                              const DecodeProgress& progress) {
    reason.clear();
    if (!QFileInfo(path).isFile()) {
        return nullptr;
    }
    QFile file(path);
    if (!OpenRegularFileForReading(file)) {
        reason = file.errorString();
        return nullptr;
    }
    const QByteArray head = file.read(kHeadBytes);
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return nullptr;
    }
    if (file.size() == 0) {
        reason = QCoreApplication::translate("mt::WavDecoder", "WAVファイルの中身が空です。");
        return nullptr;
    }
    MemoryFile source{nullptr, static_cast<sf_count_t>(file.size()), 0, file.handle(), {}, 0, 0};
    ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return decode(source, head, progress, reason);
}

} // namespace mt
