#pragma once

#include "audio/OutputChoice.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace mt {

class SoundDevice;

// The output window: the audio system, the device by name and the block length, each preset
// shown with the delay it gives; on JACK, whose server's period sets the delay, that period and
// the mix's block instead. OK reopens the output on the choice at once and keeps it in
// `choice`, which is stored at shutdown in the program's own settings section. Not modal. UI thread
// only.
class OutputWindow final : public QDialog {
    Q_OBJECT

public:
    OutputWindow(SoundDevice& sound, OutputChoice& choice, QWidget* parent);

    void onOkClicked();
    void onCancelClicked();

    // The choice the controls show.
    OutputChoice shownChoice() const;

    QComboBox* systemBox;
    QComboBox* deviceBox;
    QComboBox* blockBox;
    QLabel* latencyLabel;
    // A stereo pair per track beside the main one; JACK only, and disabled elsewhere with the
    // reason beside it, keeping the stored wish for when JACK is there again.
    QCheckBox* separateBox;
    QLabel* separateReason;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    void listDevices(const std::string& keep);
    void showLatency();
    void offerSeparate();

    SoundDevice& m_sound;
    OutputChoice& m_choice;
};

} // namespace mt
