#include "ui/MidiPerformance.h"

#include "core/AppContext.h"
#include "ui/CdPanel.h"
#include "ui/FileBrowser.h"
#include "ui/MainWindow.h"
#include "ui/MidiPanel.h"
#include "ui/PlayModeWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace mt {
namespace {

constexpr int kPanicKey = Qt::Key_Escape; // where no performance key or menu shortcut is

bool IsTrack(int track) {
    return track >= 0 && track < kTrackCount;
}

} // namespace

MidiPerformance::MidiPerformance(AppContext& app, QObject* parent) : QObject(parent), m_app(app) {
    m_lit.fill(-1);
    connect(&m_app.bank, &TrackBank::trackChanged, this,
            [this](int index) { lightPad(index, false); });
}

MidiPerformance::~MidiPerformance() {
    m_input.stop();
    if (m_main != nullptr) {
        qApp->removeEventFilter(this);
    }
}

bool MidiPerformance::start() {
    m_input.loadSettings(m_app.platform.settings, m_app.appName);
    if (!m_input.start()) {
        std::fprintf(stderr, "marrowtune: MIDI controllers unavailable: %s\n",
                     qPrintable(m_input.status()));
        return false;
    }
    for (int i = 0; i < kTrackCount; ++i) {
        lightPad(i, true);
    }
    return true;
}

void MidiPerformance::saveSettings() {
    m_input.saveSettings(m_app.platform.settings, m_app.appName);
}

void MidiPerformance::attachWindow(MainWindow& main) {
    m_main = &main;
    qApp->installEventFilter(this);
}

bool MidiPerformance::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_main != nullptr && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        const bool ours = window == m_main || window == m_main->playModeWindow();
        const bool keypad = key->modifiers().testFlag(Qt::KeypadModifier);
        const int code = m_app.keyPositions.usKeyFor(key->nativeScanCode(), key->key(), keypad);
        if (ours && code == kPanicKey && key->modifiers() == Qt::NoModifier) {
            if (!key->isAutoRepeat()) {
                panicNow();
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void MidiPerformance::panicNow() {
    m_app.panic();
}

template <typename F> void MidiPerformance::post(F&& call) {
    // Queued: runs when the UI thread next takes its events, and is dropped with this object.
    QMetaObject::invokeMethod(this, std::forward<F>(call), Qt::QueuedConnection);
}

void MidiPerformance::press(int track, int velocityGainCentiDb) {
    if (IsTrack(track)) {
        post([this, track, velocityGainCentiDb] { m_app.bank.press(track, velocityGainCentiDb); });
    }
}

void MidiPerformance::release(int track) {
    if (IsTrack(track)) {
        post([this, track] { m_app.bank.release(track); });
    }
}

void MidiPerformance::setVolume(int track, int volumeDb) {
    if (IsTrack(track)) {
        post(
            [this, track, volumeDb] { m_app.bank.setVolume(track, std::clamp(volumeDb, -70, 0)); });
    }
}

void MidiPerformance::setPan(int track, int pan) {
    if (IsTrack(track)) {
        post([this, track, pan] { m_app.bank.setPan(track, std::clamp(pan, -40, 40)); });
    }
}

void MidiPerformance::setSpeed(int track, int speed) {
    if (IsTrack(track)) {
        post([this, track, speed] { m_app.bank.setSpeed(track, std::clamp(speed, 5, 9000)); });
    }
}

void MidiPerformance::moveVolume(int track, int deltaDb) {
    if (IsTrack(track)) {
        post([this, track, deltaDb] {
            m_app.bank.setVolume(track,
                                 std::clamp(m_app.bank.track(track).volume + deltaDb, -70, 0));
        });
    }
}

void MidiPerformance::movePan(int track, int delta) {
    if (IsTrack(track)) {
        post([this, track, delta] {
            m_app.bank.setPan(track, std::clamp(m_app.bank.track(track).pan + delta, -40, 40));
        });
    }
}

void MidiPerformance::moveSpeed(int track, int delta) {
    if (IsTrack(track)) {
        post([this, track, delta] {
            m_app.bank.setSpeed(track, std::clamp(m_app.bank.track(track).speed + delta, 5, 9000));
        });
    }
}

void MidiPerformance::panic() {
    post([this] { panicNow(); });
}

void MidiPerformance::learned(const MidiAction& action, const MidiTrigger& trigger) {
    post([this, action, trigger] {
        saveSettings();
        lightPad(action.track, true);
        emit learnFinished(action, trigger);
    });
}

void MidiPerformance::lightPad(int track, bool always) {
    if (!IsTrack(track)) {
        return;
    }
    const Track& t = m_app.bank.track(track);
    const PadState state = !t.loaded     ? PadState::Empty
                           : t.keyHeld   ? PadState::Held
                           : t.playing() ? PadState::Playing
                                         : PadState::Loaded;
    const auto index = static_cast<std::size_t>(track);
    if (always || m_lit[index] != static_cast<int>(state)) {
        m_lit[index] = static_cast<int>(state);
        m_input.trackStateChanged(track, state);
    }
}

} // namespace mt
