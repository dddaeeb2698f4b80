#pragma once

#include <QObject>

class QSocketNotifier;

namespace mt {

// Wakes the thread that owns it from any other thread, a realtime one included: wake() writes
// to an eventfd, which never blocks, locks or allocates, and the owner's event loop hears of
// it through a socket notifier. Wakes that come before the owner takes them are one. Unlike a
// queued call, the hand-over is a read and a write on one descriptor, which ThreadSanitizer
// follows.
class ThreadWake final : public QObject {
    Q_OBJECT

public:
    explicit ThreadWake(QObject* parent = nullptr); // on the owning thread
    ~ThreadWake() override;
    ThreadWake(const ThreadWake&) = delete;
    ThreadWake& operator=(const ThreadWake&) = delete;

    // Any thread. Never blocks.
    void wake() noexcept;

signals:
    // On the owning thread, after one or more wake() calls.
    void woken();

private:
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace mt
