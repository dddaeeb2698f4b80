#include "core/AppContext.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlatformServices.h"
#include "ui/Form1.h"
#include "ui/JapaneseFont.h"
#include "ui/QtDialogServices.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    mt::UseJapaneseFont(app);

    mt::QtMessageBoxService messages;
    mt::QtFileDialogService fileDialogs;
    mt::OverrideCursor cursor;
    mt::IniSettingsStore settings;
    mt::DesktopTrash trash;
    mt::DetachedProcessLauncher processes;
    mt::DesktopUrlOpener urls;
    mt::QtModalRunner modals;
    mt::PlatformServices platform{messages, fileDialogs, cursor, settings,
                                  trash,    processes,   urls,   modals};

    mt::AppContext context(platform);
    mt::Form1 window(context);
    window.show();
    context.sound.OpenSoundDevice(static_cast<std::intptr_t>(window.winId()), context.outputFormat);
    const int result = QApplication::exec();
    context.sound.TerminateSoundLibrary();
    return result;
}
