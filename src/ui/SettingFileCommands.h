#pragma once

#include "core/BankLoader.h"
#include "files/SettingFile.h"

#include <QObject>
#include <QString>

#include <optional>

class QAction;
class QMainWindow;

namespace mt {

struct AppContext;

// The file menu's commands on the whole bank: new, open, overwrite and save as. A set is
// never half-written: every save goes to a temporary file renamed over the target, and a
// changed bank is not thrown away without asking.
class SettingFileCommands final : public QObject {
    Q_OBJECT

public:
    SettingFileCommands(AppContext& app, QMainWindow& window);

    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void overwriteSaveAction_Click();
    // The bare new command: also start-up's.
    void mnunew_Click();
    // The menu's "new": asks about unsaved changes first.
    void newFromMenu();

    // Each takes the file chosen in the dialog (dialogFileName). Save and overwrite return
    // false, with a message, when the file could not be written; load, when the file could not
    // be read or is damaged anywhere, and then nothing changes.
    bool SaveSettingFile();
    bool LoadSettingFile();
    bool OverwriteSettingFile();

    // Before the bank is replaced or the program ends: true when the command may go on.
    bool confirmDiscard();

    std::array<TrackSetting, 8> currentSettings() const;

    QString settingFileTitle = QStringLiteral("New");
    QString settingFilePath; // the full path behind settingFileTitle; "" when untitled
    bool settingUntitled = true;
    QString dialogFileName; // the file dialog's file name; persists between uses

private:
    // The save dialog, starting at `preselected`: the chosen name with ".mrw" added when it
    // has no suffix; nullopt when cancelled or when replacing an existing file was refused.
    std::optional<QString> askSaveName(const QString& preselected);
    static StoredTrack storedTrack(const TrackSetting& setting);
    void failedLoad(const QString& path);
    bool writeTo(const QString& path);
    void setCaption(const QString& caption);

    AppContext& m_app;
    QMainWindow& m_window;
    QAction& m_overwriteSaveAction;
};

} // namespace mt
