#pragma once

#include "core/ThreadWake.h"
#include "midiin/InputBacklog.h"
#include "osc/OscCall.h"
#include "osc/OscDispatch.h"
#include "osc/OscServer.h"
#include "osc/OscSettings.h"
#include "osc/OscSubscribers.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace mt {

struct AppContext;

// OSC control of the running program (docs/OSC.md). The server's thread reads each message
// into one call. The performance calls (a track's key, PLAY/STOP, its mix bars) go to the bank
// as a MIDI pad's do: straight away on the server's thread when the UI thread has lent the core
// out and nothing waits in the backlog, else into the backlog one call drains on the UI thread,
// so a flood neither grows memory nor queues work. The rest (files, tempo, modes, subscribers)
// is posted to the UI thread, at most kMaxPosted at once; beyond that they are dropped and
// counted. Subscribers get the state from the UI thread as the bank and the clock say it
// changed, and the tracks' levels at display rate while they change. Off until the settings
// (section "Osc" of the program's own settings) say on. Constructed and used on the UI thread.
class OscControl final : public QObject, public OscTarget {
    Q_OBJECT

public:
    using Settings = OscSettings;
    static constexpr int kMaxPosted = 256;
    static constexpr int kLevelIntervalMs = 40; // 25 Hz

    explicit OscControl(AppContext& app, std::chrono::milliseconds lease = OscSubscribers::kLease,
                        QObject* parent = nullptr);
    ~OscControl() override;
    OscControl(const OscControl&) = delete;
    OscControl& operator=(const OscControl&) = delete;

    // The server as the program's settings (AppContext::osc) say.
    void start() { apply(m_settings); }
    // The program's settings become `settings` (stored at shutdown); the server starts,
    // restarts or stops as they say.
    void apply(const Settings& settings);
    const Settings& settings() const { return m_settings; }
    bool listening() const { return m_server.running(); }
    int port() const { return m_server.port(); }
    // "127.0.0.1:9000 で受信中", why it could not bind, or that it is off.
    const QString& status() const { return m_status; }

    OscDispatch& dispatch() { return m_dispatch; }
    // Key presses received, and those that reached the bank: fewer when presses of one track
    // came faster than the window's turns and were taken together (see InputBacklog). Any
    // thread.
    std::uint64_t pressesReceived() const {
        return m_pressesReceived.load(std::memory_order_relaxed);
    }
    std::uint64_t pressesApplied() const {
        return m_pressesApplied.load(std::memory_order_acquire);
    }
    // When the last of those reached the bank: steady_clock's count, for the latency bench.
    std::int64_t lastPressApplied() const {
        return m_lastPressApplied.load(std::memory_order_relaxed);
    }
    const OscSubscribers& subscribers() const { return m_subscribers; }

    // OscTarget: the server's thread.
    void call(const OscCall& call) override;

signals:
    void statusChanged();

private:
    // The performance's calls: now when the core can be borrowed and the backlog is empty.
    // The core, borrowed: true when it is this thread's until giveBack(). False at once while
    // the backlog holds a call, else after kBorrowTries tries kBorrowRetry apart.
    bool borrow();
    static constexpr int kBorrowTries = 40;
    static constexpr std::chrono::microseconds kBorrowRetry{25};
    void run(const InputBacklog::Call& call);
    void post(const OscCall& call);
    // UI thread, or the server's while it borrows the core.
    void applyBacklogCall(const InputBacklog::Call& call);
    void applyTrackCall(const OscCall& call);
    // UI thread.
    void drain();
    void applyOnUi(const OscCall& call);
    void subscribe(const OscCall& call);
    void reply(const OscPeer& to, const char* request, const QString& error = {});

    // Feedback, UI thread. With `to` the whole state goes to that subscriber alone; without,
    // what changed since last sent goes to all.
    void sendTrack(int index, const OscPeer* to = nullptr);
    void sendBank(const OscPeer* to = nullptr);
    void sendLevels();
    void reconsiderTimers();

    // What was last sent of a track, to send only what changed.
    struct Shown {
        QString state;
        int volume = 0, pan = 0, speed = 0, loop = 0, hold = 0, choke = 0;
        QString title;
        bool operator==(const Shown&) const = default;
    };
    Shown shownOf(int index) const;
    struct BankShown {
        int loneWolf = 0, mute = 0;
        double tempo = 0.0;
        bool operator==(const BankShown&) const = default;
    };
    BankShown bankShownOf() const;

    AppContext& m_app;
    Settings& m_settings; // the program's
    QString m_status;
    OscDispatch m_dispatch{*this};
    OscSubscribers m_subscribers;
    InputBacklog m_backlog;
    ThreadWake m_wake; // from the server's thread to drain()
    std::atomic<int> m_posted{0};
    std::atomic<std::uint64_t> m_pressesReceived{0};
    std::atomic<std::uint64_t> m_pressesApplied{0};
    std::atomic<std::int64_t> m_lastPressApplied{0};
    std::array<Shown, 8> m_shown{};
    std::array<float, 8> m_levels{};
    BankShown m_bankShown;
    QTimer m_levelTimer;
    QTimer m_leaseTimer;
    OscServer m_server; // its thread ends (destructor) before the rest goes
};

} // namespace mt
