#include "ui/OscControl.h"

#include "app/AppContext.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <thread>

namespace mt {
namespace {

using Op = OscCall::Op;

static_assert(OscDispatch::kTrackCount == kTrackCount);
static_assert(OscDispatch::kQuantiseWords.size() == kQuantiseCount);
static_assert(OscDispatch::kClockSourceWords.size() ==
              static_cast<std::size_t>(TempoSource::JackTransport) + 1);
static_assert(OscDispatch::kMinBpm == BeatClock::kMinBpm &&
              OscDispatch::kMaxBpm == BeatClock::kMaxBpm);

const char* StateWord(const Track& track) {
    if (track.loading()) {
        return "loading";
    }
    if (!track.loaded) {
        return "empty";
    }
    if (track.armed()) {
        return "armed";
    }
    return track.playing() ? "playing" : "stopped";
}

QByteArray TrackPath(int index, const char* field) {
    return QByteArrayLiteral("/marrowtune/track/") + QByteArray::number(index + 1) + '/' + field;
}

} // namespace

OscControl::OscControl(AppContext& app, std::chrono::milliseconds lease, QObject* parent)
    : QObject(parent), m_app(app), m_settings(app.osc), m_subscribers(lease),
      m_server([this](const void* data, std::size_t size, const OscPeer& from) {
          m_dispatch.packet(data, size, from);
      }) {
    m_status = tr("停止中");
    connect(&m_wake, &ThreadWake::woken, this, &OscControl::drain);
    connect(&app.bank, &TrackBank::trackChanged, this, [this](int index) {
        if (!m_subscribers.empty()) {
            sendTrack(index);
        }
    });
    connect(&app.bank, &TrackBank::bankStateChanged, this, [this] {
        if (!m_subscribers.empty()) {
            sendBank();
        }
    });
    connect(&app.performance.clock(), &BeatClock::changed, this, [this] {
        if (!m_subscribers.empty()) {
            sendBank();
        }
    });
    m_levelTimer.setInterval(kLevelIntervalMs);
    connect(&m_levelTimer, &QTimer::timeout, this, &OscControl::sendLevels);
    m_leaseTimer.setInterval(static_cast<int>(std::min<long long>(1000, lease.count() / 4 + 1)));
    connect(&m_leaseTimer, &QTimer::timeout, this, [this] {
        m_subscribers.expire(OscSubscribers::Clock::now());
        reconsiderTimers();
    });
}

OscControl::~OscControl() {
    m_server.stop();
}

void OscControl::apply(const Settings& settings) {
    const bool restart = !(settings == m_settings) || settings.enabled != listening();
    m_settings = settings;
    if (!restart) {
        return;
    }
    m_server.stop();
    m_subscribers.removeAll();
    reconsiderTimers();
    int error = 0;
    const QString host =
        settings.allInterfaces ? QStringLiteral("0.0.0.0") : QStringLiteral("127.0.0.1");
    if (!settings.enabled) {
        m_status = tr("停止中");
    } else if (m_server.start(settings.port, settings.allInterfaces, error)) {
        m_status = tr("%1:%2 で受信中").arg(host).arg(m_server.port());
    } else if (error == EADDRINUSE) {
        m_status =
            tr("受信できません：ポート %1 は他のプログラムが使っています").arg(settings.port);
    } else {
        m_status = tr("受信できません：%1:%2（%3）")
                       .arg(host)
                       .arg(settings.port)
                       .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
    std::fprintf(stderr, "marrowtune: OSC: %s\n", qPrintable(m_status));
    emit statusChanged();
}

// --- The server's thread -------------------------------------------------------------------

void OscControl::call(const OscCall& call) {
    using BacklogOp = InputBacklog::Op;
    switch (call.op) {
    case Op::Press:
        m_pressesReceived.fetch_add(1, std::memory_order_relaxed);
        run({BacklogOp::Press, call.track, 0});
        break;
    case Op::Release:
        run({BacklogOp::Release, call.track, 0});
        break;
    case Op::Volume:
        run({BacklogOp::SetVolume, call.track, call.value});
        break;
    case Op::Pan:
        run({BacklogOp::SetPan, call.track, call.value});
        break;
    case Op::Speed:
        run({BacklogOp::SetSpeed, call.track, call.value});
        break;
    case Op::Play:
    case Op::Stop:
    case Op::Toggle:
        // Not kept by the backlog: borrowed when it is empty, else posted behind it.
        if (borrow()) {
            if (m_backlog.empty()) {
                applyTrackCall(call);
                m_app.coreAccess.giveBack();
                m_wake.wake();
                return;
            }
            m_app.coreAccess.giveBack();
        }
        post(call);
        break;
    case Op::Ping:
        m_server.send(call.from, OscMessage().bytes("/marrowtune/pong"));
        break;
    default:
        post(call);
        break;
    }
}

void OscControl::run(const InputBacklog::Call& call) {
    // As MidiPerformance::run: the backlog is taken only on the UI thread while it holds the
    // core, so a borrower that finds it empty runs nothing ahead of an older call.
    if (borrow()) {
        if (m_backlog.empty()) {
            applyBacklogCall(call);
            m_app.coreAccess.giveBack();
            m_wake.wake(); // the windows and the subscribers hear of it on the UI thread
            return;
        }
        m_app.coreAccess.giveBack();
    }
    if (m_backlog.add(call)) {
        m_wake.wake();
    }
}

bool OscControl::borrow() {
    // The UI thread keeps the core between its events, mostly for some microseconds, and lends
    // it while it paints; this thread has nothing else to do, so it asks again for a moment
    // rather than leave the call to a UI thread that may be about to paint for milliseconds.
    for (int tries = 0;; ++tries) {
        if (!m_backlog.empty()) {
            return false; // an older call waits: this one goes behind it
        }
        if (m_app.coreAccess.tryBorrow()) {
            return true;
        }
        if (tries == kBorrowTries) {
            return false;
        }
        std::this_thread::sleep_for(kBorrowRetry);
    }
}

void OscControl::post(const OscCall& call) {
    if (m_posted.fetch_add(1) >= kMaxPosted) {
        m_posted.fetch_sub(1);
        m_dispatch.reject(OscDispatch::Rejection::Busy, "the program has not caught up");
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, call] {
            m_posted.fetch_sub(1);
            applyOnUi(call);
        },
        Qt::QueuedConnection);
}

// --- The core holder's thread ------------------------------------------------------------

void OscControl::applyBacklogCall(const InputBacklog::Call& call) {
    using BacklogOp = InputBacklog::Op;
    TrackBank& bank = m_app.bank;
    switch (call.op) {
    case BacklogOp::Press:
        bank.press(call.track);
        m_lastPressApplied.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                                 std::memory_order_relaxed);
        m_pressesApplied.fetch_add(1, std::memory_order_release);
        break;
    case BacklogOp::Release:
        bank.release(call.track);
        break;
    case BacklogOp::SetVolume:
        bank.setVolume(call.track, call.value);
        break;
    case BacklogOp::SetPan:
        bank.setPan(call.track, call.value);
        break;
    case BacklogOp::SetSpeed:
        bank.setSpeed(call.track, call.value);
        break;
    default:
        break; // no OSC message makes the others
    }
}

void OscControl::applyTrackCall(const OscCall& call) {
    TrackBank& bank = m_app.bank;
    const int i = call.track;
    if (!bank.track(i).loaded) {
        return; // nothing to sound yet, as the track's PLAY/STOP button
    }
    if (call.op == Op::Toggle) {
        bank.toggle(i);
    } else if (call.op == Op::Stop) {
        bank.stop(i);
    } else if (bank.track(i).loop) {
        bank.playLooping(i);
    } else {
        bank.play(i);
    }
}

// --- The UI thread ---------------------------------------------------------------------------

void OscControl::drain() {
    const TrackBank::Batch batch(m_app.bank);
    for (const InputBacklog::Call& call : m_backlog.take()) {
        applyBacklogCall(call);
    }
}

void OscControl::applyOnUi(const OscCall& call) {
    TrackBank& bank = m_app.bank;
    Performance& performance = m_app.performance;
    const int i = call.track;
    const bool on = call.value != 0;
    switch (call.op) {
    case Op::Play:
    case Op::Stop:
    case Op::Toggle: {
        const TrackBank::Batch batch(bank);
        applyTrackCall(call);
        break;
    }
    case Op::Loop:
        bank.setLoop(i, on);
        break;
    case Op::Hold:
        bank.setHold(i, on);
        break;
    case Op::Quantise:
        bank.setQuantise(i, static_cast<Quantise>(call.value));
        break;
    case Op::KeepPitch:
        bank.setStretch(i, on ? Stretch::KeepPitch : Stretch::Tape);
        break;
    case Op::Pitch:
        bank.setPitch(i, call.value);
        break;
    case Op::Choke:
        bank.setChokeGroup(i, call.value);
        break;
    case Op::Panic:
        m_app.panic();
        break;
    case Op::Mute:
        on ? bank.muteAll() : bank.unmuteAll();
        break;
    case Op::LoneWolf:
        if (bank.loneWolfMode() != on) {
            bank.toggleLoneWolfMode();
        }
        break;
    case Op::Tempo:
        performance.clock().setTypedBpm(call.number);
        break;
    case Op::ClockSource:
        performance.chooseTempoSource(static_cast<TempoSource>(call.value));
        break;
    case Op::Open:
        // No one can be asked whether to throw a changed bank away: it is kept.
        if (bank.changed()) {
            reply(call.from, "/marrowtune/set/open",
                  QStringLiteral("the set has unsaved changes; save it first"));
        } else if (performance.open(QString::fromStdString(call.text))) {
            reply(call.from, "/marrowtune/set/open");
        } else {
            reply(call.from, "/marrowtune/set/open", QStringLiteral("the file cannot be opened"));
        }
        break;
    case Op::Save:
        if (!performance.canOverwrite()) {
            reply(call.from, "/marrowtune/set/save",
                  QStringLiteral("the set has no file to overwrite; give a path"));
            break;
        }
        performance.overwrite();
        reply(call.from, "/marrowtune/set/save",
              bank.changed() ? QStringLiteral("the set could not be written") : QString());
        break;
    case Op::SaveAs:
        reply(call.from, "/marrowtune/set/save",
              performance.saveAs(QString::fromStdString(call.text))
                  ? QString()
                  : QStringLiteral("the set could not be written"));
        break;
    case Op::Subscribe:
        subscribe(call);
        break;
    case Op::Unsubscribe:
        m_subscribers.remove(call.from);
        reconsiderTimers();
        break;
    default:
        break;
    }
}

void OscControl::reply(const OscPeer& to, const char* request, const QString& error) {
    if (error.isEmpty()) {
        m_server.send(to, OscMessage().add(request).bytes("/marrowtune/reply"));
    } else {
        m_server.send(
            to,
            OscMessage().add(request).add(error.toUtf8().constData()).bytes("/marrowtune/error"));
    }
}

void OscControl::subscribe(const OscCall& call) {
    switch (m_subscribers.add(call.from, call.value != 0, OscSubscribers::Clock::now())) {
    case OscSubscribers::Added::New:
        if (m_subscribers.size() == 1) {
            // Nothing was sent while no one listened: what is sent from now on starts here.
            for (int i = 0; i < kTrackCount; ++i) {
                m_shown[static_cast<std::size_t>(i)] = shownOf(i);
            }
            m_bankShown = bankShownOf();
        }
        for (int i = 0; i < kTrackCount; ++i) {
            sendTrack(i, &call.from);
        }
        sendBank(&call.from);
        break;
    case OscSubscribers::Added::Renewed:
        break;
    case OscSubscribers::Added::Full:
    case OscSubscribers::Added::Failed:
        reply(call.from, "/marrowtune/subscribe", QStringLiteral("no room for another subscriber"));
        break;
    }
    reconsiderTimers();
}

// --- Feedback ------------------------------------------------------------------------------

OscControl::Shown OscControl::shownOf(int index) const {
    const Track& t = m_app.bank.track(index);
    return {QLatin1String(StateWord(t)),
            t.volume,
            t.pan,
            t.speed,
            t.loop ? 1 : 0,
            t.hold ? 1 : 0,
            t.chokeGroup,
            t.fileName};
}

void OscControl::sendTrack(int index, const OscPeer* to) {
    const Shown now = shownOf(index);
    Shown& last = m_shown[static_cast<std::size_t>(index)];
    const auto send = [&](const char* field, auto value, auto previous) {
        if (to == nullptr && value == previous) {
            return;
        }
        OscMessage message;
        if constexpr (std::is_same_v<decltype(value), QString>) {
            message.add(value.toUtf8().constData());
        } else if constexpr (std::is_same_v<decltype(value), float>) {
            message.add(value);
        } else {
            message.add(static_cast<std::int32_t>(value));
        }
        const std::vector<char> bytes = message.bytes(TrackPath(index, field).constData());
        to != nullptr ? m_subscribers.sendTo(*to, bytes) : m_subscribers.send(bytes);
    };
    send("state", now.state, last.state);
    send("volume", static_cast<float>(now.volume), static_cast<float>(last.volume));
    send("pan", now.pan, last.pan);
    send("speed", now.speed, last.speed);
    send("loop", now.loop, last.loop);
    send("hold", now.hold, last.hold);
    send("choke", now.choke, last.choke);
    send("title", now.title, last.title);
    if (to == nullptr) {
        last = now;
    }
}

OscControl::BankShown OscControl::bankShownOf() const {
    return {m_app.bank.loneWolfMode() ? 1 : 0, m_app.bank.allTracksMuted() ? 1 : 0,
            m_app.performance.clock().bpm()};
}

void OscControl::sendBank(const OscPeer* to) {
    const BankShown now = bankShownOf();
    const auto send = [&](const std::vector<char>& bytes) {
        to != nullptr ? m_subscribers.sendTo(*to, bytes) : m_subscribers.send(bytes);
    };
    if (to != nullptr || now.loneWolf != m_bankShown.loneWolf) {
        send(OscMessage().add(now.loneWolf).bytes("/marrowtune/lonewolf"));
    }
    if (to != nullptr || now.mute != m_bankShown.mute) {
        send(OscMessage().add(now.mute).bytes("/marrowtune/mute"));
    }
    if (to != nullptr || now.tempo != m_bankShown.tempo) {
        send(OscMessage().add(static_cast<float>(now.tempo)).bytes("/marrowtune/tempo"));
    }
    if (to == nullptr) {
        m_bankShown = now;
    }
}

void OscControl::sendLevels() {
    for (int i = 0; i < kTrackCount; ++i) {
        VoiceStatus status;
        const std::int32_t buffer = m_app.bank.track(i).sounding();
        const float peak =
            buffer != 0 && m_app.trackSound.status(buffer, status) ? status.peak : 0.0f;
        float& last = m_levels[static_cast<std::size_t>(i)];
        if (peak != last) {
            last = peak;
            m_subscribers.send(OscMessage().add(peak).bytes(TrackPath(i, "level").constData()),
                               true);
        }
    }
    reconsiderTimers();
}

void OscControl::reconsiderTimers() {
    const auto keep = [](QTimer& timer, bool wanted) {
        if (wanted && !timer.isActive()) {
            timer.start();
        } else if (!wanted && timer.isActive()) {
            timer.stop();
        }
    };
    keep(m_levelTimer, m_subscribers.anyWantsLevels());
    keep(m_leaseTimer, !m_subscribers.empty());
}

} // namespace mt
