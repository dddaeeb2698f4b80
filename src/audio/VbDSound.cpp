#include "audio/VbDSound.h"

#include "audio/DsCalls.h"
#include "audio/WavDecoder.h"

namespace mt {

VbDSound::VbDSound(MessageBoxService& messages) : VbDSound(messages, dsInitialize2) {}

VbDSound::VbDSound(MessageBoxService& messages, Initializer initialize)
    : m_messages(messages), m_initialize(std::move(initialize)) {}

void VbDSound::InitSoundLibrary(std::intptr_t window, std::int32_t level) {
    soundLibHandle = m_initialize(window, level);
    if (soundLibHandle == 0) {
        ShowSoundLibError(QStringLiteral("Direct Soundインターフェースが作成できません。"));
    }
}

void VbDSound::SetPrimaryFormat(std::int32_t sampleRate, std::int16_t bits, std::int16_t channels) {
    if (soundLibHandle == 0) {
        return;
    }
    if (dsSetFormatDS(soundLibHandle, sampleRate, bits, channels) == 0) {
        ShowSoundLibError(QStringLiteral("フォーマットを設定できません。"));
    }
}

void VbDSound::TerminateSoundLibrary() {
    if (soundLibHandle != 0) {
        dsTerminate(soundLibHandle);
        // A handle kept after its library is gone would send later calls to nothing.
        soundLibHandle = 0;
    }
}

std::int32_t VbDSound::CreateTrackBuffer(const QString& path, std::int32_t /*flags*/) {
    if (soundLibHandle == 0) {
        return 0;
    }
    QString reason;
    std::unique_ptr<SampleBuffer> samples = DecodeSoundFile(path, reason);
    return adopt(std::move(samples), reason);
}

VbDSound::LoadId VbDSound::loadTrackBuffer(const QString& path,
                                           std::function<void(int percent)> progress,
                                           std::function<void(std::int32_t buffer)> done) {
    if (!m_loader) {
        m_loader = std::make_unique<SoundLoader>();
    }
    return m_loader->start(path, std::move(progress),
                           [this, done = std::move(done)](std::unique_ptr<SampleBuffer> samples,
                                                          const QString& reason) {
                               done(soundLibHandle == 0 ? 0 : adopt(std::move(samples), reason));
                           });
}

void VbDSound::cancelLoad(LoadId load) {
    if (m_loader) {
        m_loader->cancel(load);
    }
}

std::int32_t VbDSound::adopt(std::unique_ptr<SampleBuffer> samples, const QString& reason) {
    if (!samples && reason.isEmpty()) {
        return 0; // no such file: nothing to tell
    }
    const std::int32_t buffer = dsAdoptDSB(soundLibHandle, std::move(samples), reason);
    if (buffer == 0) {
        ShowSoundLibError(dsLastError(soundLibHandle));
    }
    return buffer;
}

void VbDSound::ShowSoundLibError(const QString& text) {
    m_messages.show(text, QStringLiteral("VbDSnd.Dll"), MessageIcon::Exclamation);
}

void VbDSound::setOutput(const OutputChoice& choice) {
    if (soundLibHandle != 0) {
        dsSetOutput(soundLibHandle, choice);
    }
}

bool VbDSound::health(LibraryHealth& health) const {
    return soundLibHandle != 0 && dsGetHealth(soundLibHandle, health);
}

float VbDSound::masterPeak() const {
    return soundLibHandle != 0 ? dsGetMasterPeak(soundLibHandle) : 0.0f;
}

void VbDSound::setGlobalFocus(bool global) {
    dsSetGlobalFocus(global);
}

void VbDSound::OpenSoundDevice(std::intptr_t window, const OutputFormat& format) {
    InitSoundLibrary(window, 2);
    dsSetGlobalFocus(true);
    SetPrimaryFormat(format.QuSample, format.QuBit, format.QuSm);
}

} // namespace mt
