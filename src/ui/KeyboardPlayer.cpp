#include "ui/KeyboardPlayer.h"

#include "core/AppContext.h"
#include "core/KeyMap.h"
#include "ui/MainWindow.h"
#include "ui/X11Keyboard.h"

#include <QApplication>
#include <QKeyEvent>

namespace mt {

KeyboardPlayer::KeyboardPlayer(AppContext& app, MainWindow& main)
    : QObject(&main), m_app(app), m_main(main), m_x11(new X11Keyboard(this)) {
    qApp->installEventFilter(this);
}

bool KeyboardPlayer::isOurWindow(const QWidget* window) const {
    return window == &m_main || (m_playMode != nullptr && window == m_playMode.data());
}

bool KeyboardPlayer::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || !isOurWindow(widget->window())) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool keypad = key->modifiers().testFlag(Qt::KeypadModifier);
        const int code = m_app.keyPositions.usKeyFor(key->nativeScanCode(), key->key(), keypad);
        const MappedKey mapped = MapPerformanceKey(code, keypad);
        if (mapped.key == PerformanceKey::None) {
            return false;
        }
        if (!isRepeat(*key, keypad)) {
            if (type == QEvent::KeyPress) {
                m_app.keys.press(mapped);
            } else {
                m_app.keys.release(mapped);
            }
        }
        return true; // a performance key is never also typed into a control
    }
    if (type == QEvent::WindowDeactivate && watched->isWidgetType() &&
        isOurWindow(static_cast<QWidget*>(watched))) {
        releaseAll();
    }
    return false;
}

bool KeyboardPlayer::isRepeat(const QKeyEvent& key, bool keypad) {
    if (key.isAutoRepeat()) {
        return true;
    }
    const std::uint32_t scanCode = key.nativeScanCode();
    const std::uint32_t id =
        scanCode != 0 ? scanCode
                      : (static_cast<std::uint32_t>(key.key()) | (keypad ? 0x80000000u : 0u));
    if (key.type() == QEvent::KeyPress) {
        if (m_keysDown.contains(id)) {
            return true;
        }
        m_keysDown.insert(id);
        return false;
    }
    // Without detectable auto-repeat a repeat release can arrive on its own, unmarked; the
    // server still holds the key down then.
    if (!m_x11->detectableRepeat() && scanCode != 0 && X11Keyboard::isKeyDown(scanCode)) {
        return true;
    }
    m_keysDown.remove(id);
    return false;
}

void KeyboardPlayer::releaseAll() {
    m_keysDown.clear();
    m_app.keys.releaseAll();
}

} // namespace mt
