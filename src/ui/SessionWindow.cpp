#include "ui/SessionWindow.h"

#include "app/SessionGlue.h"
#include "ui/AppShell.h"
#include "ui/MainWindow.h"
#include "ui/PlayModeWindow.h"

#include <QFontMetrics>
#include <QLabel>

namespace mt {

void AttachSessionWindow(SessionGlue& session, MainWindow& window) {
    session.showWindow = [&window](bool shown) {
        if (!shown) {
            // No window of the program stays mapped; play mode gives way to the main window
            // when it comes back.
            if (PlayModeWindow* play = window.playModeWindow()) {
                play->hide();
            }
            window.hide();
            return;
        }
        window.show();
        window.raise();
        window.activateWindow();
    };
    session.quit = [&window] { window.shell().onUnload(); };
    session.showStatus = [&window](const QString& text) {
        // A fixed width, elided: the menu bar lays its corner out once.
        constexpr int kWidth = 320;
        QLabel& label = *window.sessionLabel;
        label.setFixedWidth(kWidth);
        label.setText(label.fontMetrics().elidedText(text, Qt::ElideRight, kWidth - 12));
        label.setToolTip(text);
        label.show();
    };
    window.closeInstead = [&session] { return session.hideInsteadOfClose(); };
}

} // namespace mt
