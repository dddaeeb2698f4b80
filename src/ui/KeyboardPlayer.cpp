#include "ui/KeyboardPlayer.h"
#include "ui/Colours.h"

#include "audio/DsCalls.h"
#include "core/AppContext.h"
#include "core/KeyMap.h"
#include "ui/CdPanel.h"
#include "ui/Form1.h"
#include "ui/MidiPanel.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"
#include "ui/X11Keyboard.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>

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
        if (MapPerformanceKey(key->key(), keypad).key == PerformanceKey::None) {
            return false;
        }
        if (!isRepeat(*key, keypad)) {
            if (type == QEvent::KeyPress) {
                Form_KeyDown(key->key(), keypad);
            } else {
                Form_KeyUp(key->key(), keypad);
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
    if (t == 0) {
        return;
    }
    const int i = t - 1;
    TrackBank& bank = m_app.bank;
    if (!bank.trackLoaded[i] || bank.trackKeyDown[i]) {
        return;
    }
    bank.trackKeyDown[i] = true;
    TrackPanel& tracks = m_main.tracks();
    const TrackFrame& f = tracks.frame(i);
    if (f.CheckDuuk->isChecked()) {
        if (f.CheckLoop->isChecked()) {
            tracks.PlayTrackLooping(i);
        } else {
            tracks.PlayTrack(i);
        }
    } else if (f.CheckLoop->isChecked()) {
        const bool wasPlaying = tracks.isPlaying(i);
        tracks.StopTrack(i);
        if (!wasPlaying) {
            tracks.PlayTrackLooping(i);
        }
    } else {
        tracks.StopTrack(i);
        tracks.PlayTrack(i);
    }
}

void KeyboardPlayer::Form_KeyUp(int qtKey, bool keypad) {
    const int t = KeyToTrackUp(qtKey, keypad);
    if (t == 0) {
        return;
    }
    const int i = t - 1;
    // Cleared or reassigned while held, the track still lets go of its key.
    m_app.bank.trackKeyDown[i] = false;
    if (m_app.bank.trackLoaded[i] && m_main.tracks().frame(i).CheckDuuk->isChecked()) {
        m_main.tracks().StopTrack(i);
    }
}

int KeyboardPlayer::KeyToTrackDown(int qtKey, bool keypad) {
    const MappedKey mapped = MapPerformanceKey(qtKey, keypad);
    TrackBank& bank = m_app.bank;
    TrackPanel& tracks = m_main.tracks();
    const int selected = bank.selectedTrack;
    switch (mapped.key) {
    case PerformanceKey::Track:
        return mapped.track;
    case PerformanceKey::MuteAll:
        if (!bank.allTracksMuted) {
            MuteAllTracks();
        }
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
        if (!bank.selectedTrackMuted && selected != -1 && bank.trackLoaded[selected]) {
            bank.mutedTrack = static_cast<std::int16_t>(selected);
            muteSelected(true);
        }
        break;
    case PerformanceKey::PanLeft:
    case PerformanceKey::PanCentre:
    case PerformanceKey::PanRight:
        if (selected != -1) {
            const int pan = mapped.key == PerformanceKey::PanLeft    ? -40
                            : mapped.key == PerformanceKey::PanRight ? 40
                                                                     : 0;
            tracks.frame(selected).HSPan->setValue(pan);
        }
        break;
    case PerformanceKey::LoneWolfMode:
        tracks.lblOrAliveOokamis_Click();
        break;
    case PerformanceKey::LoneWolfMember:
        if (selected != -1) {
            tracks.setLoneWolfMember(selected, !bank.trackLoneWolf[selected]);
        }
        break;
    case PerformanceKey::NextTrack:
        tracks.SelectNextLoadedTrack();
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
        if (bank.allTracksMuted) {
            UnmuteAllTracks();
        }
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
        // Ends the mute even when the track was cleared or reassigned under it.
        if (bank.selectedTrackMuted) {
            muteSelected(false);
        }
        break;
    default:
        break;
    }
    return 0;
}

void KeyboardPlayer::muteSelected(bool muted) {
    TrackBank& bank = m_app.bank;
    bank.selectedTrackMuted = muted;
    applyVolume(bank.mutedTrack);
    m_main.tracks().setTrackFrameColour(bank.mutedTrack, muted ? kBlue : QColor());
}

void KeyboardPlayer::MuteAllTracks() {
    m_app.bank.allTracksMuted = true;
    for (int i = 0; i < kTrackCount; ++i) {
        applyVolume(i);
    }
    paintWindows(true);
}

void KeyboardPlayer::UnmuteAllTracks() {
    // A track N still holds stays silent.
    m_app.bank.allTracksMuted = false;
    for (int i = 0; i < kTrackCount; ++i) {
        applyVolume(i);
    }
    paintWindows(false);
}

void KeyboardPlayer::applyVolume(int index) {
    const TrackBank& bank = m_app.bank;
    if (bank.trackLoaded[index]) {
        dsSetVolume(bank.trackBuffer[index],
                    bank.soundingVolume(index, m_main.tracks().frame(index).HSVol->value() * 100));
    }
}

void KeyboardPlayer::paintWindows(bool muted) {
    for (QWidget* window : {static_cast<QWidget*>(&m_main), m_playMode.data()}) {
        if (window != nullptr) {
            window->setAutoFillBackground(true);
            SetBackground(*window, muted ? kBlue : ButtonFace());
        }
    }
}

void KeyboardPlayer::releaseAll() {
    TrackBank& bank = m_app.bank;
    m_keysDown.clear();
    for (int i = 0; i < kTrackCount; ++i) {
        if (bank.trackKeyDown[i]) {
            bank.trackKeyDown[i] = false;
            if (bank.trackLoaded[i] && m_main.tracks().frame(i).CheckDuuk->isChecked()) {
                m_main.tracks().StopTrack(i);
            }
        }
    }
    if (bank.allTracksMuted) {
        UnmuteAllTracks();
    }
    if (bank.selectedTrackMuted) {
        KeyToTrackUp(Qt::Key_N, false);
    }
    if (m_app.cd.state.cdMuted) {
        KeyToTrackUp(Qt::Key_G, false);
    }
    if (m_app.midi.midiMuted) {
        KeyToTrackUp(Qt::Key_K, false);
    }
}

} // namespace mt
