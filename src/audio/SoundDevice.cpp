#include "audio/SoundDevice.h"

#include "audio/SoundBuffers.h"
#include "audio/StretchRender.h"
#include "audio/WavDecoder.h"

#include <QCoreApplication>

namespace mt {

SoundDevice::SoundDevice(MessageBoxService& messages) : SoundDevice(messages, openSoundLibrary) {}

SoundDevice::SoundDevice(MessageBoxService& messages, Initializer initialize)
    : m_messages(messages), m_initialize(std::move(initialize)) {}

void SoundDevice::InitSoundLibrary(std::intptr_t window, std::int32_t level) {
    soundLibHandle = m_initialize(window, level);
    if (soundLibHandle == 0) {
        ShowSoundLibError(QCoreApplication::translate(
            "mt::SoundDevice", "Direct Soundインターフェースが作成できません。"));
    }
}

void SoundDevice::SetPrimaryFormat(std::int32_t sampleRate, std::int16_t bits,
                                   std::int16_t channels) {
    if (soundLibHandle == 0) {
        return;
    }
    if (setLibraryFormat(soundLibHandle, sampleRate, bits, channels) == 0) {
        ShowSoundLibError(
            QCoreApplication::translate("mt::SoundDevice", "フォーマットを設定できません。"));
    }
}

void SoundDevice::TerminateSoundLibrary() {
    if (soundLibHandle != 0) {
        closeSoundLibrary(soundLibHandle);
        // A handle kept after its library is gone would send later calls to nothing.
        soundLibHandle = 0;
    }
}

std::int32_t SoundDevice::CreateTrackBuffer(const QString& path, std::int32_t /*flags*/) {
    if (soundLibHandle == 0) {
        return 0;
    }
    QString reason;
    std::unique_ptr<SampleBuffer> samples = DecodeSoundFile(path, reason);
    return adopt(std::move(samples), reason);
}

SoundDevice::LoadId SoundDevice::loadTrackBuffer(const QString& path,
                                                 std::function<void(int percent)> progress,
                                                 std::function<void(std::int32_t buffer)> done) {
    return loader().start(path, std::move(progress),
                          [this, done = std::move(done)](std::unique_ptr<SampleBuffer> samples,
                                                         const QString& reason) {
                              done(soundLibHandle == 0 ? 0 : adopt(std::move(samples), reason));
                          });
}

SoundDevice::LoadId SoundDevice::renderTrackBuffer(
    std::int32_t source, double timeRatio, double pitchScale,
    std::function<void(int percent)> progress,
    std::function<void(std::int32_t buffer, const QString& reason)> done) {
    std::shared_ptr<const SampleBuffer> samples = bufferSamples(source);
    return loader().start(
        [samples = std::move(samples), timeRatio,
         pitchScale](const std::function<bool(double)>& rendered,
                     QString& reason) -> std::unique_ptr<SampleBuffer> {
            if (!samples) {
                reason = QCoreApplication::translate("mt::SoundDevice", "元の音がありません");
                return nullptr;
            }
            return RenderStretched(*samples, timeRatio, pitchScale, rendered, reason);
        },
        std::move(progress),
        [this, done = std::move(done)](std::unique_ptr<SampleBuffer> made, const QString& reason) {
            if (!made || soundLibHandle == 0) {
                done(0, reason);
                return;
            }
            const std::int32_t buffer = adoptSoundBuffer(soundLibHandle, std::move(made), reason);
            done(buffer, buffer == 0 ? libraryLastError(soundLibHandle) : QString());
        });
}

SoundLoader& SoundDevice::loader() {
    if (!m_loader) {
        m_loader = std::make_unique<SoundLoader>();
    }
    return *m_loader;
}

void SoundDevice::cancelLoad(LoadId load) {
    if (m_loader) {
        m_loader->cancel(load);
    }
}

std::int32_t SoundDevice::adopt(std::unique_ptr<SampleBuffer> samples, const QString& reason) {
    if (!samples && reason.isEmpty()) {
        return 0; // no such file: nothing to tell
    }
    const std::int32_t buffer = adoptSoundBuffer(soundLibHandle, std::move(samples), reason);
    if (buffer == 0) {
        ShowSoundLibError(libraryLastError(soundLibHandle));
    }
    return buffer;
}

void SoundDevice::ShowSoundLibError(const QString& text) {
    m_messages.show(text, QStringLiteral("VbDSnd.Dll"), MessageIcon::Exclamation);
}

void SoundDevice::setOutput(const OutputChoice& choice) {
    if (soundLibHandle != 0) {
        setLibraryOutput(soundLibHandle, choice);
    }
}

bool SoundDevice::health(LibraryHealth& health) const {
    return soundLibHandle != 0 && libraryHealth(soundLibHandle, health);
}

float SoundDevice::masterPeak() const {
    return soundLibHandle != 0 ? libraryMasterPeak(soundLibHandle) : 0.0f;
}

void SoundDevice::setGlobalFocus(bool global) {
    setLibraryGlobalFocus(global);
}

void SoundDevice::OpenSoundDevice(std::intptr_t window, const OutputFormat& format) {
    InitSoundLibrary(window, 2);
    setLibraryGlobalFocus(true);
    SetPrimaryFormat(format.sampleRate, format.bits, format.channels);
}

} // namespace mt
