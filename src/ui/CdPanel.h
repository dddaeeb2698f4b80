#pragma once

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mt {

struct AppContext;
class ClickableLabel;
class CdBar;
class CdPlayer;

// The CD panel, frame "FrameCD" of the media area: transport buttons, the current track and
// the track count, the time in the track, an A-B loop inside the current track, and the CD's
// bar length and BPM that tempo matching reads. It shows the CD player of app.cd and the CD's
// bar of app.cdBar and turns a click into one call on them; their rules decide every change.
// Controls are children of the frame, placed by the window's geometry table. UI thread only.
class CdPanel final : public QGroupBox {
    Q_OBJECT

public:
    CdPanel(AppContext& app, QWidget* parent);

    // The CD's part of showing the media panel.
    void OpenOnShow();

    QPushButton* cdStartButton;
    QPushButton* cdPauseButton;
    QPushButton* cdStopButton;
    QPushButton* cdPreviousButton;
    QPushButton* cdNextButton;
    QPushButton* cdRewindButton;
    QPushButton* cdForwardButton;
    QLabel* cdTrackLabel;
    QLabel* cdTrackSeparator; // "/"
    QLabel* cdTrackCountLabel;
    QLabel* cdTimeLabel;
    ClickableLabel* cdLoopStartLabel;
    ClickableLabel* cdLoopEndLabel;
    QCheckBox* cdAbLoopCheck; // "[a-b]loop"
    QLabel* cdBpmCaption;     // "♪="
    QLabel* cdBpmLabel;
    QLabel* cdBarSecondsLabel;
    QSpinBox* cdBarSpin;         // bar length in ms
    QCheckBox* cdReferenceCheck; // "基準": the CD is the tempo reference
    QPushButton* cdCounterButton;

    // Opens the BPM counter for the CD (cdCounterButton).
    std::function<void()> onBpmCounter;

private:
    // Redraws everything the panel shows of the CD player; its title says "確認中" while the
    // chosen image is with its probe.
    void showPlayer();
    void showBar();

    CdPlayer& m_cd;
    CdBar& m_bar;
    bool m_shownMuted = false;
};

} // namespace mt
