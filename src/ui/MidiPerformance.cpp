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

#include <cstdio>

namespace mt {
namespace {

constexpr int kPanicKey = Qt::Key_Escape; // where no performance key or menu shortcut is

} // namespace

MidiPerformance::MidiPerformance(AppContext& app, QObject* parent)
    : QObject(parent), m_app(app), m_control(app.bank, [this](int track, PadState state) {
          m_input.trackStateChanged(track, state);
      }) {}

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
    m_control.relightAll();
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
    // The count goes down on the UI thread, which holds the core then, so a borrower never
    // sees it fall while it decides.
    m_posted.fetch_add(1);
    QMetaObject::invokeMethod(
        this,
        [this, call = std::forward<F>(call)] {
            m_posted.fetch_sub(1);
            call();
        },
        Qt::QueuedConnection);
}

template <typename F> void MidiPerformance::run(F&& call) {
    if (m_posted.load() == 0 && m_app.coreAccess.tryBorrow()) {
        if (m_posted.load() == 0) {
            call();
            m_app.coreAccess.giveBack();
            return;
        }
        m_app.coreAccess.giveBack();
    }
    post(std::forward<F>(call));
}

void MidiPerformance::press(int track, int velocityGainCentiDb) {
    run([this, track, velocityGainCentiDb] { m_control.press(track, velocityGainCentiDb); });
}

void MidiPerformance::release(int track) {
    run([this, track] { m_control.release(track); });
}

void MidiPerformance::setVolume(int track, int volumeDb) {
    run([this, track, volumeDb] { m_control.setVolume(track, volumeDb); });
}

void MidiPerformance::setPan(int track, int pan) {
    run([this, track, pan] { m_control.setPan(track, pan); });
}

void MidiPerformance::setSpeed(int track, int speed) {
    run([this, track, speed] { m_control.setSpeed(track, speed); });
}

void MidiPerformance::moveVolume(int track, int deltaDb) {
    run([this, track, deltaDb] { m_control.moveVolume(track, deltaDb); });
}

void MidiPerformance::movePan(int track, int delta) {
    run([this, track, delta] { m_control.movePan(track, delta); });
}

void MidiPerformance::moveSpeed(int track, int delta) {
    run([this, track, delta] { m_control.moveSpeed(track, delta); });
}

void MidiPerformance::panic() {
    post([this] { panicNow(); });
}

void MidiPerformance::learned(const MidiAction& action, const MidiTrigger& trigger) {
    post([this, action, trigger] {
        saveSettings();
        m_control.relight(action.track);
        emit learnFinished(action, trigger);
    });
}

} // namespace mt
