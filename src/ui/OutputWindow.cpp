#include "ui/OutputWindow.h"

#include "audio/RtAudioOutput.h"
#include "audio/SoundDevice.h"
#include "audio/SoundLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

QComboBox* namedCombo(QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    return combo;
}

QString Milliseconds(double seconds) {
    return QString::number(1000.0 * seconds, 'g', 3) + QStringLiteral(" ms");
}

} // namespace

OutputWindow::OutputWindow(SoundDevice& sound, OutputChoice& choice, QWidget* parent)
    : QDialog(parent), m_sound(sound), m_choice(choice) {
    setObjectName(QStringLiteral("FrmOutput"));
    setWindowTitle(tr("Marrowtune-出力の設定"));
    setAttribute(Qt::WA_DeleteOnClose);

    systemBox = namedCombo(this, "CboSystem");
    systemBox->addItem(tr("自動（JACK → PulseAudio → ALSA）"),
                       static_cast<int>(AudioSystem::Automatic));
    systemBox->addItem(QStringLiteral("JACK"), static_cast<int>(AudioSystem::Jack));
    systemBox->addItem(QStringLiteral("PulseAudio"), static_cast<int>(AudioSystem::Pulse));
    systemBox->addItem(QStringLiteral("ALSA"), static_cast<int>(AudioSystem::Alsa));
    deviceBox = namedCombo(this, "CboDevice");
    blockBox = namedCombo(this, "CboBlock");
    for (const double seconds : kBlockPresets) {
        blockBox->addItem(Milliseconds(seconds), seconds);
    }
    latencyLabel = new QLabel(this);
    latencyLabel->setObjectName(QStringLiteral("lblLatency"));

    systemBox->setCurrentIndex(systemBox->findData(static_cast<int>(m_choice.system)));
    int nearest = 0;
    for (int i = 0; i < blockBox->count(); ++i) {
        if (std::fabs(kBlockPresets[i] - m_choice.blockSeconds) <
            std::fabs(kBlockPresets[nearest] - m_choice.blockSeconds)) {
            nearest = i;
        }
    }
    blockBox->setCurrentIndex(nearest);
    separateBox = new QCheckBox(tr("トラックごとに出力する（JACK）"), this);
    separateBox->setObjectName(QStringLiteral("ChkSeparate"));
    separateBox->setToolTip(
        tr("main L/R に全体のミックス、track 1 L/R 〜 track 8 L/R に各トラックの音"));
    separateBox->setChecked(m_choice.separateOutputs);
    separateReason = new QLabel(tr("JACK でのみ使えます"), this);
    separateReason->setObjectName(QStringLiteral("lblSeparate"));
    listDevices(m_choice.device);
    showLatency();
    offerSeparate();
    connect(systemBox, &QComboBox::currentIndexChanged, this, [this] {
        listDevices(std::string());
        showLatency();
        offerSeparate();
    });
    connect(blockBox, &QComboBox::currentIndexChanged, this, [this] { showLatency(); });

    okButton = new QPushButton(QStringLiteral("OK(&Y)"), this);
    okButton->setObjectName(QStringLiteral("ComOK"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("キャンセル(&N)"), this);
    cancelButton->setObjectName(QStringLiteral("ComCancel"));
    connect(okButton, &QPushButton::clicked, this, &OutputWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &OutputWindow::onCancelClicked);

    auto* form = new QFormLayout;
    form->addRow(tr("オーディオシステム"), systemBox);
    form->addRow(tr("デバイス"), deviceBox);
    auto* block = new QHBoxLayout;
    block->addWidget(blockBox);
    block->addWidget(latencyLabel, 1);
    form->addRow(tr("ブロック"), block);
    auto* separate = new QHBoxLayout;
    separate->addWidget(separateBox);
    separate->addWidget(separateReason, 1);
    form->addRow(tr("出力"), separate);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void OutputWindow::listDevices(const std::string& keep) {
    deviceBox->clear();
    deviceBox->addItem(tr("既定のデバイス"), QString());
    const auto system = static_cast<AudioSystem>(systemBox->currentData().toInt());
    for (const std::string& name : RtAudioOutput::DeviceNames(system)) {
        const QString text = QString::fromStdString(name);
        deviceBox->addItem(text, text);
    }
    if (!keep.empty()) {
        const QString name = QString::fromStdString(keep);
        if (deviceBox->findData(name) < 0) {
            // Remembered by name: a device that is unplugged now plays on the default meanwhile.
            deviceBox->addItem(name + tr("（見つかりません）"), name);
        }
        deviceBox->setCurrentIndex(deviceBox->findData(name));
    }
    deviceBox->setEnabled(system != AudioSystem::Automatic);
}

void OutputWindow::showLatency() {
    const OutputChoice choice = shownChoice();
    LibraryHealth health;
    const bool playing = m_sound.health(health) && !health.device.api.empty();
    AudioSystem system = choice.system;
    if (system == AudioSystem::Automatic && playing) {
        // The automatic choice's figures are those of the system it found.
        system = health.device.api == "jack"   ? AudioSystem::Jack
                 : health.device.api == "alsa" ? AudioSystem::Alsa
                                               : AudioSystem::Pulse;
    }
    if (system == AudioSystem::Jack) {
        // A JACK server runs at its own period, and the delay is its; our block is only the mix's.
        for (int i = 0; i < blockBox->count(); ++i) {
            blockBox->setItemText(i, Milliseconds(kBlockPresets[i]));
        }
        if (!playing || health.device.api != "jack") {
            latencyLabel->setText(tr("遅延は JACK サーバーの周期で決まります"));
            return;
        }
        const OutputHealth& d = health.device;
        if (d.pipewireQuantum > 0) {
            // PipeWire's JACK side is asked for the block chosen here as its period, forced.
            latencyLabel->setText(
                tr("PipeWire に周期 %1 フレーム（%2）を求めています・いまの周期 %3 フレーム"
                   "・キーから音まで 約 %4")
                    .arg(d.pipewireQuantum)
                    .arg(Milliseconds(d.pipewireQuantum / 48000.0))
                    .arg(d.blockFrames)
                    .arg(Milliseconds(d.latencySeconds)));
            return;
        }
        latencyLabel->setText(
            tr("サーバーの周期 %1 フレーム（%2）・ミックスのブロック %3 フレーム（%4）"
               "・キーから音まで 約 %5")
                .arg(d.blockFrames)
                .arg(Milliseconds(static_cast<double>(d.blockFrames) / std::max(d.deviceRate, 1)))
                .arg(health.format.blockFrames)
                .arg(Milliseconds(static_cast<double>(health.format.blockFrames) /
                                  std::max(health.format.sampleRate, 1)))
                .arg(Milliseconds(d.latencySeconds)));
        return;
    }
    // PipeWire's PulseAudio side is asked for a longer queue; known once it plays.
    const bool pipewire = playing && health.device.pipewire;
    for (int i = 0; i < blockBox->count(); ++i) {
        const double seconds = kBlockPresets[i];
        blockBox->setItemText(
            i,
            Milliseconds(seconds) +
                tr("（遅延 約 %1）").arg(Milliseconds(ExpectedLatency(system, seconds, pipewire))));
    }
    latencyLabel->setText(
        tr("キーから音まで 約 %1")
            .arg(Milliseconds(ExpectedLatency(system, choice.blockSeconds, pipewire))));
}

void OutputWindow::offerSeparate() {
    AudioSystem system = static_cast<AudioSystem>(systemBox->currentData().toInt());
    LibraryHealth health;
    if (system == AudioSystem::Automatic && m_sound.health(health) && health.device.api == "jack") {
        system = AudioSystem::Jack; // the automatic choice found a JACK server
    }
    const bool jack = system == AudioSystem::Jack;
    separateBox->setEnabled(jack);
    separateReason->setVisible(!jack);
}

OutputChoice OutputWindow::shownChoice() const {
    OutputChoice choice;
    choice.system = static_cast<AudioSystem>(systemBox->currentData().toInt());
    choice.device = deviceBox->currentData().toString().toStdString();
    choice.blockSeconds = blockBox->currentData().toDouble();
    choice.separateOutputs = separateBox->isChecked();
    return choice;
}

void OutputWindow::onOkClicked() {
    m_choice = shownChoice();
    // A choice that does not open leaves the previous output playing; the status line tells
    // which one plays.
    m_sound.setOutput(m_choice);
    close();
}

void OutputWindow::onCancelClicked() {
    close();
}

} // namespace mt
