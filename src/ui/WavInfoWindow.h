#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace mt {

class TrackBank;

// The WAV information window of one track: its file, size, format and lone-wolf membership.
class WavInfoWindow final : public QDialog {
    Q_OBJECT

public:
    WavInfoWindow(const TrackBank& bank, int track, QWidget* parent);

    QLabel* formatCaption;
    QLabel* fileNameLabel;
    QLabel* sizeLabel;
    QLabel* infoLabel;
    QLabel* loneWolfMemberLabel;
    QPushButton* okButton;
};

} // namespace mt
