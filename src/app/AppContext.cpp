#include "app/AppContext.h"

#include "audio/SoundBuffers.h"
#include "platform/MessageBoxService.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace mt {

AppContext::AppContext(PlatformServices& services)
    : AppContext(services, [this](std::intptr_t, std::int32_t) {
          return openSoundLibraryOn(outputChoice, &outputFormat);
      }) {}

AppContext::AppContext(PlatformServices& services, SoundDevice::Initializer openLibrary)
    : platform(services), sound(services.messages, std::move(openLibrary)),
      appName(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()) {}

void AppContext::showMessage(const QString& text) const {
    platform.messages.show(text, kAppTitle, MessageIcon::None);
}

void AppContext::panic() {
    keys.panic();
    preview.release();
}

} // namespace mt
