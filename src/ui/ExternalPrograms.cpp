#include "ui/ExternalPrograms.h"

#include "core/AppContext.h"
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

#include <optional>

namespace mt {

ExternalPrograms::ExternalPrograms(AppContext& app, MainWindow& window)
    : QObject(&window), m_app(app), m_window(window) {
    const auto wire = [this](const char* name, void (ExternalPrograms::*handler)()) {
        QAction* item = m_window.menuItem(QLatin1String(name));
        item->setEnabled(true);
        connect(item, &QAction::triggered, this, handler);
    };
    wire("mnuEditWav", &ExternalPrograms::ComEdit_Click);
    wire("mnuVolumeControl", &ExternalPrograms::mnuVolumeControl_Click);
    wire("mnuPreference", &ExternalPrograms::mnuPreference_Click);
    wire("mnuOtherSetting", &ExternalPrograms::mnuOtherSetting_Click);
    wire("mnuhelpAtume", &ExternalPrograms::collectSoundsAction_Click);
    wire("mnuhelpver", &ExternalPrograms::mnuhelpver_Click);
    connect(m_window.ComEdit, &QPushButton::clicked, this, &ExternalPrograms::ComEdit_Click);
}

void ExternalPrograms::ComEdit_Click() {
    TrackBank& bank = m_app.bank;
    if (bank.selectedTrack() == -1) {
        return;
    }
    const int selected = bank.selectedTrack();
    std::optional<WaitCursor> wait(std::in_place, m_app.platform.cursor);
    if (m_app.editProgramPath.isEmpty()) {
        wait.reset();
        m_app.showMessage(QStringLiteral("波形編集ソフトが指定されていません。設定 - 参照設定 "
                                         "で使いたい波形編集ソフトを指定してください"));
        return;
    }
    m_app.cd.pause(); // each pauses only what is playing
    m_app.midi.pauseIfPlaying();
    m_app.bankLoader.releaseSounds();
    m_app.preview.release();
    m_app.sound.TerminateSoundLibrary();

    // The path is one argument, whatever it holds, and no shell ever reads it.
    if (!m_app.platform.processes.start(m_app.editProgramPath, {bank.track(selected).path})) {
        wait.reset();
        m_app.showMessage(
            QStringLiteral("波形編集ソフトが開けません、参照設定を正しく行ってください。"));
        const WaitCursor reloading(m_app.platform.cursor);
        restartSound();
        return;
    }
    wait.reset(); // the wait window needs a pointer to press its buttons with
    EditorWaitWindow waiting(&m_window);
    while (m_app.platform.modals.run(waiting) == EditorWaitWindow::kEndProgram) {
        // "Brenlo終了" or the close box, and nothing else, end the program here, keeping the
        // settings; a changed bank is asked about first, as when quitting from the main
        // window. Cancel goes back to waiting.
        if (m_window.settingFiles().confirmDiscard()) {
            m_app.midi.MidiCloseDevice();
            m_window.shell().SaveSettingsAndEnd();
            return;
        }
    }
    const WaitCursor reloading(m_app.platform.cursor);
    restartSound();
}

void ExternalPrograms::restartSound() {
    m_app.sound.OpenSoundDevice(static_cast<std::intptr_t>(m_window.winId()), m_app.outputFormat);
    m_window.showSoundDevice(m_app.sound.soundLibHandle != 0);
    m_app.bankLoader.reloadLoaded(m_app.sound.soundLibHandle != 0);
    m_app.midi.MidiReattach();
}

void ExternalPrograms::mnuVolumeControl_Click() {
    const QString& path = m_app.VolumeControlPath;
    const QString where = QStringLiteral("指定してください｡ ");
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        m_app.showMessage(
            QStringLiteral("ボリュームコントロールが見つかりません。「設定」－「参照設定」"
                           "でボリュームコントロールの場所を") +
            where);
        return;
    }
    // There, but not a program that starts (a folder, no permission).
    if (!m_app.platform.processes.start(path, {})) {
        m_app.showMessage(
            QStringLiteral("ボリュームコントロールが開けません。「設定」－「参照設定」で場所を") +
            where);
    }
}

void ExternalPrograms::mnuPreference_Click() {
    PreferenceWindow window(m_app, &m_window);
    if (m_app.platform.modals.run(window) == QDialog::Accepted &&
        !m_app.editProgramPath.isEmpty()) {
        m_window.ComEdit->setEnabled(true); // an empty path never disables it
    }
}

void ExternalPrograms::mnuOtherSetting_Click() {
    OtherSettingsWindow window(m_app, &m_window);
    if (m_app.platform.modals.run(window) == QDialog::Accepted) {
        m_window.shell().LoadLayout(m_app.FormSizeFlag);
    }
}

void ExternalPrograms::collectSoundsAction_Click() {
    m_app.platform.urls.open(QLatin1String(kSoundCollectingPage));
}

void ExternalPrograms::mnuhelpver_Click() {
    auto* about = new AboutWindow(&m_window); // not modal; deletes itself when closed
    about->show();
}

} // namespace mt
