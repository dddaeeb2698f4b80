#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace mt {

// The codes an error answer to the session manager carries.
enum class SessionError : int {
    General = -1,
    IncompatibleApi = -2,
    Blacklisted = -3,
    LaunchFailed = -4,
    NoSuchFile = -5,
    NoSessionOpen = -6,
    UnsavedChanges = -7,
    NotNow = -8,
    BadProject = -9,
    CreateFailed = -10,
};

// The requests of the session manager that want an answer.
enum class SessionRequest { Open, Save };

// The program's side of a session manager's OSC protocol over UDP (the manager's address comes
// in NSM_URL): announces itself, turns the manager's open, save, show and hide into signals,
// and sends the answers and the bank's and window's state back. It knows nothing of the bank:
// whoever connects to the signals does the work and answers through answer(). The socket is
// read when it has something, through a QSocketNotifier on the thread that made the client; no
// thread of its own. UI thread only.
class NsmClient final : public QObject {
    Q_OBJECT

public:
    // The name the program announces itself with, and what it can do: switch to another
    // session without restarting, tell when the bank has changed, show and hide its window.
    static constexpr const char* kApplicationName = "Marrowtune";
    static constexpr const char* kCapabilities = ":switch:dirty:optional-gui:";

    explicit NsmClient(QObject* parent = nullptr);
    ~NsmClient() override;
    NsmClient(const NsmClient&) = delete;
    NsmClient& operator=(const NsmClient&) = delete;

    // Opens a UDP socket on a free port of the address this machine reaches the manager at
    // `url` ("osc.udp://host:port/") from, and announces `executableName` (argv[0]) and `pid`,
    // then whether the window is shown. False, with the reason in `error`, when the URL is no
    // UDP address or no socket could be opened; the program then runs as without a manager.
    // Once.
    bool start(const QString& url, const QString& executableName, qint64 pid, QString& error);
    bool started() const { return m_osc != nullptr; }

    // The manager's name once it answered the announce; "" before.
    const QString& managerName() const { return m_managerName; }
    // The manager hides and shows windows (it said so in its answer): only then may the window
    // hide, since nothing else could bring it back.
    bool managerShowsWindows() const { return m_managerShowsWindows; }

    // The answer to the latest request of that kind: done (`code` empty) or failed.
    void answer(SessionRequest request, const QString& message);
    void answer(SessionRequest request, SessionError code, const QString& message);

    // The bank differs from what was last opened or saved (true) or equals it again.
    void tellDirty(bool dirty);
    // The window was shown or hidden, whoever did it. Sent after the announce when called
    // before start().
    void tellWindowShown(bool shown);

signals:
    // The manager answered the announce (managerName() is set).
    void announced();
    // The manager refused the announce, or answered an error to something we sent.
    void refused(const QString& message);
    // Open (or switch to) the session's data at `path`; answer(SessionRequest::Open, ...) when
    // done. `clientId` names this program uniquely in the session.
    void openRequested(const QString& path, const QString& displayName, const QString& clientId);
    // Save the session's data where the last open said; answer(SessionRequest::Save, ...).
    void saveRequested();
    // Show (true) or hide the window.
    void windowRequested(bool shown);

private:
    struct Osc; // liblo's objects, kept out of the header so its users need no liblo
    void send(const char* path);
    void readPending();

    std::unique_ptr<Osc> m_osc; // the socket and the manager's address; null until started
    QSocketNotifier* m_notifier = nullptr;
    QString m_managerName;
    bool m_managerShowsWindows = false;
    bool m_windowShown = true;
};

} // namespace mt
