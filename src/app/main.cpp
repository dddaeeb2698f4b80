#include "app/AppContext.h"
#include "app/Language.h"
#include "app/SessionGlue.h"
#include "app/SessionMessages.h"
#include "core/RecoveryKeeper.h"
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlatformServices.h"
#include "ui/AppShell.h"
#include "ui/ControllerWindows.h"
#include "ui/JapaneseFont.h"
#include "ui/MainWindow.h"
#include "ui/MidiPerformance.h"
#include "ui/OscControl.h"
#include "ui/OscWindow.h"
#include "ui/PerformanceApplication.h"
#include "ui/QtDialogServices.h"
#include "ui/SessionWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <QTranslator>

#include <xcb/xcb.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Qt aborts with a core dump and a page of advice when it finds no display. Say it in one line
// instead, for the cases we can see before Qt starts: nothing to show on, or an X server named
// in DISPLAY that does not answer. A platform chosen by hand (QT_QPA_PLATFORM) is Qt's affair.
bool HasDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY")) {
        return true;
    }
    if (!set("DISPLAY")) {
        std::fprintf(stderr, "marrowtune: no display: neither an X server (DISPLAY) nor a Wayland "
                             "display (WAYLAND_DISPLAY) is set; start it from a desktop session\n");
        return false;
    }
    errno = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(connection);
    const int cause = errno; // the socket's, when the connection itself failed
    xcb_disconnect(connection);
    if (error == XCB_CONN_ERROR && cause != 0) {
        // The last socket call's error: a server that accepted and then closed the connection
        // leaves whatever an earlier non-blocking read said.
        std::fprintf(stderr,
                     "marrowtune: no display: the X server %s does not answer (last socket "
                     "error: %s)\n",
                     std::getenv("DISPLAY"), std::strerror(cause));
    } else if (error != 0) {
        // The server answered and refused (too many clients, say), or DISPLAY is malformed.
        std::fprintf(stderr,
                     "marrowtune: no display: the X server %s does not answer (xcb "
                     "error %d)\n",
                     std::getenv("DISPLAY"), error);
    }
    return error == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (!HasDisplay()) {
        return 1;
    }
    mt::PerformanceApplication app(argc, argv);
    // One style everywhere, so the track buttons' colours look the same on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    mt::UseJapaneseFont(app);

    mt::QtMessageBoxService boxes;
    // Under a session manager no box waits for a person: what the program tells goes to a line.
    const QString sessionManager = mt::SessionGlue::ManagerUrl();
    mt::SessionMessages sessionMessages(boxes);
    mt::MessageBoxService& messages =
        sessionManager.isEmpty() ? static_cast<mt::MessageBoxService&>(boxes) : sessionMessages;
    mt::QtFileDialogService fileDialogs;
    mt::OverrideCursor cursor;
    mt::IniSettingsStore settings;
    // The texts' language, as the performer chose it at the last run: installed before any
    // window or message is made.
    const std::unique_ptr<QTranslator> translator = mt::TranslatorFor(mt::StoredLanguage(
        settings, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()));
    if (translator) {
        QCoreApplication::installTranslator(translator.get());
    }
    mt::DesktopTrash trash;
    mt::DetachedProcessLauncher processes;
    mt::DesktopUrlOpener urls;
    mt::QtModalRunner modals;
    mt::PlatformServices platform{messages, fileDialogs, cursor, settings,
                                  trash,    processes,   urls,   modals};

    mt::AppContext context(platform);
    context.dataDir = mt::AppShell::FindDataDirectory();
    mt::MainWindow window(context);
    window.onLoad();
    context.keyPositions.load(settings, context.appName);
    window.show();
    // MIDI controllers once the window is up: no controller, no JACK or no sequencer is a
    // line on stderr, never a box.
    mt::MidiPerformance controllers(context);
    controllers.attachWindow(window);
    mt::AddControllerMenus(window, context, controllers);
    QTimer::singleShot(0, &controllers, [&controllers] { controllers.start(); });
    // OSC control, when the performer turned it on: a port in use is a line, never a box.
    mt::OscControl osc(context);
    mt::AttachOscWindow(window, osc);
    QTimer::singleShot(0, &osc, [&osc] { osc.start(); });
    mt::RecoveryKeeper recovery(context.performance, mt::RecoveryKeeper::DefaultFolder());
    std::unique_ptr<mt::SessionGlue> session;
    if (!sessionManager.isEmpty()) {
        // The session's own saves are its record, and it opens the set: no recovery copies and
        // no question at start.
        session = std::make_unique<mt::SessionGlue>(context.performance, sessionMessages);
        mt::AttachSessionWindow(*session, window);
        session->start(sessionManager, QString::fromLocal8Bit(argv[0]));
    } else {
        // A set left unsaved by a run that did not end cleanly is offered once the window
        // stands; else the set named on the command line opens, as if opened from the menu.
        const QStringList arguments = QApplication::arguments();
        QTimer::singleShot(0, &window, [&recovery, &messages, &context, arguments] {
            if (!recovery.startAndOffer(messages) && arguments.size() > 1) {
                context.performance.open(arguments.at(1));
            }
        });
    }
    app.lendCore(&context.coreAccess);
    const int status = QApplication::exec();
    app.lendCore(nullptr);
    // Closed through the window, the performer was asked about what changed. The editor wait
    // window's way out ends with the window still up and asks nothing: its copy stays.
    if (!window.isVisible()) {
        recovery.endCleanly();
    }
    return status;
}
