#include "ui/SoundQualityWindow.h"

#include "audio/OutputFormat.h"
#include "audio/VbDSound.h"

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

SoundQualityWindow::SoundQualityWindow(VbDSound& sound, OutputFormat& format, QWidget* parent)
    : QDialog(parent), m_sound(sound), m_format(format) {
    setObjectName(QStringLiteral("FrmOnshitu"));
    setWindowTitle(QStringLiteral("Marrowtune-音質の設定"));
    setAttribute(Qt::WA_DeleteOnClose);
    sampleRateGroup = Frame(this, "Frame1", QStringLiteral("サンプルレート"));
    Opt441 = Option(sampleRateGroup, "Opt441", QStringLiteral("44.1kHz (CDと同等)"));
    Opt220 = Option(sampleRateGroup, "Opt220", QStringLiteral("22.05kHz (普通）"));
    Opt110 = Option(sampleRateGroup, "Opt110", QStringLiteral("11.025kHz （良くない）"));
    bitsGroup = Frame(this, "Frame2", QStringLiteral("ビット数"));
    Opt16bit = Option(bitsGroup, "Opt16bit", QStringLiteral("16bit （良い）"));
    Opt8bit = Option(bitsGroup, "Opt8bit", QStringLiteral("8bit (良くない）"));
    channelsGroup = Frame(this, "Frame3", QStringLiteral("ステ/モノ"));
    Optste = Option(channelsGroup, "Optste", QStringLiteral("stereo"));
    Optmono = Option(channelsGroup, "Optmono", QStringLiteral("monoral"));
    // The selection at creation, kept for a stored value that matches no option.
    Opt220->setChecked(true);
    Opt16bit->setChecked(true);
    Optste->setChecked(true);

    ComOK = new QPushButton(QStringLiteral("OK(&Y)"), this);
    ComOK->setObjectName(QStringLiteral("ComOK"));
    ComOK->setDefault(true);
    ComCancel = new QPushButton(QStringLiteral("キャンセル(&N)"), this);
    ComCancel->setObjectName(QStringLiteral("ComCancel"));
    connect(ComOK, &QPushButton::clicked, this, &SoundQualityWindow::ComOK_Click);
    connect(ComCancel, &QPushButton::clicked, this, &SoundQualityWindow::ComCancel_Click);

    auto* frames = new QHBoxLayout;
    frames->addWidget(sampleRateGroup);
    frames->addWidget(bitsGroup);
    frames->addWidget(channelsGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ComOK);
    buttons->addWidget(ComCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    Form_Load();
}

void SoundQualityWindow::Form_Load() {
    const OutputFormat& f = m_format;
    if (f.QuSample == 44100) {
        Opt441->setChecked(true);
    } else if (f.QuSample == 22050) {
        Opt220->setChecked(true);
    } else if (f.QuSample == 11025) {
        Opt110->setChecked(true);
    }
    if (f.QuBit == 16) {
        Opt16bit->setChecked(true);
    } else if (f.QuBit == 8) {
        Opt8bit->setChecked(true);
    }
    if (f.QuSm == 2) {
        Optste->setChecked(true);
    } else if (f.QuSm == 1) {
        Optmono->setChecked(true);
    }
}

void SoundQualityWindow::ComOK_Click() {
    OutputFormat& f = m_format;
    f.QuSample = Opt441->isChecked() ? 44100 : Opt110->isChecked() ? 11025 : 22050;
    f.QuBit = static_cast<std::int16_t>(Opt8bit->isChecked() ? 8 : 16);
    f.QuSm = static_cast<std::int16_t>(Optmono->isChecked() ? 1 : 2);
    m_sound.SetPrimaryFormat(f.QuSample, f.QuBit, f.QuSm);
    close();
}

void SoundQualityWindow::ComCancel_Click() {
    close();
}

} // namespace mt
