#include "core/AppContext.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlatformServices.h"
#include "ui/AppShell.h"
#include "ui/Form1.h"
#include "ui/JapaneseFont.h"
#include "ui/QtDialogServices.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // One style everywhere, so the track buttons' colours look the same on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
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
    context.dataDir = mt::AppShell::FindDataDirectory();
    mt::Form1 window(context);
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
