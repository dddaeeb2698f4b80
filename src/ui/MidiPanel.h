#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace mt {

struct AppContext;
class MidiFilePlayer;

// The MIDI panel, frame "FrameMIDI" of the media area: open a song, play, pause, stop, step,
// repeat, choose the system reset, and show the title, elapsed time and tempo, which the
// up-down changes. It shows the MIDI player of app.midi and turns a click into one call on
// it; the player's rules decide every change of its state. Controls are children of the
// frame, placed by the window's geometry table. UI thread only.
class MidiPanel final : public QGroupBox {
    Q_OBJECT

public:
    MidiPanel(AppContext& app, QWidget* parent);

    // Showing the media panel: the device opens once.
    void OpenDevice();
    // Asks for a song with the open dialog and opens it.
    void onMidiOpenClicked();

    QPushButton* midiOpenButton;
    QPushButton* midiStartButton;
    QPushButton* midiPauseButton;
    QPushButton* midiStopButton;
    QPushButton* midiForwardButton;
    QPushButton* midiRewindButton;
    QComboBox* resetSystemBox;     // GM, GS, XG, VL, VL2
    QCheckBox* midiRepeatCheck;    // "REPEAT"
    QCheckBox* midiReferenceCheck; // "基準": the song's bar is the tempo reference
    QLabel* midiTitleLabel;
    QLabel* midiTimeLabel;
    QLabel* midiTempoCaption; // "♪＝"
    QLabel* midiTempoLabel;
    QLabel* midiBarSecondsLabel;
    QSpinBox* midiTempoSpin; // BPM
    QLabel* midiBeatsLabel;  // hidden: the elapsed beats

    // The open dialog's file name: the stored "MIDIDir" at start, the last choice after.
    QString lastMidiFile;

private:
    // Redraws everything the panel shows of the MIDI player.
    void showPlayer();

    AppContext& m_app;
    MidiFilePlayer& m_midi;
    bool m_shownMuted = false;
};

} // namespace mt
