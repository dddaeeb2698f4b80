#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>

namespace mt {

// The X server's side of the keyboard. X11 sends a held key's auto-repeat as release/press
// pairs, and Qt marks a pair as a repeat only when both halves are already in its queue: a
// repeat release that arrives alone looks exactly like the key coming up, which stops a
// hold-mode track mid-hold. Built while the application runs on X11, this asks the server for
// XKB's detectable auto-repeat: a held key then repeats as presses only, with no release until
// it really comes up. Qt leaves those presses unmarked, so this object, installed on the
// application, marks them as auto-repeat again before any window sees them: every widget keeps
// telling a held key from a new press by QKeyEvent::isAutoRepeat. Elsewhere (Wayland, which
// marks its repeats, or offscreen) it does nothing. UI thread only.
class X11Keyboard final : public QObject {
    Q_OBJECT

public:
    explicit X11Keyboard(QObject* parent);

    // The server agreed to send no repeat releases.
    bool detectableRepeat() const { return m_detectable; }

    // Whether the key with this X keycode (QKeyEvent::nativeScanCode) is down at the server
    // now; one round trip. False off X11.
    static bool isKeyDown(std::uint32_t keycode);
    // What the server's layout puts on the key with this X keycode: the character it types,
    // as upper case, or the name of its key symbol ("Escape", "Control_L", "F3"); one round
    // trip. Empty off X11 or for a key with nothing on it.
    static QString keyName(std::uint32_t keycode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_detectable = false;
    QSet<std::uint32_t> m_keysDown; // X keycodes pressed in the window with the focus
};

} // namespace mt
