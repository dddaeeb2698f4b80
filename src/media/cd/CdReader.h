#pragma once

#include "media/cd/CdStream.h"

#include "media/cd/CdDisc.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace mt {

// Reads the disc ahead into the stream's ring: from the sector of the latest seek, sector by
// sector to the lead-out, then an end marker. Data tracks read as silence. A sector that
// cannot be read is silence and counted; after a second of unreadable sectors in a row the
// reader gives up with an end marker, so a damaged image stops instead of hissing on.
//
// Threaded, it runs on a thread of its own that sleeps while the ring is full (the audio
// thread cannot wake anyone); manual, nothing runs until pump() is called, which lets tests
// decide exactly what has been read.
class CdReader {
public:
    static constexpr int kMaxSectorsPerRead = 16;
    static constexpr int kGiveUpAfterSectors = 75;

    CdReader(CdStream& stream, bool threaded);
    ~CdReader();
    CdReader(const CdReader&) = delete;
    CdReader& operator=(const CdReader&) = delete;

    // UI thread. Reads `disc` (null: nothing) from now on; waits for a read in progress to end.
    // The disc must stay alive until the next setDisc.
    void setDisc(CdDisc* disc);

    // UI thread. Never waits for a read: reading moves to `sector` for `generation`.
    void seek(std::uint32_t generation, std::int32_t sector);

    // Manual mode, on the thread that acts as the reader: reads until the ring is full or the
    // end marker is written.
    void pump();

    // Any thread. Sectors that could not be read.
    std::uint64_t readErrors() const noexcept {
        return m_readErrors.load(std::memory_order_relaxed);
    }

private:
    struct Target {
        std::uint32_t generation = 0;
        std::int32_t sector = 0;
        bool fresh = false;
    };

    void run();
    enum class Fill { Read, RingFull, Idle };
    // Reads one batch into the ring, or says why not: the ring is full, or there is nothing to
    // read until the next seek.
    Fill fillOnce();
    void pushEnd();

    CdStream& m_stream;
    bool m_threaded;

    std::mutex m_mutex; // guards m_target, m_stop, m_disc against the UI thread
    std::condition_variable m_wake;
    Target m_target;
    std::atomic<bool> m_stop{false};
    CdDisc* m_disc = nullptr;
    std::mutex m_readMutex; // held across each batch read, so setDisc can wait for it

    // Reader side only.
    std::uint32_t m_generation = 0;
    std::int32_t m_sector = 0;
    bool m_endWritten = true;
    int m_failedInARow = 0;
    std::atomic<std::uint64_t> m_readErrors{0};
    std::array<std::int16_t, std::size_t{kMaxSectorsPerRead} * CdDisc::kFramesPerSector * 2>
        m_buffer{};
    std::thread m_thread;
};

} // namespace mt
