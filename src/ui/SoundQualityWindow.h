#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace mt {

struct OutputFormat;
class SoundDevice;

// The sound-quality window: the output's sample rate, bits and channels. OK applies them to
// the open device at once and keeps them in `format`, which is stored at shutdown.
class SoundQualityWindow final : public QDialog {
    Q_OBJECT

public:
    SoundQualityWindow(SoundDevice& sound, OutputFormat& format, QWidget* parent);

    void onLoad();
    void onOkClicked();
    void onCancelClicked();

    QGroupBox* sampleRateGroup;
    QRadioButton* rate44100Option;
    QRadioButton* rate22050Option;
    QRadioButton* rate11025Option;
    QGroupBox* bitsGroup;
    QRadioButton* bits16Option;
    QRadioButton* bits8Option;
    QGroupBox* channelsGroup;
    QRadioButton* stereoOption;
    QRadioButton* monoOption;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    SoundDevice& m_sound;
    OutputFormat& m_format;
};

} // namespace mt
