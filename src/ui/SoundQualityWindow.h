#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace mt {

struct OutputFormat;
class VbDSound;

// The sound-quality window: the output's sample rate, bits and channels. OK applies them to
// the open device at once and keeps them in `format`, which is stored at shutdown.
class SoundQualityWindow final : public QDialog {
    Q_OBJECT

public:
    SoundQualityWindow(VbDSound& sound, OutputFormat& format, QWidget* parent);

    void Form_Load();
    void ComOK_Click();
    void ComCancel_Click();

    QGroupBox* sampleRateGroup;
    QRadioButton* Opt441;
    QRadioButton* Opt220;
    QRadioButton* Opt110;
    QGroupBox* bitsGroup;
    QRadioButton* Opt16bit;
    QRadioButton* Opt8bit;
    QGroupBox* channelsGroup;
    QRadioButton* Optste;
    QRadioButton* Optmono;
    QPushButton* ComOK;
    QPushButton* ComCancel;

private:
    VbDSound& m_sound;
    OutputFormat& m_format;
};

} // namespace mt
