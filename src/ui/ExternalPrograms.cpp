#include "ui/ExternalPrograms.h"

#include "app/AppContext.h"
#include "platform/CursorService.h"
#include "platform/ModalRunner.h"
#include "platform/SystemServices.h"
#include "ui/AppShell.h"
#include "ui/CdPanel.h"
#include "ui/FileBrowser.h"
#include "ui/MainWindow.h"
#include "ui/MidiPanel.h"
#include "ui/PreferenceWindows.h"
#include "ui/SettingFileCommands.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace mt {

ExternalPrograms::ExternalPrograms(AppContext& app, MainWindow& window)
    : QObject(&window), m_app(app), m_window(window) {
    const auto wire = [this](const char* name, void (ExternalPrograms::*handler)()) {
        QAction* item = m_window.menuItem(QLatin1String(name));
        item->setEnabled(true);
        connect(item, &QAction::triggered, this, handler);
    };
    wire("mnuEditWav", &ExternalPrograms::onEditClicked);
    wire("mnuVolumeControl", &ExternalPrograms::onVolumeControlTriggered);
    wire("mnuPreference", &ExternalPrograms::onPreferenceTriggered);
    wire("mnuOtherSetting", &ExternalPrograms::onOtherSettingsTriggered);
    wire("mnuhelpAtume", &ExternalPrograms::onCollectSoundsTriggered);
    wire("mnuhelpver", &ExternalPrograms::onAboutTriggered);
    connect(m_window.editButton, &QPushButton::clicked, this, &ExternalPrograms::onEditClicked);
}

void ExternalPrograms::onEditClicked() {
    m_app.performance.editSelected(*this);
}

void ExternalPrograms::pausePlayers() {
    m_app.cd.pause(); // each pauses only what is playing
    m_app.midi.pauseIfPlaying();
}

void ExternalPrograms::closeSound() {
    m_app.preview.release();
    m_app.sound.TerminateSoundLibrary();
}

bool ExternalPrograms::openSound() {
    m_app.sound.OpenSoundDevice(static_cast<std::intptr_t>(m_window.winId()), m_app.outputFormat);
    const bool open = m_app.sound.soundLibHandle != 0;
    m_window.showSoundDevice(open);
    return open;
}

void ExternalPrograms::soundReloaded() {
    m_app.midi.MidiReattach();
}

bool ExternalPrograms::waitForEditor() {
    // "Brenlo終了" or the close box, and nothing else, ask to end the program here.
    EditorWaitWindow waiting(&m_window);
    return m_app.platform.modals.run(waiting) != EditorWaitWindow::kEndProgram;
}

bool ExternalPrograms::confirmEnd() {
    return m_window.settingFiles().confirmDiscard(); // as when quitting from the main window
}

void ExternalPrograms::endProgram() {
    m_app.midi.MidiCloseDevice();
    m_window.shell().SaveSettingsAndEnd();
}

void ExternalPrograms::onVolumeControlTriggered() {
    const QString& path = m_app.volumeControlPath;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        m_app.showMessage(tr("ボリュームコントロールが見つかりません。「設定」－「参照設定」"
                             "でボリュームコントロールの場所を指定してください｡ "));
        return;
    }
    // There, but not a program that starts (a folder, no permission).
    if (!m_app.platform.processes.start(path, {})) {
        m_app.showMessage(tr("ボリュームコントロールが開けません。「設定」－「参照設定」で場所を"
                             "指定してください｡ "));
    }
}

void ExternalPrograms::onPreferenceTriggered() {
    PreferenceWindow window(m_app, &m_window);
    if (m_app.platform.modals.run(window) == QDialog::Accepted &&
        !m_app.editProgramPath.isEmpty()) {
        m_window.editButton->setEnabled(true); // an empty path never disables it
    }
}

void ExternalPrograms::onOtherSettingsTriggered() {
    OtherSettingsWindow window(m_app, &m_window);
    if (m_app.platform.modals.run(window) == QDialog::Accepted) {
        m_window.shell().LoadLayout(m_app.smallLayout);
    }
}

void ExternalPrograms::onCollectSoundsTriggered() {
    m_app.platform.urls.open(QLatin1String(kSoundCollectingPage));
}

void ExternalPrograms::onAboutTriggered() {
    auto* about = new AboutWindow(&m_window); // not modal; deletes itself when closed
    about->show();
}

} // namespace mt
