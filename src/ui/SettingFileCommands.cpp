#include "ui/SettingFileCommands.h"

#include "app/AppContext.h"
#include "platform/CursorService.h"
#include "platform/FileDialogService.h"
#include "platform/MessageBoxService.h"
#include "platform/ModalRunner.h"
#include "platform/RegularFile.h"
#include "ui/SaveChangesWindow.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>

namespace mt {
namespace {

const QString kSettingFilter = QStringLiteral("セッティングファイル (*.mrw)|*.mrw|");

} // namespace

SettingFileCommands::SettingFileCommands(AppContext& app, QMainWindow& window)
    : QObject(&window), m_app(app), m_window(window),
      m_overwriteSaveAction(*window.findChild<QAction*>(QStringLiteral("mnuUwagaki"))) {
    const auto wire = [this](const char* name, void (SettingFileCommands::*handler)()) {
        QAction* item = m_window.findChild<QAction*>(QLatin1String(name));
        item->setEnabled(true);
        connect(item, &QAction::triggered, this, handler);
    };
    wire("mnunew", &SettingFileCommands::newFromMenu);
    wire("mnuFileOpen", &SettingFileCommands::mnuFileOpen_Click);
    wire("mnuFileSave", &SettingFileCommands::mnuFileSave_Click);
    wire("mnuUwagaki", &SettingFileCommands::overwriteSaveAction_Click);
    m_overwriteSaveAction.setEnabled(false);
}

void SettingFileCommands::setCaption(const QString& caption) {
    m_window.setWindowTitle(caption);
}

std::array<TrackSetting, 8> SettingFileCommands::currentSettings() const {
    std::array<TrackSetting, 8> tracks;
    for (int i = 0; i < kTrackCount; ++i) {
        const Track& track = m_app.bank.track(i);
        TrackSetting& t = tracks[i];
        t.speed = track.speed;
        t.volume = track.volume;
        t.pan = track.pan;
        t.fileName = track.fileName;
        t.path = track.path;
        t.length44k = track.length44k;
        t.loop = track.loop ? 1 : 0;
        t.hold = track.hold ? 1 : 0;
        t.ratio = track.ratio;
    }
    return tracks;
}

bool SettingFileCommands::writeTo(const QString& path) {
    QString reason;
    if (WriteFileWhole(path, EncodeSettingFile(currentSettings()), &reason)) {
        return true;
    }
    m_app.showMessage(path + QStringLiteral(" に保存できませんでした。") + reason);
    return false;
}

bool SettingFileCommands::SaveSettingFile() {
    if (!writeTo(dialogFileName)) {
        return false;
    }
    settingFilePath = dialogFileName;
    settingFileTitle = QFileInfo(dialogFileName).fileName();
    setCaption(QStringLiteral("Marrowtune - ") + settingFileTitle);
    m_overwriteSaveAction.setEnabled(true);
    return true;
}

bool SettingFileCommands::OverwriteSettingFile() {
    // The file that was opened or saved, wherever the working folder happens to be.
    return writeTo(settingFilePath);
}

void SettingFileCommands::overwriteSaveAction_Click() {
    if (OverwriteSettingFile()) {
        m_app.bank.bankChanged = false;
    }
}

std::optional<QString> SettingFileCommands::askSaveName(const QString& preselected) {
    FileDialogRequest request;
    request.filter = kSettingFilter;
    request.filterIndex = 2;
    request.fileName = preselected;
    request.defaultSuffix = QStringLiteral("mrw");
    std::optional<QString> chosen = m_app.platform.fileDialogs.saveFile(request);
    if (!chosen || !QFileInfo(*chosen).suffix().isEmpty()) {
        return chosen; // the dialog asked about this very name before replacing it
    }
    // A dialog that left the suffix off asked about another file than the one written:
    // the question about replacing is ours to ask.
    *chosen += QStringLiteral(".mrw");
    if (QFileInfo::exists(*chosen) &&
        !m_app.platform.messages.confirm(
            QFileInfo(*chosen).fileName() + QStringLiteral(" は既に存在します。\n上書きしますか？"),
            kAppTitle)) {
        return std::nullopt;
    }
    return chosen;
}

void SettingFileCommands::mnuFileSave_Click() {
    const std::optional<QString> chosen = askSaveName(dialogFileName);
    if (!chosen) {
        return;
    }
    dialogFileName = *chosen;
    WaitCursor wait(m_app.platform.cursor);
    if (SaveSettingFile()) {
        m_app.bank.bankChanged = false;
        settingUntitled = false;
    }
}

void SettingFileCommands::mnuFileOpen_Click() {
    if (!confirmDiscard()) {
        return;
    }
    FileDialogRequest request;
    request.filter = QStringLiteral("すべてのファイル (*.*)|*.*|") + kSettingFilter;
    request.filterIndex = 2;
    request.fileName = dialogFileName;
    const std::optional<QString> chosen = m_app.platform.fileDialogs.openFile(request);
    if (!chosen) {
        return;
    }
    dialogFileName = *chosen;
    WaitCursor wait(m_app.platform.cursor);
    if (LoadSettingFile()) {
        m_app.bank.bankChanged = false;
        settingUntitled = false;
    }
}

bool SettingFileCommands::LoadSettingFile() {
    const QString path = dialogFileName;
    QFile file(path);
    if (!OpenRegularFileForReading(file)) {
        failedLoad(path);
        return false;
    }
    const DecodedSettingFile decoded = DecodeSettingFile(file.readAll());
    file.close();
    if (!decoded.ok) {
        // Nothing of a damaged file is taken: its first blocks may already hold values that
        // a line break moved.
        failedLoad(path);
        return false;
    }
    settingFilePath = path;
    settingFileTitle = QFileInfo(path).fileName();
    setCaption(QStringLiteral("Marrowtune - ") + settingFileTitle);
    for (std::size_t i = 0; i < decoded.tracks.size(); ++i) {
        m_app.bankLoader.load(static_cast<int>(i), storedTrack(decoded.tracks[i]));
    }
    if (decoded.tracks.size() == static_cast<std::size_t>(kTrackCount)) {
        // A file that ended early leaves the later tracks and the overwrite item as they were.
        m_overwriteSaveAction.setEnabled(true);
    }
    // Whatever the file held: a reference it took away must not leave the lock on.
    m_app.tempo.updateLockAvailability();
    return true;
}

StoredTrack SettingFileCommands::storedTrack(const TrackSetting& s) {
    return {s.speed, s.volume, s.pan, s.fileName, s.path, s.loop != 0, s.hold != 0, s.ratio};
}

void SettingFileCommands::failedLoad(const QString& path) {
    // The bank, its title and its flags stay: a wrong or damaged file never costs the set
    // that is on stage.
    m_app.showMessage(path +
                      QStringLiteral("は Marrowtune で使用できるファイル形式ではありません"));
}

void SettingFileCommands::newFromMenu() {
    if (confirmDiscard()) {
        mnunew_Click();
    }
}

void SettingFileCommands::mnunew_Click() {
    TrackBank& bank = m_app.bank;
    for (int i = 0; i < kTrackCount; ++i) {
        m_app.bankLoader.reset(i);
        bank.setFineSpeed(i, false);
    }
    settingFileTitle = QStringLiteral("New");
    settingFilePath.clear();
    setCaption(QStringLiteral("Marrowtune - New"));
    m_overwriteSaveAction.setEnabled(false);
    m_app.sound.setGlobalFocus(true);
    bank.selectNextLoaded();
    m_app.tempo.switchLockOff();
    bank.bankChanged = false;
    settingUntitled = true;
}

bool SettingFileCommands::confirmDiscard() {
    if (!m_app.bank.bankChanged) {
        return true;
    }
    SaveChangesWindow ask(settingUntitled ? QString() : settingFileTitle, &m_window);
    const int answer = m_app.platform.modals.run(ask);
    if (answer == SaveChangesWindow::No) {
        return true;
    }
    if (answer != SaveChangesWindow::Yes) {
        return false;
    }
    if (!settingUntitled) {
        if (!OverwriteSettingFile()) {
            return false;
        }
        m_app.bank.bankChanged = false;
        return true;
    }
    const std::optional<QString> chosen = askSaveName(QString());
    if (!chosen) {
        return false;
    }
    dialogFileName = *chosen;
    if (!SaveSettingFile()) {
        return false;
    }
    m_app.bank.bankChanged = false;
    settingUntitled = false;
    return true;
}

} // namespace mt
