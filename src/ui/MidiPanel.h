#pragma once

#include <QGroupBox>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace mt {

struct AppContext;

// The MIDI panel, frame "FrameMIDI" of the media area: open a song, play, pause, stop, step,
// repeat, choose the system reset, and show the title, elapsed time and tempo, which the
// up-down changes. Its state machine runs on the MIDI state of the application context
// (app.midi). Controls are children of the frame, placed by the window's geometry table.
// UI thread only.
class MidiPanel final : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kPreviewMs = 1000;
    static constexpr int kPlayingTickMs = 20;
    static constexpr int kMinTempo = 1; // the up-down never reaches 0
    static constexpr int kMaxTempo = 400;

    MidiPanel(AppContext& app, QWidget* parent);

    // Showing the media panel: opens the MIDI device once (a failure says so and leaves
    // ComMIDIOpen disabled, to be tried again next time) and selects the first reset kind.
    void OpenDevice();

    void ShowMidiTempo();
    void ComMIDIOpen_Click();
    // Loads `path` as the dialog's choice would and starts the one-second preview.
    void MidiLoadSong(const QString& path);
    void ComMIDIStart_Click();
    void ComMIDIPause_Click();
    void ComMIDIStop_Click();
    void ComMIDIFF_Click();
    void ComMIDIRe_Click();
    void ComboMIDISys_Click();
    void ComboMIDISys_Change();
    void SpinButtonMIDI_Change();
    // The panel's timer: the end of the preview, or the 20 ms watch while playing.
    void TimerMIDI_Timer();

    QPushButton* ComMIDIOpen;
    QPushButton* ComMIDIStart;
    QPushButton* ComMIDIPause;
    QPushButton* ComMIDIStop;
    QPushButton* ComMIDIFF;
    QPushButton* ComMIDIRe;
    QComboBox* ComboMIDISys; // GM, GS, XG, VL, VL2
    QCheckBox* ChkMIDILoop;  // "REPEAT"
    QCheckBox* ChkMIDIkijun; // "基準": the song's bar is the tempo reference
    QLabel* lblMIDITitle;
    QLabel* lblMIDITime;
    QLabel* Label19; // "♪＝"
    QLabel* lblMIDITempo;
    QLabel* lblMIDISec;
    QSpinBox* SpinButtonMIDI; // BPM
    QLabel* lblmiditest;      // hidden: the elapsed beats
    QTimer* TimerMIDI;

    // The open dialog's file name: the stored "MIDIDir" at start, the last choice after.
    QString CommonDialogMIDIFileName;
    // The lock menu item; tempo changes re-match the tracks while it and ChkMIDIkijun are on.
    QAction* mnuLock = nullptr;
    // Re-matches the tracks to midiBarSeconds; called when the tempo changes under the lock.
    std::function<void()> onBarChanged;

private:
    void enterStopped();
    void setTransport(bool start, bool pause, bool stop, bool ff, bool re);
    void tick();

    AppContext& m_app;
    bool m_inTick = false; // a message box of the tick runs the event loop, and the timer
};

} // namespace mt
