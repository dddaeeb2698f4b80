#include "ui/KeyboardPlayer.h"
#include "ui/Colours.h"

#include "core/AppContext.h"
#include "core/KeyMap.h"
#include "ui/CdPanel.h"
#include "ui/Form1.h"
#include "ui/MidiPanel.h"
#include "ui/X11Keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace mt {
namespace {

using namespace colours;

} // namespace

KeyboardPlayer::KeyboardPlayer(AppContext& app, Form1& main)
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
        if (MapPerformanceKey(code, keypad).key == PerformanceKey::None) {
            return false;
        }
        if (!isRepeat(*key, keypad)) {
            if (type == QEvent::KeyPress) {
                Form_KeyDown(code, keypad);
            } else {
                Form_KeyUp(code, keypad);
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

void KeyboardPlayer::Form_KeyDown(int qtKey, bool keypad) {
    const int t = KeyToTrackDown(qtKey, keypad);
    if (t != 0) {
        m_app.bank.press(t - 1);
    }
}

void KeyboardPlayer::Form_KeyUp(int qtKey, bool keypad) {
    const int t = KeyToTrackUp(qtKey, keypad);
    if (t != 0) {
        m_app.bank.release(t - 1);
    }
}

int KeyboardPlayer::KeyToTrackDown(int qtKey, bool keypad) {
    const MappedKey mapped = MapPerformanceKey(qtKey, keypad);
    TrackBank& bank = m_app.bank;
    switch (mapped.key) {
    case PerformanceKey::Track:
        return mapped.track;
    case PerformanceKey::MuteAll:
        bank.muteAll();
        break;
    case PerformanceKey::MuteCd:
        // With no CD device there is nothing to mute, and no box may interrupt a show.
        if (m_app.cd.state.cdOpened && !m_app.cd.state.cdMuted && m_app.cd.mci.MuteCD()) {
            m_app.cd.state.cdMuted = true;
            SetBackground(m_main.cdPanel(), kBlue);
        }
        break;
    case PerformanceKey::PauseCd: {
        CdPanel& cd = m_main.cdPanel();
        const QString& state = m_app.cd.state.cdPlayState;
        if (cd.ComCDPause->isEnabled() && state == QLatin1String("PLAYING")) {
            cd.ComCDPause_Click();
        } else if (cd.ComCDStart->isEnabled() && state == QLatin1String("PAUSING")) {
            cd.ComCDStart_Click();
        }
        break;
    }
    case PerformanceKey::MuteMidi:
        if (m_app.midi.midiOpened && m_app.midi.midiState == QLatin1String("Playing") &&
            !m_app.midi.midiMuted) {
            m_app.midi.MidiMute();
            m_app.midi.midiMuted = true;
            SetBackground(m_main.midiPanel(), kBlue);
        }
        break;
    case PerformanceKey::MuteSelected:
        bank.muteSelected();
        break;
    case PerformanceKey::PanLeft:
        bank.panSelected(-40);
        break;
    case PerformanceKey::PanCentre:
        bank.panSelected(0);
        break;
    case PerformanceKey::PanRight:
        bank.panSelected(40);
        break;
    case PerformanceKey::LoneWolfMode:
        bank.toggleLoneWolfMode();
        break;
    case PerformanceKey::LoneWolfMember:
        bank.toggleSelectedLoneWolf();
        break;
    case PerformanceKey::NextTrack:
        bank.selectNextLoaded();
        break;
    case PerformanceKey::None:
        break;
    }
    return 0;
}

int KeyboardPlayer::KeyToTrackUp(int qtKey, bool keypad) {
    const MappedKey mapped = MapPerformanceKey(qtKey, keypad);
    TrackBank& bank = m_app.bank;
    switch (mapped.key) {
    case PerformanceKey::Track:
        return mapped.track;
    case PerformanceKey::MuteAll:
        bank.unmuteAll();
        break;
    case PerformanceKey::MuteCd:
        if (m_app.cd.state.cdOpened && m_app.cd.mci.ReMuteCD()) {
            m_app.cd.state.cdMuted = false;
            SetBackground(m_main.cdPanel(), ButtonFace());
        }
        break;
    case PerformanceKey::MuteMidi:
        // The mute is the synth's, not the song's: a release always ends it, even when the
        // song ended (or was stopped) while K was held, or every later song would be silent.
        if (m_app.midi.midiMuted) {
            m_app.midi.MidiUnmute();
            m_app.midi.midiMuted = false;
            SetBackground(m_main.midiPanel(), ButtonFace());
        }
        break;
    case PerformanceKey::MuteSelected:
        bank.unmuteSelected();
        break;
    default:
        break;
    }
    return 0;
}

void KeyboardPlayer::releaseAll() {
    m_keysDown.clear();
    m_app.bank.releaseAll();
    if (m_app.cd.state.cdMuted) {
        KeyToTrackUp(Qt::Key_G, false);
    }
    if (m_app.midi.midiMuted) {
        KeyToTrackUp(Qt::Key_K, false);
    }
}

} // namespace mt
