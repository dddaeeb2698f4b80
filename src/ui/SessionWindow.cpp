#include "ui/SessionWindow.h"

#include "app/SessionGlue.h"
#include "ui/AppShell.h"
#include "ui/MainWindow.h"
#include "ui/PlayModeWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>

namespace mt {
namespace {

constexpr int kBadgeWidth = 160; // pixels at most, the session's name
constexpr int kToldMs = 10000;   // how long a message covers the output's line

} // namespace

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
    // What the program tells stands over the output's line for a while: nothing waits for it.
    QWidget& corner = *window.menuBar()->cornerWidget(Qt::TopRightCorner);
    auto* told = new QLabel(&corner);
    told->setAutoFillBackground(true);
    told->hide();
    auto* expiry = new QTimer(told);
    expiry->setSingleShot(true);
    expiry->setInterval(kToldMs);
    QObject::connect(expiry, &QTimer::timeout, told, &QWidget::hide);
    session.showStatus = [&window, &corner, told, expiry](const QString& name,
                                                          const QString& message) {
        QLabel& badge = *window.sessionLabel;
        if (badge.isHidden()) {
            // What room the menus leave beside the output's line, at most kBadgeWidth. The
            // menu bar places its corner by the corner's size when the corner is shown.
            QMenuBar& bar = *window.menuBar();
            int menus = 0;
            for (QAction* menu : bar.actions()) {
                menus = std::max(menus, bar.actionGeometry(menu).right());
            }
            constexpr int kSlack = 8; // the menu bar's own margins
            badge.setFixedWidth(std::clamp(bar.width() - menus - corner.sizeHint().width() - kSlack,
                                           0, kBadgeWidth));
            badge.show();
            corner.hide();
            corner.show();
        }
        const int room = badge.width() - badge.contentsMargins().right();
        badge.setText(badge.fontMetrics().elidedText(name, Qt::ElideRight, room));
        badge.setToolTip(
            QCoreApplication::translate("mt::SessionGlue", "セッション: %1").arg(name));
        if (message.isEmpty()) {
            told->hide();
            return;
        }
        corner.layout()->activate();
        told->setGeometry(badge.geometry().right() + 1, badge.y(),
                          corner.width() - badge.geometry().right() - 1, badge.height());
        told->setText(told->fontMetrics().elidedText(message, Qt::ElideRight, told->width()));
        told->setToolTip(message);
        told->show();
        told->raise();
        expiry->start();
    };
    window.closeInstead = [&session] { return session.hideInsteadOfClose(); };
}

} // namespace mt
