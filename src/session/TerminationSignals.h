#pragma once

#include <QObject>

class QSocketNotifier;

namespace mt {

// SIGTERM and SIGINT turned into a signal on the UI thread: the handler only writes the
// signal's number into one end of a socket pair (async-signal-safe), and a QSocketNotifier on
// the other end reads it in the event loop, where anything may be done. One at a time in a
// process; the handlers stay until it is destroyed, which restores the defaults. UI thread
// only.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the socket pair or a handler could not be set up (then nothing is caught).
    bool catching() const { return m_catching; }

signals:
    // SIGTERM or SIGINT arrived (`number`).
    void received(int number);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr; // null when another one holds the handlers
    bool m_catching = false;
};

} // namespace mt
