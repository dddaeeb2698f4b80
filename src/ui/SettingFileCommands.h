#pragma once

#include <QObject>

class QAction;
class QMainWindow;

namespace mt {

struct AppContext;

// The file menu's commands on the whole bank (new, open, overwrite and save as), turned into
// the performance's document commands, and collecting the set with its samples; the window's
// caption and the overwrite item show the document, and the unsaved-changes window answers its
// discard question.
class SettingFileCommands final : public QObject {
    Q_OBJECT

public:
    SettingFileCommands(AppContext& app, QMainWindow& window);

    // The bare new command: also start-up's.
    void onNewTriggered();
    // Before the bank is replaced or the program ends: true when the command may go on.
    bool confirmDiscard();
    // Saves the set with copies of its samples under a name from the save dialog, showing the
    // progress; a failure is told. Meanwhile the file menu's other commands are disabled.
    void onCollectTriggered();

private:
    void showDocument();
    void enableCommands(bool enabled);

    AppContext& m_app;
    QMainWindow& m_window;
    QAction& m_overwriteSaveAction;
};

} // namespace mt
