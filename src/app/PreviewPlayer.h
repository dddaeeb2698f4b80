#pragma once

#include <QString>

#include <cstdint>

namespace mt {

class SoundDevice;

// The browser's preview: one sound buffer of its own, apart from the tracks, played at the
// file's own volume, pan and rate. A new preview replaces the one before. UI thread only;
// start blocks while the file is read and decoded.
class PreviewPlayer {
public:
    explicit PreviewPlayer(SoundDevice& library) : m_library(library) {}
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Ends the preview before and plays the WAV file at `path` from its first frame, once or
    // repeating. The library tells the performer about a file it cannot decode; nothing
    // sounds then, and nothing without a sound device.
    void start(const QString& path, bool looping);
    // Stops and releases the preview's buffer, if any.
    void release();

    std::int32_t buffer() const { return m_buffer; }

private:
    SoundDevice& m_library;
    std::int32_t m_buffer = 0; // 0: no preview
};

} // namespace mt
