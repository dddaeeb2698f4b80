#pragma once

#include "audio/OutputChoice.h"
#include "audio/OutputFormat.h"
#include "audio/SoundLoader.h"
#include "platform/MessageBoxService.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace mt {

struct LibraryHealth;

// The program's side of the sound-buffer library: keeps the library handle and turns the
// library's failures into messages for the performer. UI thread only; the set-up calls may
// block while the device opens, CreateTrackBuffer while it reads and decodes the file. Track
// buffers are made on the loader thread (loadTrackBuffer) without blocking.
class SoundDevice {
public:
    // How a library is opened: openSoundLibrary for the real device; tests pass an offline one.
    using Initializer = std::function<std::int32_t(std::intptr_t window, std::int32_t level)>;

    explicit SoundDevice(MessageBoxService& messages);
    SoundDevice(MessageBoxService& messages, Initializer initialize);

    // Opens the library and keeps its handle; tells the performer when there is none.
    void InitSoundLibrary(std::intptr_t window, std::int32_t level);

    // Applies the output format to the open library; tells the performer when refused.
    // Nothing happens with no library.
    void SetPrimaryFormat(std::int32_t sampleRate, std::int16_t bits, std::int16_t channels);

    // Releases the library and every buffer; the handle becomes 0.
    void TerminateSoundLibrary();

    // A new buffer from the whole sound file at `path`; 0 without a message when there is no
    // library or no such file, 0 with a message when the file cannot be read or decoded. The
    // file is read a chunk at a time, never held whole.
    std::int32_t CreateTrackBuffer(const QString& path, std::int32_t flags);

    // As CreateTrackBuffer, decoded on the loader thread: returns at once. `done(buffer)`
    // comes once, later, on this thread, the messages told as CreateTrackBuffer tells them and
    // the buffer made in the library open at that moment; `progress(percent)` may come before
    // it for a load that takes a while. Loads finish in the order they were started. Neither
    // comes after cancelLoad(load), and a buffer it would have made is never made.
    using LoadId = SoundLoader::JobId;
    LoadId loadTrackBuffer(const QString& path, std::function<void(int percent)> progress,
                           std::function<void(std::int32_t buffer)> done);
    void cancelLoad(LoadId load);
    // A new buffer of the open library with buffer `source`'s sound stretched in time by
    // `timeRatio` and shifted in pitch by `pitchScale` (RenderStretched), rendered on the loader
    // thread after the loads and renders asked for before it: returns at once. `done(buffer,
    // reason)` comes once, later, on this thread: 0 and why when none is made, which is the
    // caller's to tell. `progress` and cancelLoad as for loadTrackBuffer. The source may be
    // freed meanwhile: the render reads its own hold on the samples.
    LoadId renderTrackBuffer(std::int32_t source, double timeRatio, double pitchScale,
                             std::function<void(int percent)> progress,
                             std::function<void(std::int32_t buffer, const QString& reason)> done);

    // A library failure for the performer: exclamation icon, title "VbDSnd.Dll".
    void ShowSoundLibError(const QString& text);

    // Opening the sound device, always in this order: InitSoundLibrary(window, 2), global
    // focus, SetPrimaryFormat(format). Run at start-up and when the editor hands back.
    void OpenSoundDevice(std::intptr_t window, const OutputFormat& format);

    // Reopens the open library on another audio system, device or block length; a choice
    // that does not open leaves the previous output playing. Nothing with no library. May
    // block while the device opens.
    void setOutput(const OutputChoice& choice);
    // How the output is doing; false with no library. Takes the peak load. Never blocks.
    bool health(LibraryHealth& health) const;
    // The whole output's peak over the last few hundredths of a second, before limiting
    // (above 1: clipped); 0 with no library. Never blocks.
    float masterPeak() const;
    // Buffers keep sounding whatever window has the focus.
    void setGlobalFocus(bool global);

    std::int32_t soundLibHandle = 0;

private:
    // The samples as a buffer of the open library; tells the performer why when none is made.
    std::int32_t adopt(std::unique_ptr<SampleBuffer> samples, const QString& reason);

    MessageBoxService& m_messages;
    Initializer m_initialize;
    SoundLoader& loader();

    std::unique_ptr<SoundLoader> m_loader; // started by the first load or render
};

} // namespace mt
