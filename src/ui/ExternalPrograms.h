#pragma once

#include "core/EditorRoundTrip.h"

#include <QObject>

namespace mt {

struct AppContext;
class MainWindow;

// Handing work to other programs: the selected track's file to the waveform editor (its
// the performance's EditorRoundTrip; this is the stage it plays on: the devices and the wait
// window), the desktop's volume control, the sound-collecting web page; and the preference and
// about windows that go with them. UI thread only.
class ExternalPrograms final : public QObject, private EditorRoundTrip::Stage {
    Q_OBJECT

public:
    ExternalPrograms(AppContext& app, MainWindow& window);

    void onEditClicked();
    void onVolumeControlTriggered();
    void onPreferenceTriggered();
    void onOtherSettingsTriggered();
    void onCollectSoundsTriggered();
    void onAboutTriggered();

private:
    void pausePlayers() override;
    void closeSound() override;
    bool openSound() override;
    void soundReloaded() override;
    bool waitForEditor() override;
    bool confirmEnd() override;
    void endProgram() override;

    AppContext& m_app;
    MainWindow& m_window;
};

inline constexpr const char* kSoundCollectingPage = "https://freesound.org/";

} // namespace mt
