#pragma once

#include "audio/VoiceStatus.h"
#include "audio/WavInfo.h"
#include "core/FrameClock.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace mt {

struct WaveOverview;

// What the tracks need of the sound-buffer library. Handles are 32-bit, 0 = none; volume and
// pan are hundredths of a decibel, frequency is Hz (the buffer frames played per second).
class TrackSound : public FrameClock {
public:
    // A sound without an output has no frames: nothing is quantised.
    int frameRate() const override { return 0; }
    std::int64_t frameHorizon() const override { return 0; }

    // The format and length of the sound file at `path` in any format the library plays;
    // false, `info` untouched, for a file it cannot read. Any thread. Blocks on file reads.
    virtual bool readFormat(const QString& path, WavInfo& info) = 0;
    // A new buffer from the whole WAV file at `path`; 0 when none could be made (the library
    // has told the performer why where there was something to tell).
    virtual std::int32_t create(const QString& path) = 0;
    // As create, in the background: `done(buffer)` comes once, later, with what create would
    // have returned; `progress(percent)` may come before it. Neither comes after
    // cancelLoad(load). A sound that makes buffers at once calls `done` before returning,
    // as this one does.
    using LoadId = std::uint64_t;
    virtual LoadId load(const QString& path, std::function<void(int percent)> progress,
                        std::function<void(std::int32_t buffer)> done) {
        progress = nullptr; // made at once: nothing to report on the way
        const std::function<void(std::int32_t buffer)> finish = std::move(done);
        finish(create(path));
        return 0;
    }
    virtual void cancelLoad(LoadId /*load*/) {}
    // A new buffer with `source`'s sound stretched in time by `timeRatio` (2: twice as long) and
    // shifted in pitch by `pitchScale` (2: an octave up), made in the background as load()
    // makes one: `done(buffer, reason)` comes once, later, with 0 and why when none could be
    // made; `progress(percent)` may come before it. cancelLoad(render) drops it. The source may
    // be released meanwhile.
    using RenderDone = std::function<void(std::int32_t buffer, const QString& reason)>;
    virtual LoadId render(std::int32_t /*source*/, double /*timeRatio*/, double /*pitchScale*/,
                          std::function<void(int percent)> progress, RenderDone done) {
        progress = nullptr; // nothing is made: nothing to report on the way
        const RenderDone finish = std::move(done);
        finish(0, QCoreApplication::translate("mt::TrackSound",
                                              "音程を保ったまま速さを変えることはできません"));
        return 0;
    }
    virtual void release(std::int32_t buffer) = 0;
    // Restarts from the first frame with these settings, once or looping.
    virtual void play(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                      std::int32_t frequency, bool looping) = 0;
    virtual void stop(std::int32_t buffer) = 0;
    // As play, at output frame `frame` (the beat clock's frames) and from the buffer's frame
    // `offset`; as stop, at `frame`. A frame already mixed acts at once. Until the frame
    // comes, cancelScheduled drops both. A sound with no frame clock acts at once.
    virtual void playAt(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                        std::int32_t frequency, bool looping, std::int64_t /*frame*/,
                        std::int64_t /*offset*/) {
        play(buffer, volume, pan, frequency, looping);
    }
    virtual void stopAt(std::int32_t buffer, std::int64_t /*frame*/) { stop(buffer); }
    virtual void cancelScheduled(std::int32_t /*buffer*/) {}
    virtual void setVolume(std::int32_t buffer, std::int32_t volume) = 0;
    virtual void setPan(std::int32_t buffer, std::int32_t pan) = 0;
    virtual void setFrequency(std::int32_t buffer, std::int32_t frequency) = 0;
    // `buffer` now sounds for track `track` (0-based): on an output with a pair per track it
    // plays there as well as in the main mix. Told whenever a track's buffer is made or
    // replaced; a sound with one mix ignores it.
    virtual void routeToTrack(std::int32_t /*buffer*/, int /*track*/) {}

    // What the buffer's voice does now, for meters and playheads: false for none. Never blocks
    // on the audio thread.
    virtual bool status(std::int32_t /*buffer*/, VoiceStatus& /*status*/) { return false; }
    // The buffer's outline for drawing; null for none.
    virtual std::shared_ptr<const WaveOverview> overview(std::int32_t /*buffer*/) {
        return nullptr;
    }
    // The frames the buffer holds, fewer than its file's header said when the file was cut
    // while it was read; -1 when not known.
    virtual std::int64_t frames(std::int32_t /*buffer*/) { return -1; }
};

} // namespace mt
