#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace mt {

struct AppContext;
class CdPanel;
class ClickableLabel;
class AppShell;
class AudioStatusLine;
class ExternalPrograms;
class FileBrowser;
class PlayModeWindow;
class SoundQualityWindow;
class SyncWindow;
class OutputWindow;
class BpmCounterWindow;
class KeyboardPlayer;
class LevelMeter;
class MidiPanel;
class MixPanel;
class SettingFileCommands;
class TrackPanel;

// The main window: the track bank, the file browser and the media panels under one menu bar.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppContext& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The menu item with this object name ("mnunew", "mnuCD", "mnuOokami" ...), or null.
    QAction* menuItem(const QString& name) const;

    QMenu* fileListPopup() const { return m_fileListPopup; }
    QMenu* trackPopup() const { return m_trackPopup; }
    FileBrowser& browser() const { return *m_browser; }
    TrackPanel& tracks() const { return *m_tracks; }
    MixPanel& mix() const { return *m_mix; }
    CdPanel& cdPanel() const { return *m_cdPanel; }

    // Shows or hides the media panel (the CD and the MIDI panel together): the window's
    // height and mediaPanelAction's tick; showing also opens the devices.
    void onMediaPanelTriggered();
    // The window's height in pixels with the media panel shown and hidden.
    int mediaPanelOpenHeight = 0;
    int mediaPanelClosedHeight = 0;
    // Run on every showing of the media panel after the CD's part: the MIDI panel's part.
    std::vector<std::function<void()>> mediaPanelShown;
    MidiPanel& midiPanel() const { return *m_midiPanel; }
    SettingFileCommands& settingFiles() const { return *m_files; }
    KeyboardPlayer& keyboard() const { return *m_keyboard; }
    AppShell& shell() const { return *m_shell; }
    ExternalPrograms& external() const { return *m_external; }

    // Start-up: settings, folder, layout, sound device, an empty bank. Once, before showing.
    void onLoad();

    // Sizes the browser's grouping panel to its controls after they moved.
    void fitBrowser();

    int mainWindowWidth = 0; // pixels

    QPushButton* editButton = nullptr;          // hands the selected track to the waveform editor
    QPushButton* volumeControlButton = nullptr; // starts the volume control

    // Says in the menu bar, for as long as it is so, that there is no sound device and the
    // tracks play nothing; hidden while a device is open. Run after each opening of the device.
    void showSoundDevice(bool available);
    QLabel* noSoundDeviceLabel = nullptr;
    // The session manager's name for this program's session, left of the output's state;
    // hidden unless a session manager runs the program.
    QLabel* sessionLabel = nullptr;
    // Asked first when the window is to close: true when something else was done instead
    // (under a session manager the window hides) and the window stays. None: it closes.
    std::function<bool()> closeInstead;

    // The whole output's level, beside the lone-wolf mode label; placed after it wherever a
    // layout puts the label, short of the button to its right. The beat label goes before it.
    LevelMeter* masterMeter = nullptr;

    // Opens the sound-quality window (not modal) and returns it; while it is open, brings
    // that one to the front instead of opening another.
    SoundQualityWindow* onSoundQualityTriggered();

    // Opens the output window (not modal), or raises the one already open, and returns it.
    OutputWindow* onOutputTriggered();
    AudioStatusLine& audioStatus() const { return *m_audioStatus; }

    // Opens the sync window (not modal), or raises the one already open, and returns it.
    SyncWindow* onSyncTriggered();
    // The beat clock's tempo and beat within the bar, at display rate, left of the lone-wolf
    // mode label on the row of the bank's state; a click opens the sync window.
    ClickableLabel* beatLabel = nullptr;

    // Opens the play-mode window in place of this one; null when it is not open.
    void onPlayModeTriggered();
    PlayModeWindow* playModeWindow() const;

    // Opens the BPM counter (the CD panel's counter button does the same); it stays loaded
    // when hidden by "OK" and is unloaded by cancel. The window, or null when not loaded.
    void onCounterTriggered();
    BpmCounterWindow* counterWindow() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Quitting asks about an unsaved bank first; cancel keeps the program running.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void placeBesideLoneWolfLabel();
    void wireMenus();
    QAction* addItem(QMenu* menu, const QString& caption, const char* name);

    AppContext& m_app;
    QMenu* m_fileListPopup = nullptr;
    QMenu* m_trackPopup = nullptr;
    FileBrowser* m_browser = nullptr;
    TrackPanel* m_tracks = nullptr;
    MixPanel* m_mix = nullptr;
    CdPanel* m_cdPanel = nullptr;
    MidiPanel* m_midiPanel = nullptr;
    SettingFileCommands* m_files = nullptr;
    KeyboardPlayer* m_keyboard = nullptr;
    AppShell* m_shell = nullptr;
    ExternalPrograms* m_external = nullptr;
    AudioStatusLine* m_audioStatus = nullptr;
    QPointer<OutputWindow> m_output;
    QPointer<PlayModeWindow> m_playMode;
    QPointer<BpmCounterWindow> m_counter;
    QPointer<SoundQualityWindow> m_quality;
    QPointer<SyncWindow> m_sync;
};

} // namespace mt
