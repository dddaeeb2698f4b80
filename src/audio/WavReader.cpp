#include "audio/WavReader.h"

#include "platform/Numbers.h"
#include "platform/RegularFile.h"

#include <QFile>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace mt {
namespace {

using ChunkId = std::array<char, 4>;

std::int32_t LittleEndian32(const unsigned char* p) {
    const std::uint32_t u = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                            std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    return static_cast<std::int32_t>(u);
}

std::int16_t LittleEndian16(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

class ChunkWalker {
public:
    explicit ChunkWalker(QFile& file) : m_file(file), m_size(file.size()) {}

    bool readId(ChunkId& id) { return readExactly(id.data(), 4); }

    bool readInt32(std::int32_t& value) {
        unsigned char bytes[4];
        if (!readExactly(bytes, 4)) {
            return false;
        }
        value = LittleEndian32(bytes);
        return true;
    }

    // A chunk's size; false when it is negative or its body would run past the end of file.
    bool readChunkSize(std::int32_t& size) {
        if (!readInt32(size) || size < 0) {
            return false;
        }
        return m_file.pos() + size <= m_size;
    }

    // Bytes from the current position to the end of the file.
    qint64 remaining() const { return m_size - m_file.pos(); }

    bool readExactly(void* into, qint64 count) {
        return m_file.read(static_cast<char*>(into), count) == count;
    }

    // Moves to the end of a chunk whose body starts at `body`, past its pad byte when odd.
    bool skipTo(qint64 body, std::int32_t size) { return m_file.seek(body + size + (size & 1)); }

    qint64 pos() const { return m_file.pos(); }

private:
    QFile& m_file;
    qint64 m_size;
};

bool Is(const ChunkId& id, const char (&name)[5]) {
    return std::memcmp(id.data(), name, 4) == 0;
}

} // namespace

bool ReadWavInfo(const QString& path, WavInfo& info) {
    QFile file(path);
    if (!OpenRegularFileForReading(file)) {
        return false;
    }
    ChunkWalker walker(file);
    WavInfo found;
    ChunkId id{};
    for (;;) {
        if (!walker.readId(id)) {
            return false; // the file ended before "fact" or "data"
        }
        std::int32_t size = 0;
        if (Is(id, "RIFF")) {
            if (!walker.readInt32(size)) {
                return false;
            }
        } else if (Is(id, "WAVE")) {
            // the form type has no size
        } else if (Is(id, "fmt ")) {
            unsigned char block[16];
            if (!walker.readChunkSize(size) || size < 16) {
                return false;
            }
            const qint64 body = walker.pos();
            if (!walker.readExactly(block, sizeof block)) {
                return false;
            }
            found.formatTag = LittleEndian16(block);
            found.channels = LittleEndian16(block + 2);
            found.samplesPerSec = LittleEndian32(block + 4);
            found.avgBytesPerSec = LittleEndian32(block + 8);
            found.blockAlign = LittleEndian16(block + 12);
            found.bitsPerSample = LittleEndian16(block + 14);
            if (!walker.skipTo(body, size)) {
                return false;
            }
        } else if (Is(id, "fact")) {
            if (!walker.readChunkSize(size) || size < 4 || !walker.readInt32(found.frameCount) ||
                found.frameCount < 0) {
                return false;
            }
            // A length in frames is nothing without a rate to play it at: every caller divides
            // by it.
            if (found.channels <= 0 || found.samplesPerSec <= 0) {
                return false;
            }
            break;
        } else if (Is(id, "data")) {
            if (!walker.readInt32(size)) {
                return false;
            }
            // Every caller divides by these.
            if (found.bitsPerSample <= 0 || found.channels <= 0 || found.samplesPerSec <= 0) {
                return false;
            }
            const double bytesPerFrame = found.bitsPerSample / 8.0 * found.channels;
            const qint64 declared = static_cast<std::uint32_t>(size);
            const qint64 present = walker.remaining();
            double frames = 0.0;
            if (declared <= present) {
                frames = RoundHalfEven(static_cast<double>(declared) / bytesPerFrame);
            } else {
                // Cut short, or written by a streaming writer that never came back to fill in
                // the size (0xFFFFFFFF): the decoder plays the whole frames that are there.
                frames = std::floor(static_cast<double>(present) / bytesPerFrame);
                if (frames < 1.0) {
                    return false;
                }
            }
            if (frames > std::numeric_limits<std::int32_t>::max()) {
                return false;
            }
            found.frameCount = static_cast<std::int32_t>(frames);
            break;
        } else {
            if (!walker.readChunkSize(size) || !walker.skipTo(walker.pos(), size)) {
                return false;
            }
        }
    }
    info = found;
    return true;
}

} // namespace mt
