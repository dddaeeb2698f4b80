#include "audio/VbDSound.h"

#include "audio/DsCalls.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>

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

std::int32_t VbDSound::CreateTrackBuffer(const QString& path, std::int32_t flags) {
    if (soundLibHandle == 0 || !QFileInfo(path).isFile()) {
        return 0;
    }
    std::int32_t buffer = 0;
    {
        QFile file(path);
        if (!OpenRegularFileForReading(file)) {
            ShowSoundLibError(file.errorString());
            return 0;
        }
        const QByteArray image = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            ShowSoundLibError(file.errorString());
            return 0;
        }
        buffer = dsCreateDSB(soundLibHandle, image.constData(),
                             static_cast<std::size_t>(image.size()), flags);
    } // the image goes here, before the performer's next action
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

void VbDSound::setGlobalFocus(bool global) {
    dsSetGlobalFocus(global);
}

void VbDSound::OpenSoundDevice(std::intptr_t window, const OutputFormat& format) {
    InitSoundLibrary(window, 2);
    dsSetGlobalFocus(true);
    SetPrimaryFormat(format.QuSample, format.QuBit, format.QuSm);
}

} // namespace mt
