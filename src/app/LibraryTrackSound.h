#pragma once

#include "core/TrackSound.h"

namespace mt {

class SoundDevice;

// The tracks' sound through the program's one open library.
class LibraryTrackSound final : public TrackSound {
public:
    explicit LibraryTrackSound(SoundDevice& library) : m_library(library) {}

    bool readFormat(const QString& path, WavInfo& info) override;
    std::int32_t create(const QString& path) override;
    LoadId load(const QString& path, std::function<void(int percent)> progress,
                std::function<void(std::int32_t buffer)> done) override;
    void cancelLoad(LoadId load) override;
    LoadId render(std::int32_t source, double timeRatio, double pitchScale,
                  std::function<void(int percent)> progress, RenderDone done) override;
    void release(std::int32_t buffer) override;
    void play(std::int32_t buffer, std::int32_t volume, std::int32_t pan, std::int32_t frequency,
              bool looping) override;
    void stop(std::int32_t buffer) override;
    void playAt(std::int32_t buffer, std::int32_t volume, std::int32_t pan, std::int32_t frequency,
                bool looping, std::int64_t frame, std::int64_t offset) override;
    void stopAt(std::int32_t buffer, std::int64_t frame) override;
    void cancelScheduled(std::int32_t buffer) override;
    int frameRate() const override;
    std::int64_t frameHorizon() const override;
    std::shared_ptr<const OutputClock> outputClock() const override;
    void setVolume(std::int32_t buffer, std::int32_t volume) override;
    void setPan(std::int32_t buffer, std::int32_t pan) override;
    void setFrequency(std::int32_t buffer, std::int32_t frequency) override;
    void routeToTrack(std::int32_t buffer, int track) override;
    bool status(std::int32_t buffer, VoiceStatus& status) override;
    std::shared_ptr<const WaveOverview> overview(std::int32_t buffer) override;
    std::int64_t frames(std::int32_t buffer) override;

private:
    SoundDevice& m_library;
};

} // namespace mt
