#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>

class QKeyEvent;
class QWidget;

namespace mt {

struct AppContext;
class Form1;

// The performance keyboard. It sees every key pressed on the main window and the play-mode
// window before the focused control does (a focused button, bar, list or box never eats a
// performance key), maps it, and starts, stops or mutes. Auto-repeat is ignored on press and
// release alike, so a held key never retriggers and hold mode survives the release/press
// pairs X11 sends for a held key. When the window loses the focus every held key is let go,
// so no track is left sounding for a release that will never come. UI thread only.
class KeyboardPlayer final : public QObject {
    Q_OBJECT

public:
    explicit KeyboardPlayer(AppContext& app, Form1& main);

    // The play-mode window, whose keys go through the same mapping; null when closed.
    void setPlayModeWindow(QWidget* window) { m_playMode = window; }

    // Track number 1..8 or 0; performs the special keys' actions.
    int KeyToTrackDown(int qtKey, bool keypad);
    int KeyToTrackUp(int qtKey, bool keypad);
    void Form_KeyDown(int qtKey, bool keypad);
    void Form_KeyUp(int qtKey, bool keypad);
    void MuteAllTracks();
    void UnmuteAllTracks();
    // Every held key and mute let go, as if the keys had come up.
    void releaseAll();

    bool allTracksMuted = false;
    bool selectedTrackMuted = false;
    std::int16_t mutedTrack = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isOurWindow(const QWidget* window) const;
    void paintWindows(bool muted);
    void muteSelected(bool muted);

    AppContext& m_app;
    Form1& m_main;
    QPointer<QWidget> m_playMode;
};

} // namespace mt
