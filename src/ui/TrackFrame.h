#pragma once

#include <QFrame>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace mt {

class ClickableLabel;
class LevelMeter;
class WaveformView;

// One track's frame `FraChannel(i)` and its controls. The controls are named as the rest of
// the program knows them; their objectNames carry the index, "ComChange(3)". The frame only
// builds and owns them: what they do is wired by the main window. Two views no layout file
// places fill the frame's free space and follow the controls the layout moves: the level
// meter is the strip above the number and the title, the waveform the corner right of the
// ratio box; the keep-pitch button the end of the row of "C", the pitch bar the end of the row
// of "細".
class TrackFrame final : public QFrame {
    Q_OBJECT

public:
    TrackFrame(int index, QWidget* parent);

    int index() const { return m_index; }

    ClickableLabel* trackNumberLabel; // circled track number, carries the selection highlight
    QLabel* fileTitleLabel;           // file name; tool tip = full path
    QPushButton* changeButton;        // "Change!"
    QPushButton* clearButton;         // "C"
    QPushButton* startButton;         // "PLAY" / "STOP"
    QLabel* playTimeLabel;            // playing time
    QCheckBox* loopCheck;
    QCheckBox* holdCheck;
    QLabel* volumeCaption; // "Vol"
    QScrollBar* volumeBar; // dB, -70..0
    QLabel* volumeLabel;
    QLabel* panCaption; // "Pan"
    QScrollBar* panBar; // -40..40
    QLabel* panLabel;
    QPushButton* panResetButton;   // "0"
    QScrollBar* speedBar;          // tens of Hz at 44.1 kHz scale, 5..9000
    QPushButton* speedResetButton; // "初"
    QLabel* speedLabel;
    QCheckBox* fineSpeedCheck;    // "細": fine steps for speedBar
    QComboBox* ratioBox;          // tempo ratio
    QPushButton* keepPitchButton; // keep-pitch mode; its caption is pitchLabel
    QLabel* pitchLabel;           // "音程"; in keep-pitch mode the pitch in semitones, "+7.00"
    QScrollBar* pitchBar; // keep-pitch shift in cents, -1200..1200; steps as speedBar's "細" says
    LevelMeter* levelMeter; // the track's output
    WaveformView* waveform; // the sound and where it plays

    // The ratio texts of the ratio box in list order; position 6 is the empty item.
    static const QStringList& RatioTexts();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeViews();

    int m_index;
};

} // namespace mt
