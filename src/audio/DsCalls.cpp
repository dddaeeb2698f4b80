#include "audio/SoundBuffers.h"

#include "audio/LibraryRegistry.h"
#include "audio/RtAudioOutput.h"
#include "audio/SoundLibrary.h"

namespace mt {
// The old sound-buffer library's calls, by their names and with their C shape (handles, 0 on
// failure); nothing outside this file calls them by these names. The English functions of
// SoundBuffers.h, at the end, forward to them.
namespace {

std::int32_t dsInitializeChoice(const OutputChoice& choice, const OutputFormat* format);

std::int32_t dsInitialize2(std::intptr_t /*window*/, std::int32_t /*level*/) {
    return dsInitializeChoice(OutputChoice{}, nullptr);
}

std::int32_t dsInitializeChoice(const OutputChoice& choice, const OutputFormat* format) {
    auto output = std::make_unique<RtAudioOutput>();
    output->choose(choice);
    auto library = std::make_unique<SoundLibrary>(std::move(output));
    const bool usable =
        format != nullptr && format->sampleRate >= 1000 && format->sampleRate <= 400000 &&
        (format->channels == 1 || format->channels == 2) &&
        (format->bits == 8 || format->bits == 16 || format->bits == 24 || format->bits == 32);
    const bool opened =
        (usable &&
         library->open(OutputConfig{format->sampleRate, format->channels,
                                    BlockFramesFor(format->sampleRate, choice.blockSeconds)},
                       format->bits)) ||
        library->open(OutputConfig{44100, 2, BlockFramesFor(44100, choice.blockSeconds)}, 16);
    if (!opened) {
        return 0;
    }
    library->rememberOutput(choice);
    return LibraryRegistry::instance().add(std::move(library));
}

std::int32_t dsSetOutput(std::int32_t library, const OutputChoice& choice) {
    return LibraryRegistry::instance().withLibrary(
        library, 0, [&](SoundLibrary& l) { return l.setOutput(choice) ? 1 : 0; });
}

std::int32_t dsInitializeOn(std::unique_ptr<AudioOutput> output, const OutputConfig& config,
                            std::int16_t bits) {
    auto library = std::make_unique<SoundLibrary>(std::move(output));
    if (!library->open(config, bits)) {
        return 0;
    }
    return LibraryRegistry::instance().add(std::move(library));
}

void dsSetGlobalFocus(bool /*global*/) {}

std::int32_t dsSetFormatDS(std::int32_t library, std::int32_t sampleRate, std::int16_t bits,
                           std::int16_t channels) {
    return LibraryRegistry::instance().withLibrary(library, 0, [&](SoundLibrary& l) {
        return l.setFormat(sampleRate, bits, channels) ? 1 : 0;
    });
}

std::int32_t dsSetBlockFrames(std::int32_t library, std::int32_t frames) {
    return LibraryRegistry::instance().withLibrary(
        library, 0, [&](SoundLibrary& l) { return l.setBlockFrames(frames) ? 1 : 0; });
}

void dsTerminate(std::int32_t library) {
    LibraryRegistry::instance().remove(library);
}

std::int32_t dsCreateDSB(std::int32_t library, const void* image, std::size_t size,
                         std::int32_t /*flags*/) {
    return LibraryRegistry::instance().createBuffer(library, image, size);
}

std::int32_t dsAdoptDSB(std::int32_t library, std::unique_ptr<SampleBuffer> samples,
                        const QString& reason) {
    return LibraryRegistry::instance().adoptBuffer(library, std::move(samples), reason);
}

QString dsLastError(std::int32_t library) {
    return LibraryRegistry::instance().withLibrary(library, QString(),
                                                   [](SoundLibrary& l) { return l.lastError(); });
}

void dsFree(std::int32_t buffer) {
    LibraryRegistry::instance().freeBuffer(buffer);
}

void dsPlay(std::int32_t buffer) {
    LibraryRegistry::instance().withBuffer(
        buffer, [](SoundLibrary& l, std::int32_t b) { l.play(b, false); });
}

void dsPlayLooping(std::int32_t buffer) {
    LibraryRegistry::instance().withBuffer(
        buffer, [](SoundLibrary& l, std::int32_t b) { l.play(b, true); });
}

void dsPlayEx(std::int32_t buffer, std::int32_t volume, std::int32_t pan, std::int32_t frequency) {
    LibraryRegistry::instance().withBuffer(buffer, [&](SoundLibrary& l, std::int32_t b) {
        l.playEx(b, false, volume, pan, frequency);
    });
}

void dsPlayLoopingEx(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                     std::int32_t frequency) {
    LibraryRegistry::instance().withBuffer(buffer, [&](SoundLibrary& l, std::int32_t b) {
        l.playEx(b, true, volume, pan, frequency);
    });
}

void dsStop(std::int32_t buffer) {
    LibraryRegistry::instance().withBuffer(buffer,
                                           [](SoundLibrary& l, std::int32_t b) { l.stop(b); });
}

void dsSetVolume(std::int32_t buffer, std::int32_t volume) {
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { l.setVolume(b, volume); });
}

void dsSetPan(std::int32_t buffer, std::int32_t pan) {
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { l.setPan(b, pan); });
}

void dsSetFrequency(std::int32_t buffer, std::int32_t frequency) {
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { l.setFrequency(b, frequency); });
}

void dsCollect(std::int32_t library) {
    LibraryRegistry::instance().withLibrary(library, 0, [](SoundLibrary& l) {
        l.collect();
        return 0;
    });
}

bool dsGetStatus(std::int32_t buffer, VoiceStatus& status) {
    bool found = false;
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { found = l.voiceStatus(b, status); });
    return found;
}

std::shared_ptr<const WaveOverview> dsGetOverview(std::int32_t buffer) {
    std::shared_ptr<const WaveOverview> overview;
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { overview = l.overview(b); });
    return overview;
}

std::int64_t dsGetFrames(std::int32_t buffer) {
    std::int64_t frames = -1;
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { frames = l.frames(b); });
    return frames;
}

float dsGetMasterPeak(std::int32_t library) {
    return LibraryRegistry::instance().withLibrary(library, 0.0f,
                                                   [](SoundLibrary& l) { return l.masterPeak(); });
}

bool dsGetHealth(std::int32_t library, LibraryHealth& health) {
    return LibraryRegistry::instance().withLibrary(library, false, [&](SoundLibrary& l) {
        health = l.health();
        return true;
    });
}

} // namespace

std::int32_t openSoundLibrary(std::intptr_t window, std::int32_t level) {
    return dsInitialize2(window, level);
}

std::int32_t openSoundLibraryOn(const OutputChoice& choice, const OutputFormat* format) {
    return dsInitializeChoice(choice, format);
}

std::int32_t setLibraryOutput(std::int32_t library, const OutputChoice& choice) {
    return dsSetOutput(library, choice);
}

std::int32_t openSoundLibraryWith(std::unique_ptr<AudioOutput> output, const OutputConfig& config,
                                  std::int16_t bits) {
    return dsInitializeOn(std::move(output), config, bits);
}

void setLibraryGlobalFocus(bool global) {
    dsSetGlobalFocus(global);
}

std::int32_t setLibraryFormat(std::int32_t library, std::int32_t sampleRate, std::int16_t bits,
                              std::int16_t channels) {
    return dsSetFormatDS(library, sampleRate, bits, channels);
}

std::int32_t setLibraryBlockFrames(std::int32_t library, std::int32_t frames) {
    return dsSetBlockFrames(library, frames);
}

void closeSoundLibrary(std::int32_t library) {
    dsTerminate(library);
}

std::int32_t createSoundBuffer(std::int32_t library, const void* image, std::size_t size,
                               std::int32_t flags) {
    return dsCreateDSB(library, image, size, flags);
}

std::int32_t adoptSoundBuffer(std::int32_t library, std::unique_ptr<SampleBuffer> samples,
                              const QString& reason) {
    return dsAdoptDSB(library, std::move(samples), reason);
}

QString libraryLastError(std::int32_t library) {
    return dsLastError(library);
}

void freeSoundBuffer(std::int32_t buffer) {
    dsFree(buffer);
}

void playBuffer(std::int32_t buffer) {
    dsPlay(buffer);
}

void playBufferLooping(std::int32_t buffer) {
    dsPlayLooping(buffer);
}

void playBufferWith(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                    std::int32_t frequency) {
    dsPlayEx(buffer, volume, pan, frequency);
}

void playBufferLoopingWith(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                           std::int32_t frequency) {
    dsPlayLoopingEx(buffer, volume, pan, frequency);
}

void stopBuffer(std::int32_t buffer) {
    dsStop(buffer);
}

void setBufferVolume(std::int32_t buffer, std::int32_t volume) {
    dsSetVolume(buffer, volume);
}

void setBufferPan(std::int32_t buffer, std::int32_t pan) {
    dsSetPan(buffer, pan);
}

void setBufferFrequency(std::int32_t buffer, std::int32_t frequency) {
    dsSetFrequency(buffer, frequency);
}

void routeBufferToTrack(std::int32_t buffer, int track) {
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { l.route(b, track); });
}

void collectLibrary(std::int32_t library) {
    dsCollect(library);
}

bool libraryHealth(std::int32_t library, LibraryHealth& health) {
    return dsGetHealth(library, health);
}

bool bufferStatus(std::int32_t buffer, VoiceStatus& status) {
    return dsGetStatus(buffer, status);
}

std::shared_ptr<const WaveOverview> bufferOverview(std::int32_t buffer) {
    return dsGetOverview(buffer);
}

std::int64_t bufferFrames(std::int32_t buffer) {
    return dsGetFrames(buffer);
}

std::shared_ptr<const SampleBuffer> bufferSamples(std::int32_t buffer) {
    std::shared_ptr<const SampleBuffer> samples;
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { samples = l.samples(b); });
    return samples;
}

float libraryMasterPeak(std::int32_t library) {
    return dsGetMasterPeak(library);
}

void playBufferAt(std::int32_t buffer, std::int32_t volume, std::int32_t pan,
                  std::int32_t frequency, bool looping, std::int64_t frame, std::int64_t from) {
    LibraryRegistry::instance().withBuffer(buffer, [&](SoundLibrary& l, std::int32_t b) {
        l.playAt(b, looping, volume, pan, frequency, frame, from);
    });
}

void stopBufferAt(std::int32_t buffer, std::int64_t frame) {
    LibraryRegistry::instance().withBuffer(
        buffer, [&](SoundLibrary& l, std::int32_t b) { l.stopAt(b, frame); });
}

void cancelBufferSchedule(std::int32_t buffer) {
    LibraryRegistry::instance().withBuffer(
        buffer, [](SoundLibrary& l, std::int32_t b) { l.cancelScheduled(b); });
}

int libraryFrameRate(std::int32_t library) {
    return LibraryRegistry::instance().withLibrary(library, 0,
                                                   [](SoundLibrary& l) { return l.frameRate(); });
}

std::int64_t libraryFrameHorizon(std::int32_t library) {
    return LibraryRegistry::instance().withLibrary(
        library, std::int64_t{0}, [](SoundLibrary& l) { return l.frameHorizon(); });
}

std::shared_ptr<const OutputClock> libraryOutputClock(std::int32_t library) {
    return LibraryRegistry::instance().withLibrary(library, std::shared_ptr<const OutputClock>(),
                                                   [](SoundLibrary& l) { return l.outputClock(); });
}

void setLibraryBlockListener(std::int32_t library, BlockListener* listener) {
    LibraryRegistry::instance().withLibrary(library, 0, [listener](SoundLibrary& l) {
        l.setBlockListener(listener);
        return 0;
    });
}

} // namespace mt
