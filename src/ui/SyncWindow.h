#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace mt {

struct AppContext;
class BeatClock;

// The sync window: where the beat clock takes its tempo from (typed here, the BPM counter's
// OK, or the bar tempo matching follows), the typed tempo, the beats per bar, what the clock
// plays now, whether tempo matching follows the clock's bar, and the MIDI clock sent to other
// gear. Each control is one call into the performance; the window is drawn from the clock and
// tempo matching whenever they say they changed, the beat and the sender at display rate.
// Not modal. UI thread only.
class SyncWindow final : public QDialog {
    Q_OBJECT

public:
    SyncWindow(AppContext& app, QWidget* parent);

    // "♩=120.0 3/4": the tempo and the beat within the bar (from 1) of the beats per bar;
    // "-" for the beat while no output runs.
    // Led by the outside source while one is chosen (FollowText's brief form).
    static QString BeatText(const BeatClock& clock);
    // How the clock follows a chosen outside source: brief, "Link 2", "MIDI・自走",
    // "JACK・停止"; in full, its name and state. Empty while the source is the program's own.
    static QString FollowText(const BeatClock& clock, bool brief);

    QRadioButton* typedSourceRadio; // "手入力"
    QRadioButton* tapSourceRadio;   // "タップ": the BPM counter's OK
    QRadioButton* referenceSourceRadio; // "テンポ合わせの基準": the CD's or the MIDI song's bar
    QRadioButton* linkSourceRadio;      // choosing it joins the Link session
    QRadioButton* midiClockSourceRadio;
    QRadioButton* jackSourceRadio;
    QButtonGroup* sourceGroup; // ids are TempoSource values
    QLineEdit* bpmEdit;        // the typed tempo, BPM
    QSpinBox* beatsPerBarSpin;
    QLabel* nowLabel;               // the tempo, the beat and the source as the clock stands
    QCheckBox* clockReferenceCheck; // "テンポ合わせの基準にする": tempo matching follows the clock
    QCheckBox* linkStartStopCheck; // shares start and stop with Link's peers
    QCheckBox* jackMasterCheck;    // leads the JACK transport with the clock
    QLabel* jackMasterLabel;       // how leading it goes
    QGroupBox* senderBox;          // "MIDIクロック送信"
    QPushButton* senderStartButton;
    QPushButton* senderStopButton;
    QPushButton* senderResumeButton;
    QLabel* senderStateLabel;
    QPushButton* closeButton;

protected:
    // The window shows the sender as it is now, not as it was when last shown.
    void showEvent(QShowEvent* event) override;

private:
    // Enter or leaving the field: a tempo in range is the clock's and typing its source; any
    // other text is refused with a message, and the field shows the clock's tempo again.
    void onBpmEntered();
    void showClock();
    void showReference();
    void showLive();

    AppContext& m_app;
    BeatClock& m_clock;
};

} // namespace mt
