#include "media/cd/CdReader.h"

#include <algorithm>
#include <chrono>

namespace mt {
namespace {

// How long the reader sleeps when the ring is full (a hundredth of the ring's length), and
// when it has nothing to read (a seek wakes it).
constexpr auto kFullRingNap = std::chrono::milliseconds(15);
constexpr auto kIdleNap = std::chrono::seconds(1);

} // namespace

CdReader::CdReader(CdStream& stream, bool threaded) : m_stream(stream), m_threaded(threaded) {
    if (m_threaded) {
        m_thread = std::thread([this] { run(); });
    }
}

CdReader::~CdReader() {
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stop.store(true);
        }
        m_wake.notify_one();
        m_thread.join();
    }
}

void CdReader::setDisc(CdDisc* disc) {
    const std::lock_guard read(m_readMutex);
    const std::lock_guard lock(m_mutex);
    m_disc = disc;
    m_endWritten = true; // nothing to read until the next seek
}

void CdReader::seek(std::uint32_t generation, std::int32_t sector) {
    {
        const std::lock_guard lock(m_mutex);
        m_target = {generation, sector, true};
    }
    m_wake.notify_one();
}

void CdReader::pump() {
    while (fillOnce() == Fill::Read) {
    }
}

void CdReader::run() {
    while (!m_stop.load()) {
        const Fill fill = fillOnce();
        if (fill == Fill::Read) {
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, fill == Fill::RingFull ? kFullRingNap : kIdleNap,
                        [this] { return m_stop.load() || m_target.fresh; });
    }
}

CdReader::Fill CdReader::fillOnce() {
    const std::lock_guard read(m_readMutex);
    CdDisc* disc = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        if (m_target.fresh) {
            m_generation = m_target.generation;
            m_sector = m_target.sector;
            m_target.fresh = false;
            m_endWritten = false;
            m_failedInARow = 0;
        }
        disc = m_disc;
    }
    if (disc == nullptr || m_endWritten) {
        return Fill::Idle;
    }
    CdStream::Ring& ring = m_stream.ring();
    const auto room = static_cast<int>(CdStream::Ring::capacity() - ring.size());
    if (room == 0) {
        return Fill::RingFull;
    }
    if (m_sector >= disc->leadout() || m_failedInARow >= kGiveUpAfterSectors) {
        pushEnd();
        return Fill::Read;
    }
    // One batch stays inside one track, so a whole batch is either audio or data.
    const int track = disc->trackAt(m_sector);
    const std::int32_t trackEnd = disc->trackStart(track + 1);
    const int count = std::min({room, kMaxSectorsPerRead, static_cast<int>(trackEnd - m_sector)});
    auto& buffer = m_buffer;
    bool ok = true;
    if (disc->isAudio(track) && m_sector >= disc->trackStart(1)) {
        ok = disc->read(m_sector, count, buffer.data());
    } else {
        buffer.fill(0);
    }
    m_failedInARow = ok ? 0 : m_failedInARow + count;
    if (!ok) {
        m_readErrors.fetch_add(static_cast<std::uint64_t>(count), std::memory_order_relaxed);
    }
    for (int i = 0; i < count; ++i) {
        CdChunk* chunk = ring.writeSlot();
        chunk->generation = m_generation;
        chunk->sector = m_sector + i;
        chunk->flags = ok ? 0 : CdChunk::kReadError;
        std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(i) * CdDisc::kFramesPerSector * 2,
                    CdDisc::kFramesPerSector * 2, chunk->samples.begin());
        ring.commit();
    }
    m_sector += count;
    return Fill::Read;
}

void CdReader::pushEnd() {
    CdChunk* chunk = m_stream.ring().writeSlot();
    chunk->generation = m_generation;
    chunk->sector = m_sector;
    chunk->flags = CdChunk::kEnd;
    m_stream.ring().commit();
    m_endWritten = true;
}

} // namespace mt
