#include "app/LibraryTrackSound.h"

#include "audio/SoundBuffers.h"
#include "audio/SoundDevice.h"
#include "audio/SoundFileInfo.h"

namespace mt {

bool LibraryTrackSound::readFormat(const QString& path, WavInfo& info) {
    return ReadSoundInfo(path, info);
}

std::int32_t LibraryTrackSound::create(const QString& path) {
    return m_library.CreateTrackBuffer(path, 1);
}

TrackSound::LoadId LibraryTrackSound::load(const QString& path,
                                           std::function<void(int percent)> progress,
                                           std::function<void(std::int32_t buffer)> done) {
    return m_library.loadTrackBuffer(path, std::move(progress), std::move(done));
}

void LibraryTrackSound::cancelLoad(LoadId load) {
    m_library.cancelLoad(load);
}

TrackSound::LoadId LibraryTrackSound::render(std::int32_t source, double timeRatio,
                                             double pitchScale,
                                             std::function<void(int percent)> progress,
                                             RenderDone done) {
    return m_library.renderTrackBuffer(source, timeRatio, pitchScale, std::move(progress),
                                       std::move(done));
}

void LibraryTrackSound::release(std::int32_t buffer) {
    freeSoundBuffer(buffer);
}

void LibraryTrackSound::play(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                             std::int32_t frequency, bool looping) {
    if (looping) {
        playBufferLoopingWith(buffer, volume, pan, frequency);
    } else {
        playBufferWith(buffer, volume, pan, frequency);
    }
}

void LibraryTrackSound::stop(std::int32_t buffer) {
    stopBuffer(buffer);
}

void LibraryTrackSound::playAt(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                               std::int32_t frequency, bool looping, std::int64_t frame,
                               std::int64_t offset) {
    playBufferAt(buffer, volume, pan, frequency, looping, frame, offset);
}

void LibraryTrackSound::stopAt(std::int32_t buffer, std::int64_t frame) {
    stopBufferAt(buffer, frame);
}

void LibraryTrackSound::cancelScheduled(std::int32_t buffer) {
    cancelBufferSchedule(buffer);
}

int LibraryTrackSound::frameRate() const {
    return libraryFrameRate(m_library.soundLibHandle);
}

std::int64_t LibraryTrackSound::frameHorizon() const {
    return libraryFrameHorizon(m_library.soundLibHandle);
}

std::shared_ptr<const OutputClock> LibraryTrackSound::outputClock() const {
    return libraryOutputClock(m_library.soundLibHandle);
}

void LibraryTrackSound::setVolume(std::int32_t buffer, std::int32_t volume) {
    setBufferVolume(buffer, volume);
}

void LibraryTrackSound::setPan(std::int32_t buffer, std::int32_t pan) {
    setBufferPan(buffer, pan);
}

void LibraryTrackSound::setFrequency(std::int32_t buffer, std::int32_t frequency) {
    setBufferFrequency(buffer, frequency);
}

void LibraryTrackSound::routeToTrack(std::int32_t buffer, int track) {
    routeBufferToTrack(buffer, track);
}

bool LibraryTrackSound::status(std::int32_t buffer, VoiceStatus& status) {
    return bufferStatus(buffer, status);
}

std::shared_ptr<const WaveOverview> LibraryTrackSound::overview(std::int32_t buffer) {
    return bufferOverview(buffer);
}

std::int64_t LibraryTrackSound::frames(std::int32_t buffer) {
    return bufferFrames(buffer);
}

} // namespace mt
