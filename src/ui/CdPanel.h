#pragma once

#include <QGroupBox>

#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mt {

struct AppContext;
class ClickableLabel;
class CdPlayer;

// The CD panel, frame "FrameCD" of the media area: transport buttons, the current track and
// the track count, the time in the track, an A-B loop inside the current track, and the CD's
// bar length and BPM that tempo matching reads. It shows the CD player of app.cd and turns a
// click into one call on it; the player's rules decide every change of the CD state.
// Controls are children of the frame, placed by the window's geometry table. UI thread only.
class CdPanel final : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kMinBarMs = 100; // the up-down's lower limit: the BPM divides by it
    static constexpr int kMaxBarMs = 10000;

    CdPanel(AppContext& app, QWidget* parent);

    // The CD's part of showing the media panel.
    void OpenOnShow();
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
    QLabel* cdTrackSeparator; // "/"
    QLabel* lblAllTrack;
    QLabel* lblCDTime;
    ClickableLabel* lblCDMarka;
    ClickableLabel* lblCDMarkb;
    QCheckBox* ChkCDAbloop; // "[a-b]loop"
    QLabel* cdBpmCaption;   // "♪="
    QLabel* lblCdBpm;
    QLabel* lblCDSec;
    QSpinBox* SpinButtonCD;      // bar length in ms
    QCheckBox* cdReferenceCheck; // "基準": the CD is the tempo reference
    QPushButton* ComGoCDCount;

    // The lock menu item; a bar change re-matches the tracks while it and cdReferenceCheck are on.
    QAction* mnuLock = nullptr;
    // Re-matches the tracks to cdBarSeconds; called when the bar changes under the lock.
    std::function<void()> onBarChanged;
    // Opens the BPM counter for the CD (ComGoCDCount).
    std::function<void()> onBpmCounter;

private:
    // Redraws everything the panel shows of the CD player; its title says "確認中" while the
    // chosen image is with its probe.
    void showPlayer();

    CdPlayer& m_cd;
    bool m_shownMuted = false;
};

} // namespace mt
