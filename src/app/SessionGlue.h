#pragma once

#include "session/NsmClient.h"
#include "session/TerminationSignals.h"

#include <QObject>
#include <QString>

#include <functional>

namespace mt {

class Performance;
class SessionMessages;

// The program under a session manager. The manager names a folder for each session; the set
// lives inside it as set.mrw (its companion set.mrwx beside it). Open creates the folder and a
// new set there, or opens the set that is there (a switch from a running session replaces the
// bank without a question); save writes it; the bank's changed state, the window's showing and
// hiding, and SIGTERM (the manager's way of ending the program) are passed on. A set that is
// there but cannot be read is never written over: every save is refused until an open
// succeeds. UI thread only.
class SessionGlue final : public QObject {
    Q_OBJECT

public:
    // `messages` is the message port the performance tells through.
    SessionGlue(Performance& performance, SessionMessages& messages, QObject* parent = nullptr);
    ~SessionGlue() override;
    SessionGlue(const SessionGlue&) = delete;
    SessionGlue& operator=(const SessionGlue&) = delete;

    // The session manager's address from the environment (NSM_URL); "" when none is set, and
    // then the program runs as it always has.
    static QString ManagerUrl();
    // The set's file in the session folder `folder`.
    static QString SetPath(const QString& folder);

    // Announces the program to the manager at `url` as `executableName`. False, with a line on
    // stderr, when that cannot be done; the program then runs on without a manager.
    bool start(const QString& url, const QString& executableName);

    // The window's side, set before start(): shows (true) or hides the window; ends the
    // program through its normal shutdown without asking anything; shows the session's name
    // and what the program told last ("" when an open or save went well since).
    std::function<void(bool shown)> showWindow;
    std::function<void()> quit;
    std::function<void(const QString& session, const QString& message)> showStatus;

    // The performer closed the window. True when it was hidden instead (the manager shows it
    // again); false when the manager cannot show windows, and the close goes on as always.
    bool hideInsteadOfClose();

    NsmClient& client() { return m_client; }

private:
    void open(const QString& folder, const QString& displayName);
    void save();
    // Writes the bank to the session's set with copies of its samples beside it (a collect);
    // `done` gets "" or the reason it failed. The one place that decides how a session's set is
    // written.
    void saveSet(const std::function<void(const QString& error)>& done);
    void setWindowShown(bool shown);
    void status(const QString& message);
    // The last thing the performance told, or `fallback` when it told nothing.
    QString reason(const QString& fallback) const;

    Performance& m_performance;
    SessionMessages& m_messages;
    NsmClient m_client;
    TerminationSignals m_signals;
    QString m_setPath;            // "" until the first open
    bool m_setUnreadable = false; // the set at m_setPath is there and could not be read
    QString m_displayName;
    bool m_ending = false; // a termination signal came; the program is ending
};

} // namespace mt
