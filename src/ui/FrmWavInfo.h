#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace mt {

class TrackBank;

// The WAV information window of one track: its file, size, format and lone-wolf membership.
class FrmWavInfo final : public QDialog {
    Q_OBJECT

public:
    FrmWavInfo(const TrackBank& bank, int track, QWidget* parent);

    QLabel* Label1;
    QLabel* lblFileName;
    QLabel* lblSize;
    QLabel* lblInfo;
    QLabel* lblOokami;
    QPushButton* ComOK;
};

} // namespace mt
