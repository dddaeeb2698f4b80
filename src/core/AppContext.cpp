#include "core/AppContext.h"

#include "audio/DsCalls.h"
#include "audio/SoundFileInfo.h"
#include "audio/WavReader.h"
#include "platform/MessageBoxService.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace mt {

AppContext::AppContext(PlatformServices& services)
    : platform(services), sound(services.messages,
                                [this](std::intptr_t, std::int32_t) {
                                    return dsInitializeChoice(outputChoice, &outputFormat);
                                }),
      appName(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()) {}

AppContext::AppContext(PlatformServices& services, VbDSound::Initializer openLibrary)
    : platform(services), sound(services.messages, std::move(openLibrary)),
      appName(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()) {}

void AppContext::showMessage(const QString& text) const {
    platform.messages.show(text, kAppTitle, MessageIcon::None);
}

bool ReloadTrack(AppContext& app, int index, const QString& path) {
    WavInfo info;
    if (!ReadSoundInfo(path, info)) {
        app.showMessage(TrackMovedMessage(index));
        return false;
    }
    const std::int32_t buffer = app.sound.CreateTrackBuffer(path, 1);
    if (buffer == 0) {
        return false;
    }
    TrackBank& bank = app.bank;
    bank.tracks[index].rateRatio = 1.0f;
    bank.takeFormat(index, info, TrackBank::LengthFrom::Ratio);
    bank.tracks[index].buffer = buffer;
    return true;
}

} // namespace mt
