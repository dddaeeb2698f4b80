#pragma once

#include "audio/SoundLibrary.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace mt {

// The sound-buffer library's own table of live instances and buffer handles, as a C library
// keeps one: it lets the handle-only calls (playBuffer(buffer) ...) find their instance. Handles
// count up from 1 and are not reused within a run, so a stale one finds nothing. Locked for
// callers on any non-audio thread; the audio thread never touches it.
class LibraryRegistry {
public:
    static LibraryRegistry& instance();

    // Runs `f(SoundLibrary&)` under the lock when the library handle is live; else `fallback`.
    template <typename F, typename R> R withLibrary(std::int32_t library, R fallback, F&& f) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_libraries.find(library);
        return it == m_libraries.end() ? fallback : f(*it->second);
    }

    // Runs `f(SoundLibrary&, bufferHandle)` under the lock when the buffer handle is live.
    template <typename F> void withBuffer(std::int32_t buffer, F&& f) {
        const std::lock_guard lock(m_mutex);
        const auto owner = m_bufferOwners.find(buffer);
        if (owner == m_bufferOwners.end()) {
            return;
        }
        const auto it = m_libraries.find(owner->second);
        if (it != m_libraries.end()) {
            f(*it->second, buffer);
        }
    }

    std::int32_t add(std::unique_ptr<SoundLibrary> library);
    void remove(std::int32_t library);
    std::int32_t createBuffer(std::int32_t library, const void* image, std::size_t size);
    // Samples decoded elsewhere become a buffer of `library`; null ones are a failed decode
    // whose `reason` the library keeps as its last error. 0 when nothing was made.
    std::int32_t adoptBuffer(std::int32_t library, std::unique_ptr<SampleBuffer> samples,
                             const QString& reason);
    void freeBuffer(std::int32_t buffer);

private:
    std::int32_t nextHandle();

    std::mutex m_mutex;
    std::int32_t m_lastHandle = 0;
    std::map<std::int32_t, std::unique_ptr<SoundLibrary>> m_libraries;
    std::map<std::int32_t, std::int32_t> m_bufferOwners; // buffer handle -> library handle
};

} // namespace mt
