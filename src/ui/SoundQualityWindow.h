#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace mt {

struct AppContext;

// The sound-quality window: the output's sample rate, bits and channels. OK applies them to
// the open device at once; they are stored at shutdown.
class SoundQualityWindow final : public QDialog {
    Q_OBJECT

public:
    SoundQualityWindow(AppContext& app, QWidget* parent);

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
    AppContext& m_app;
};

} // namespace mt
