#include "ui/SoundQualityWindow.h"

#include "audio/OutputFormat.h"
#include "audio/SoundDevice.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace mt {
namespace {

QRadioButton* Option(QGroupBox* frame, const char* name, const QString& caption) {
    auto* option = new QRadioButton(caption, frame);
    option->setObjectName(QLatin1String(name));
    frame->layout()->addWidget(option);
    return option;
}

QGroupBox* Frame(QWidget* parent, const char* name, const QString& caption) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    new QVBoxLayout(frame);
    return frame;
}

} // namespace

SoundQualityWindow::SoundQualityWindow(SoundDevice& sound, OutputFormat& format, QWidget* parent)
    : QDialog(parent), m_sound(sound), m_format(format) {
    setObjectName(QStringLiteral("FrmOnshitu"));
    setWindowTitle(tr("Marrowtune-音質の設定"));
    setAttribute(Qt::WA_DeleteOnClose);
    sampleRateGroup = Frame(this, "Frame1", tr("サンプルレート"));
    rate44100Option = Option(sampleRateGroup, "Opt441", tr("44.1kHz (CDと同等)"));
    rate22050Option = Option(sampleRateGroup, "Opt220", tr("22.05kHz (普通）"));
    rate11025Option = Option(sampleRateGroup, "Opt110", tr("11.025kHz （良くない）"));
    bitsGroup = Frame(this, "Frame2", tr("ビット数"));
    bits16Option = Option(bitsGroup, "Opt16bit", tr("16bit （良い）"));
    bits8Option = Option(bitsGroup, "Opt8bit", tr("8bit (良くない）"));
    channelsGroup = Frame(this, "Frame3", tr("ステ/モノ"));
    stereoOption = Option(channelsGroup, "Optste", QStringLiteral("stereo"));
    monoOption = Option(channelsGroup, "Optmono", QStringLiteral("monoral"));
    // The selection at creation, kept for a stored value that matches no option.
    rate22050Option->setChecked(true);
    bits16Option->setChecked(true);
    stereoOption->setChecked(true);

    okButton = new QPushButton(QStringLiteral("OK(&Y)"), this);
    okButton->setObjectName(QStringLiteral("ComOK"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("キャンセル(&N)"), this);
    cancelButton->setObjectName(QStringLiteral("ComCancel"));
    connect(okButton, &QPushButton::clicked, this, &SoundQualityWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &SoundQualityWindow::onCancelClicked);

    auto* frames = new QHBoxLayout;
    frames->addWidget(sampleRateGroup);
    frames->addWidget(bitsGroup);
    frames->addWidget(channelsGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    onLoad();
}

void SoundQualityWindow::onLoad() {
    const OutputFormat& f = m_format;
    if (f.sampleRate == 44100) {
        rate44100Option->setChecked(true);
    } else if (f.sampleRate == 22050) {
        rate22050Option->setChecked(true);
    } else if (f.sampleRate == 11025) {
        rate11025Option->setChecked(true);
    }
    if (f.bits == 16) {
        bits16Option->setChecked(true);
    } else if (f.bits == 8) {
        bits8Option->setChecked(true);
    }
    if (f.channels == 2) {
        stereoOption->setChecked(true);
    } else if (f.channels == 1) {
        monoOption->setChecked(true);
    }
}

void SoundQualityWindow::onOkClicked() {
    OutputFormat& f = m_format;
    f.sampleRate = rate44100Option->isChecked()   ? 44100
                   : rate11025Option->isChecked() ? 11025
                                                  : 22050;
    f.bits = static_cast<std::int16_t>(bits8Option->isChecked() ? 8 : 16);
    f.channels = static_cast<std::int16_t>(monoOption->isChecked() ? 1 : 2);
    m_sound.SetPrimaryFormat(f.sampleRate, f.bits, f.channels);
    close();
}

void SoundQualityWindow::onCancelClicked() {
    close();
}

} // namespace mt
