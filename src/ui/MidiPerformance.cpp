#include "ui/MidiPerformance.h"

#include "app/AppContext.h"
#include "ui/CdPanel.h"
#include "ui/FileBrowser.h"
#include "ui/KeyboardPlayer.h"
#include "ui/MainWindow.h"
#include "ui/MidiPanel.h"
#include "ui/PlayModeWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QTimer>

#include <QWidget>
#include <chrono>

#include <cstdio>

namespace mt {
namespace {

constexpr int kPanicKey = Qt::Key_Escape; // where no performance key or menu shortcut is

} // namespace

MidiPerformance::MidiPerformance(AppContext& app, QObject* parent)
    : QObject(parent), m_app(app), m_control(app.bank, [this](int track, PadState state) {
          m_input.trackStateChanged(track, state);
      }) {
    connect(&m_wake, &ThreadWake::woken, this, &MidiPerformance::drain);
    m_input.attachClock(app.performance.clock(), app.trackSound);
    app.clockSender = m_input.clockSender(); // the sync window's buttons drive it
    app.performance.clock().attach(TempoSource::MidiClock, &m_input.clockIn());
}

MidiPerformance::~MidiPerformance() {
    if (m_app.clockSender == m_input.clockSender()) {
        m_app.clockSender = nullptr;
    }
    m_app.performance.clock().attach(TempoSource::MidiClock, nullptr);
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
    // Lost input is said beside the sound output's line, for a few seconds after each loss.
    QWidget* corner = main.menuBar()->cornerWidget(Qt::TopRightCorner);
    if (corner != nullptr && corner->layout() != nullptr) {
        m_droppedNotice = new QLabel(corner);
        m_droppedNotice->setObjectName(QStringLiteral("midiDroppedNotice"));
        m_droppedNotice->setStyleSheet(QStringLiteral("QLabel { color: rgb(192, 0, 0); }"));
        m_droppedNotice->hide();
        corner->layout()->addWidget(m_droppedNotice);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &MidiPerformance::showDropped);
        timer->start(kDroppedCheckMs);
    }
}

void MidiPerformance::showDropped() {
    const std::uint32_t dropped = m_input.dropped();
    if (dropped != m_droppedShown) {
        m_droppedShown = dropped;
        m_droppedNotice->setText(tr("MIDI: 途切れたSysExを捨てました（計 %1 件）").arg(dropped));
        m_droppedNotice->show();
        m_droppedFor = kDroppedShownMs / kDroppedCheckMs;
    } else if (m_droppedFor > 0 && --m_droppedFor == 0) {
        m_droppedNotice->hide();
    }
}

bool MidiPerformance::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_main != nullptr && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ours =
            KeyboardPlayer::routeOf(watched, *key) != KeyboardPlayer::KeyRoute::Control;
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

void MidiPerformance::run(const InputBacklog::Call& call) {
    // The backlog is taken only on the UI thread while it holds the core, so a borrower that
    // finds it empty runs nothing ahead of an older call.
    if (m_backlog.empty() && m_app.coreAccess.tryBorrow()) {
        if (m_backlog.empty()) {
            apply(call);
            m_app.coreAccess.giveBack();
            m_wake.wake(); // the windows hear of it on the UI thread
            return;
        }
        m_app.coreAccess.giveBack();
    }
    if (m_backlog.add(call)) {
        m_wake.wake(); // one at a time: only drain() empties the backlog
    }
}

void MidiPerformance::drain() {
    {
        const TrackBank::Batch batch(m_app.bank);
        for (const InputBacklog::Call& call : m_backlog.take()) {
            apply(call);
        }
    }
    std::optional<std::pair<MidiAction, MidiTrigger>> learned;
    {
        const std::lock_guard lock(m_learnedMutex);
        learned.swap(m_learned);
    }
    if (learned) {
        saveSettings();
        m_control.relight(learned->first.track);
        emit learnFinished(learned->first, learned->second);
    }
}

void MidiPerformance::apply(const InputBacklog::Call& call) {
    using Op = InputBacklog::Op;
    const int track = call.track;
    switch (call.op) {
    case Op::Press:
        m_control.press(track, call.value);
        m_lastPressApplied.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                                 std::memory_order_relaxed);
        m_pressesApplied.fetch_add(1, std::memory_order_release);
        break;
    case Op::Release:
        m_control.release(track);
        break;
    case Op::SetVolume:
        m_control.setVolume(track, call.value);
        break;
    case Op::SetPan:
        m_control.setPan(track, call.value);
        break;
    case Op::SetSpeed:
        m_control.setSpeed(track, call.value);
        break;
    case Op::MoveVolume:
        m_control.moveVolume(track, call.value);
        break;
    case Op::MovePan:
        m_control.movePan(track, call.value);
        break;
    case Op::MoveSpeed:
        m_control.moveSpeed(track, call.value);
        break;
    case Op::Panic:
        panicNow();
        break;
    }
}

namespace {

InputBacklog::Call CallOf(InputBacklog::Op op, int track, int value = 0) {
    // Tracks outside 0..7 are ignored further on; all of them are one track in the backlog.
    return {op, track >= 0 && track < kTrackCount ? track : -1, value};
}

} // namespace

void MidiPerformance::press(int track, int velocityGainCentiDb) {
    run(CallOf(InputBacklog::Op::Press, track, velocityGainCentiDb));
}

void MidiPerformance::release(int track) {
    run(CallOf(InputBacklog::Op::Release, track));
}

void MidiPerformance::setVolume(int track, int volumeDb) {
    run(CallOf(InputBacklog::Op::SetVolume, track, volumeDb));
}

void MidiPerformance::setPan(int track, int pan) {
    run(CallOf(InputBacklog::Op::SetPan, track, pan));
}

void MidiPerformance::setSpeed(int track, int speed) {
    run(CallOf(InputBacklog::Op::SetSpeed, track, speed));
}

void MidiPerformance::moveVolume(int track, int deltaDb) {
    run(CallOf(InputBacklog::Op::MoveVolume, track, deltaDb));
}

void MidiPerformance::movePan(int track, int delta) {
    run(CallOf(InputBacklog::Op::MovePan, track, delta));
}

void MidiPerformance::moveSpeed(int track, int delta) {
    run(CallOf(InputBacklog::Op::MoveSpeed, track, delta));
}

void MidiPerformance::panic() {
    // Never run on the MIDI thread: the CD and the MIDI song are the UI thread's.
    if (m_backlog.add(CallOf(InputBacklog::Op::Panic, 0))) {
        m_wake.wake();
    }
}

void MidiPerformance::learned(const MidiAction& action, const MidiTrigger& trigger) {
    {
        const std::lock_guard lock(m_learnedMutex);
        m_learned = std::make_pair(action, trigger);
    }
    m_wake.wake();
}

} // namespace mt
