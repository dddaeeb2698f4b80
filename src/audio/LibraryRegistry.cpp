#include "audio/LibraryRegistry.h"

#include "audio/WavDecoder.h"

#include <limits>

namespace mt {

LibraryRegistry& LibraryRegistry::instance() {
    static LibraryRegistry registry;
    return registry;
}

std::int32_t LibraryRegistry::nextHandle() {
    // Wraps only after two thousand million handles; 0 stays "none".
    if (m_lastHandle == std::numeric_limits<std::int32_t>::max()) {
        m_lastHandle = 0;
    }
    return ++m_lastHandle;
}

std::int32_t LibraryRegistry::add(std::unique_ptr<SoundLibrary> library) {
    const std::lock_guard lock(m_mutex);
    const std::int32_t handle = nextHandle();
    m_libraries.emplace(handle, std::move(library));
    return handle;
}

void LibraryRegistry::remove(std::int32_t library) {
    std::unique_ptr<SoundLibrary> doomed;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_libraries.find(library);
        if (it == m_libraries.end()) {
            return;
        }
        doomed = std::move(it->second);
        m_libraries.erase(it);
        std::erase_if(m_bufferOwners, [&](const auto& b) { return b.second == library; });
    }
    // Closing the device may wait for its thread; not under the lock.
    doomed.reset();
}

std::int32_t LibraryRegistry::createBuffer(std::int32_t library, const void* image,
                                           std::size_t size) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_libraries.count(library) == 0) {
            return 0;
        }
    }
    // Decoding a big file takes a while; other callers (a MIDI note-on) must not wait for it.
    QString reason;
    std::unique_ptr<SampleBuffer> samples = DecodeWavImage(image, size, reason);
    return adoptBuffer(library, std::move(samples), reason);
}

std::int32_t LibraryRegistry::adoptBuffer(std::int32_t library,
                                          std::unique_ptr<SampleBuffer> samples,
                                          const QString& reason) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_libraries.find(library);
    if (it == m_libraries.end()) {
        return 0; // terminated meanwhile
    }
    const std::int32_t handle = nextHandle();
    if (!it->second->adoptBuffer(handle, std::move(samples), reason)) {
        return 0;
    }
    m_bufferOwners.emplace(handle, library);
    return handle;
}

void LibraryRegistry::freeBuffer(std::int32_t buffer) {
    const std::lock_guard lock(m_mutex);
    const auto owner = m_bufferOwners.find(buffer);
    if (owner == m_bufferOwners.end()) {
        return;
    }
    const auto it = m_libraries.find(owner->second);
    if (it != m_libraries.end()) {
        it->second->freeBuffer(buffer);
    }
    m_bufferOwners.erase(owner);
}

} // namespace mt
