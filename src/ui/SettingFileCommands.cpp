#include "ui/SettingFileCommands.h"

#include "app/AppContext.h"
#include "platform/ModalRunner.h"
#include "ui/SaveChangesWindow.h"

#include <QAction>
#include <QMainWindow>

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
    m_overwriteSaveAction.setEnabled(m_app.performance.canOverwrite());
}

void SettingFileCommands::onNewTriggered() {
    m_app.sound.setGlobalFocus(true);
    m_app.performance.newBank();
}

bool SettingFileCommands::confirmDiscard() {
    return m_app.performance.confirmDiscard();
}

} // namespace mt
