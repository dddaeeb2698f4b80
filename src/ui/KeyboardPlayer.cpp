#include "ui/KeyboardPlayer.h"

#include "core/KeyMap.h"
#include "core/KeyPositions.h"
#include "core/PerformanceKeys.h"
#include "ui/MainWindow.h"
#include "ui/X11Keyboard.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace mt {

KeyboardPlayer::KeyboardPlayer(const KeyPositions& positions, PerformanceKeys& keys,
                               MainWindow& main)
    : QObject(&main), m_positions(positions), m_keys(keys), m_x11(new X11Keyboard(this)) {
    main.setProperty(kPerformanceWindow, true);
    qApp->installEventFilter(this);
}

void KeyboardPlayer::setPlayModeWindow(QWidget* window) {
    m_playMode = window;
    if (window != nullptr) {
        window->setProperty(kPerformanceWindow, true);
    }
}

KeyboardPlayer::KeyRoute KeyboardPlayer::routeOf(const QObject* watched, const QKeyEvent& key) {
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr) {
        return KeyRoute::Control;
    }
    const QWidget* window = widget->window();
    if (QWidget::keyboardGrabber() != nullptr || window->windowType() == Qt::Popup ||
        qobject_cast<const QMessageBox*>(window) || qobject_cast<const QFileDialog*>(window) ||
        qobject_cast<const QInputDialog*>(window)) {
        return KeyRoute::Control;
    }
    if (window->property(kPerformanceWindow).toBool()) {
        return KeyRoute::Performance; // no control of theirs ever eats a performance key
    }
    // A key the focused field passed on to its window is still the field's.
    const QWidget* focus = window->focusWidget() != nullptr ? window->focusWidget() : widget;
    const auto* combo = qobject_cast<const QComboBox*>(focus);
    const QString text = key.text();
    const bool number = key.modifiers().testFlag(Qt::KeypadModifier) ||
                        (text.size() == 1 && QStringLiteral("0123456789+-.,").contains(text[0]));
    const bool typing = qobject_cast<const QLineEdit*>(focus) ||
                        (qobject_cast<const QAbstractSpinBox*>(focus) && number) ||
                        qobject_cast<const QTextEdit*>(focus) ||
                        qobject_cast<const QPlainTextEdit*>(focus) ||
                        (combo != nullptr && combo->isEditable());
    return typing || window->property(kOwnKeys).toBool() ? KeyRoute::PanicOnly
                                                         : KeyRoute::Performance;
}

bool KeyboardPlayer::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (routeOf(watched, *key) != KeyRoute::Performance) {
            return false;
        }
        const bool keypad = key->modifiers().testFlag(Qt::KeypadModifier);
        const int code = m_positions.usKeyFor(key->nativeScanCode(), key->key(), keypad);
        const MappedKey mapped = MapPerformanceKey(code, keypad);
        if (mapped.key == PerformanceKey::None) {
            return false;
        }
        if (!isRepeat(*key, keypad)) {
            if (type == QEvent::KeyPress) {
                m_keys.press(mapped);
            } else {
                m_keys.release(mapped);
            }
        }
        return true; // a performance key is never also typed into a control
    }
    if (type == QEvent::WindowDeactivate && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
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
    m_keys.releaseAll();
}

} // namespace mt
