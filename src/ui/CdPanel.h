#pragma once

#include <QGroupBox>

#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace mt {

struct AppContext;
class ClickableLabel;
class CdPlayer;

// The CD panel, frame "FrameCD" of the media area: transport buttons, the current track and
// the track count, the time in the track, an A-B loop inside the current track, and the CD's
// bar length and BPM that tempo matching reads. A 300 ms watch takes a newly inserted disc
// in, follows the track, shows the time and performs the loop. All device work goes through
// the CD operations of app.cd; this panel decides every change of the CD state. Controls are
// children of the frame, placed by the window's geometry table. UI thread only.
class CdPanel final : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kWatchMs = 300;
    static constexpr int kMinBarMs = 100; // the up-down's lower limit: the BPM divides by it
    static constexpr int kMaxBarMs = 10000;

    CdPanel(AppContext& app, QWidget* parent);

    // The CD's part of showing the media panel: while the device is not open, opens it (a
    // failure is reported), takes a disc in if there is one, and starts the watch.
    void OpenOnShow();

    // The watch. Tests call it directly instead of waiting for TimerCD.
    void TimerCD_Timer();

    void ComCDStart_Click();
    void ComCDPause_Click();
    void ComCDStop_Click();
    void ComCDNext_Click();
    void ComCDPrev_Click();
    void ComCD_FF_Click();
    void ComCD_RE_Click();
    void lblCDMarka_Click();
    void lblCDMarkb_Click();
    void SpinButtonCD_Change();
    // A bar and tempo measured elsewhere (the BPM counter's OK): the up-down takes the whole
    // milliseconds and the base the rest. A changed bar re-matches under the lock as a turn
    // of the up-down does; an unchanged one matches nothing.
    void takeBar(double seconds, float bpm);

    QPushButton* ComCDStart;
    QPushButton* ComCDPause;
    QPushButton* ComCDStop;
    QPushButton* ComCDPrev;
    QPushButton* ComCDNext;
    QPushButton* ComCD_RE;
    QPushButton* ComCD_FF;
    QLabel* lbltrack;
    QLabel* Label18; // "/"
    QLabel* lblAllTrack;
    QLabel* lblCDTime;
    ClickableLabel* lblCDMarka;
    ClickableLabel* lblCDMarkb;
    QCheckBox* ChkCDAbloop; // "[a-b]loop"
    QLabel* Label20;        // "♪="
    QLabel* lblCdBpm;
    QLabel* lblCDSec;
    QSpinBox* SpinButtonCD; // bar length in ms
    QCheckBox* ChkCDkijun;  // "基準": the CD is the tempo reference
    QPushButton* ComGoCDCount;
    QTimer* TimerCD;

    // The lock menu item; a bar change re-matches the tracks while it and ChkCDkijun are on.
    QAction* mnuLock = nullptr;
    // Re-matches the tracks to cdBarSeconds; called when the bar changes under the lock.
    std::function<void()> onBarChanged;
    // Opens the BPM counter for the CD (ComGoCDCount).
    std::function<void()> onBpmCounter;

private:
    // Reads the disc's tracks, enables Start and Next and shows the track and the count.
    void takeDiscIn();
    void clearForOpenTray();
    void showTracks();
    void setLoopBoxFromMarks();
    void setTransport(std::initializer_list<QPushButton*> buttons, bool enabled);
    void watch();

    CdPlayer& m_cd;
    bool m_inWatch = false; // a message box of the watch runs the event loop, and the timer
};

} // namespace mt
