#include "core/AppContext.h"

#include "audio/DsCalls.h"
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

void AppContext::panic() {
    keys.panic();
    preview.release();
}

} // namespace mt
