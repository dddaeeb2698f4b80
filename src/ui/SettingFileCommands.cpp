#include "ui/SettingFileCommands.h"

#include "app/AppContext.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"
#include "ui/CollectWindow.h"
#include "ui/SaveChangesWindow.h"

#include <QAction>
#include <QMainWindow>
#include <QPointer>

namespace mt {

SettingFileCommands::SettingFileCommands(AppContext& app, QMainWindow& window)
    : QObject(&window), m_app(app), m_window(window),
      m_overwriteSaveAction(*window.findChild<QAction*>(QStringLiteral("mnuUwagaki"))) {
    Performance& performance = m_app.performance;
    const auto wire = [this, &performance](const char* name, void (Performance::*command)()) {
        QAction* item = m_window.findChild<QAction*>(QLatin1String(name));
        item->setEnabled(true);
        connect(item, &QAction::triggered, &performance, command);
    };
    wire("mnunew", &Performance::newFromMenu);
    wire("mnuFileOpen", &Performance::openFromDialog);
    wire("mnuFileSave", &Performance::saveFromDialog);
    wire("mnuUwagaki", &Performance::overwrite);
    QAction* collect = m_window.findChild<QAction*>(QStringLiteral("mnuFileCollect"));
    collect->setEnabled(true);
    connect(collect, &QAction::triggered, this, &SettingFileCommands::onCollectTriggered);
    connect(&performance, &Performance::documentChanged, this, &SettingFileCommands::showDocument);
    performance.setSaveQuestion([this](const QString& title) {
        SaveChangesWindow ask(title, &m_window);
        switch (m_app.platform.modals.run(ask)) {
        case SaveChangesWindow::Yes:
            return SaveAnswer::Yes;
        case SaveChangesWindow::No:
            return SaveAnswer::No;
        default:
            return SaveAnswer::Cancel;
        }
    });
    showDocument();
}

void SettingFileCommands::showDocument() {
    m_window.setWindowTitle(QStringLiteral("Marrowtune - ") + m_app.performance.title());
    m_overwriteSaveAction.setEnabled(m_app.performance.canOverwrite() &&
                                     !m_app.performance.collecting());
}

void SettingFileCommands::enableCommands(bool enabled) {
    for (const char* name : {"mnunew", "mnuFileOpen", "mnuFileSave", "mnuFileCollect"}) {
        m_window.findChild<QAction*>(QLatin1String(name))->setEnabled(enabled);
    }
    m_overwriteSaveAction.setEnabled(enabled && m_app.performance.canOverwrite());
}

void SettingFileCommands::onCollectTriggered() {
    Performance& performance = m_app.performance;
    const std::optional<QString> path = performance.askCollectName();
    if (!path) {
        return;
    }
    auto* progress = new CollectWindow(performance, &m_window);
    progress->show();
    // Nothing may replace or save the bank until the set is written with the copies' paths.
    enableCommands(false);
    performance.collectTo(
        *path, [self = QPointer(this), progress = QPointer(progress)](const QString& error) {
            const bool cancelled = progress != nullptr && progress->cancelled();
            delete progress.data();
            if (self == nullptr) {
                return; // the window has gone
            }
            self->enableCommands(true);
            if (!error.isEmpty() && !cancelled) {
                self->m_app.platform.messages.show(error, kAppTitle, MessageIcon::Exclamation);
            }
        });
}

void SettingFileCommands::onNewTriggered() {
    m_app.sound.setGlobalFocus(true);
    m_app.performance.newBank();
}

bool SettingFileCommands::confirmDiscard() {
    return m_app.performance.confirmDiscard();
}

} // namespace mt
