#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

#include <cstdint>

class QKeyEvent;
class QWidget;

namespace mt {

class KeyPositions;
class MainWindow;
class PerformanceKeys;
class X11Keyboard;

// The performance keyboard. It sees every key pressed on the main window and the play-mode
// window before the focused control does (a focused button, bar, list or box never eats a
// performance key), maps it, and starts, stops or mutes. Auto-repeat is ignored on press and
// release alike, so a held key never retriggers and hold mode lasts exactly as long as the
// key is held: under X11 the server is asked not to send repeat releases at all, and a press
// of a key that is already down is a repeat whether or not it is marked as one. A release
// always ends what its press began, even when the track was cleared or reassigned meanwhile.
// When the window loses the focus every held key is let go, so no track is left sounding for
// a release that will never come. UI thread only.
class KeyboardPlayer final : public QObject {
    Q_OBJECT

public:
    // Keys are found by `positions` and played through `keys`.
    KeyboardPlayer(const KeyPositions& positions, PerformanceKeys& keys, MainWindow& main);

    // The play-mode window, whose keys go through the same mapping; null when closed.
    void setPlayModeWindow(QWidget* window);

    // Every held key and mute let go, as if the keys had come up.
    void releaseAll();

    // Who a key event sent to `watched` is for. The main and the play-mode window play every
    // performance key whatever has the focus. Every other window of ours plays too (a
    // performer learns a knob mid-set), but a message box or a file dialog; there a focused
    // text field keeps its letters and modifiers, a number box its digits;
    // a widget that grabbed
    // the keyboard to take the next key (choosing a key) keeps every key; a window with the
    // property kOwnKeys set plays keys of its own (the tap counter), Escape's panic aside.
    enum class KeyRoute { Control, PanicOnly, Performance };
    static constexpr const char* kOwnKeys = "marrowtuneOwnKeys";
    static constexpr const char* kPerformanceWindow = "marrowtunePerformanceWindow";
    static KeyRoute routeOf(const QObject* watched, const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the event is the held key's auto-repeat rather than a press or a release.
    bool isRepeat(const QKeyEvent& key, bool keypad);

    const KeyPositions& m_positions;
    PerformanceKeys& m_keys;
    QPointer<QWidget> m_playMode;
    // The keys down now, by X keycode, or by Qt key and keypad where there is none.
    QSet<std::uint32_t> m_keysDown;
    // Under X11 the server sends no repeat releases; when it would not agree, a release is
    // checked against the server's key state instead.
    X11Keyboard* m_x11;
};

} // namespace mt
