#pragma once

#include <QObject>

namespace mt {

struct AppContext;
class MainWindow;

// Handing work to other programs: the selected track's file to the waveform editor (the
// sound device is given up while it runs, every track reloaded when the performer comes
// back), the desktop's volume control, the sound-collecting web page; and the preference and
// about windows that go with them. UI thread only.
class ExternalPrograms final : public QObject {
    Q_OBJECT

public:
    ExternalPrograms(AppContext& app, MainWindow& window);

    void ComEdit_Click();
    void mnuVolumeControl_Click();
    void mnuPreference_Click();
    void mnuOtherSetting_Click();
    void collectSoundsAction_Click();
    void mnuhelpver_Click();

    // Opens the sound device again and reloads every loaded track; a track whose file can no
    // longer be read becomes empty. The CD and the MIDI song come back paused.
    void restartSound();

private:
    AppContext& m_app;
    MainWindow& m_window;
};

inline constexpr const char* kSoundCollectingPage = "https://freesound.org/";

} // namespace mt
